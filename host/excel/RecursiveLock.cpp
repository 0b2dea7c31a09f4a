#include "RecursiveLock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace xlhost {

#ifdef _WIN32
struct RecursiveLock::Native {
    Native() { InitializeCriticalSection(&section); }
    ~Native() { DeleteCriticalSection(&section); }
    void lock() { EnterCriticalSection(&section); }
    void unlock() { LeaveCriticalSection(&section); }
    CRITICAL_SECTION section;
};
#else
struct RecursiveLock::Native {
    void lock() { mutex.lock(); }
    void unlock() { mutex.unlock(); }
    std::recursive_mutex mutex;
};
#endif

RecursiveLock::RecursiveLock() : native_(new Native()) {}
RecursiveLock::~RecursiveLock() = default;

RecursiveLock::Hold::Hold(RecursiveLock& lock) : lock_(lock) {
    lock_.native_->lock();
}

RecursiveLock::Hold::~Hold() {
    lock_.native_->unlock();
}

}  // namespace xlhost
