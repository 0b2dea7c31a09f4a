#ifndef HOST_CALCULATIONTHREADS_H
#define HOST_CALCULATIONTHREADS_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace xlhost {

// The processors the machine has, as Excel counts them for its default number of threads.
unsigned machineCores();

// Excel's calculation threads: started when first given work and kept until this ends, as Excel
// keeps its own for the session, so that what an add-in sets up for a thread (its per-thread
// memory) serves the thread's later calls, and a recalculation pays no thread starts. Given one
// piece of work at a time, by one caller.
class CalculationThreads {
public:
    explicit CalculationThreads(unsigned threads);
    ~CalculationThreads();  // lets the threads end and waits for them
    CalculationThreads(const CalculationThreads&) = delete;
    CalculationThreads& operator=(const CalculationThreads&) = delete;

    unsigned size() const { return size_; }
    // Runs work(0) ... work(size() - 1), each on a thread of its own, and returns when all have
    // ended.
    void run(const std::function<void(unsigned thread)>& work);

private:
    void serve(unsigned thread);

    const unsigned size_;
    std::mutex mutex_;
    std::condition_variable given_;     // new work, or the end
    std::condition_variable finished_;  // the last thread is done with the work
    const std::function<void(unsigned)>* work_ = nullptr;
    std::uint64_t round_ = 0;  // counts the pieces of work given
    unsigned busy_ = 0;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace xlhost

#endif
