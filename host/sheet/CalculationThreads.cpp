#include "CalculationThreads.h"

namespace xlhost {

unsigned machineCores() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

CalculationThreads::CalculationThreads(unsigned threads) : size_(threads > 0 ? threads : 1) {}

CalculationThreads::~CalculationThreads() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    given_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void CalculationThreads::run(const std::function<void(unsigned thread)>& work) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (threads_.empty()) {
        threads_.reserve(size_);
        for (unsigned t = 0; t < size_; ++t) threads_.emplace_back(&CalculationThreads::serve, this, t);
    }
    work_ = &work;
    busy_ = size_;
    ++round_;
    given_.notify_all();
    finished_.wait(lock, [this] { return busy_ == 0; });
    work_ = nullptr;
}

void CalculationThreads::serve(unsigned thread) {
    std::uint64_t done = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        given_.wait(lock, [&] { return ending_ || round_ != done; });
        if (ending_) return;
        done = round_;
        const std::function<void(unsigned)>& work = *work_;
        lock.unlock();
        work(thread);
        lock.lock();
        if (--busy_ == 0) finished_.notify_one();
    }
}

}  // namespace xlhost
