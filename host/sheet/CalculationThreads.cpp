#include "CalculationThreads.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace xlhost {

#ifdef _WIN32

namespace {

struct ThreadWork {
    const std::function<void(unsigned)>* work;
    unsigned thread;
};

DWORD WINAPI runWork(LPVOID parameter) {
    const ThreadWork& given = *static_cast<ThreadWork*>(parameter);
    (*given.work)(given.thread);
    return 0;
}

}  // namespace

unsigned machineCores() {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? system.dwNumberOfProcessors : 1;
}

void runOnThreads(unsigned threads, const std::function<void(unsigned thread)>& work) {
    std::vector<ThreadWork> given(threads);
    std::vector<HANDLE> handles;
    for (unsigned t = 0; t < threads; ++t) {
        given[t] = ThreadWork{&work, t};
        const HANDLE handle = CreateThread(nullptr, 0, runWork, &given[t], 0, nullptr);
        if (handle != nullptr) {
            handles.push_back(handle);
        } else {
            work(t);  // no thread to be had: this one does its share
        }
    }
    for (const HANDLE handle : handles) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
}

#else

unsigned machineCores() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

void runOnThreads(unsigned threads, const std::function<void(unsigned thread)>& work) {
    std::vector<std::thread> running;
    for (unsigned t = 0; t < threads; ++t) running.emplace_back(work, t);
    for (std::thread& thread : running) thread.join();
}

#endif

}  // namespace xlhost
