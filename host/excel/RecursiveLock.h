#ifndef HOST_RECURSIVELOCK_H
#define HOST_RECURSIVELOCK_H

#include <memory>

namespace xlhost {

// A lock its holder may take again: a callback answered on a calculation thread may call the
// add-in (xlUDF), which calls back in turn. GCC's win32 thread model has no std::recursive_mutex;
// there a critical section, recursive by nature, stands in for it.
class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    class Hold {
    public:
        explicit Hold(RecursiveLock& lock);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        RecursiveLock& lock_;
    };

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace xlhost

#endif
