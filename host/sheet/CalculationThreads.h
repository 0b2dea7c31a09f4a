#ifndef HOST_CALCULATIONTHREADS_H
#define HOST_CALCULATIONTHREADS_H

#include <functional>

namespace xlhost {

// The processors the machine has, as Excel counts them for its default number of threads.
unsigned machineCores();

// Runs work(0) ... work(threads - 1), each on a thread of its own, and returns when all have
// ended. GCC's win32 thread model has no std::thread; Windows' own threads stand in there.
void runOnThreads(unsigned threads, const std::function<void(unsigned thread)>& work);

}  // namespace xlhost

#endif
