// GoogleTest's port customisation for MinGW's win32 thread model, which lacks std::mutex and
// std::condition_variable. GoogleTest needs them only for Notification, a start signal used
// by its own threading tests; an atomic flag serves the same purpose.
#ifndef ZEP_GTEST_CUSTOM_PORT_H
#define ZEP_GTEST_CUSTOM_PORT_H

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing

#endif
