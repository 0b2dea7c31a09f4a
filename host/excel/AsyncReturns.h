#ifndef HOST_ASYNCRETURNS_H
#define HOST_ASYNCRETURNS_H

// The calls of asynchronous functions still out: each has a handle, given to the function in its
// bigdata argument, and its result arrives once, from any thread, through xlAsyncReturn.

#include "Value.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace xlhost {

class AsyncReturns {
public:
    // A new call's handle; never 0, never one given before.
    std::uintptr_t open();
    // The call's result has arrived: false for a handle not open or already answered.
    bool give(std::uintptr_t handle, Value result);
    // The results arrived for open handles, waiting until at least one has or `deadline` passed;
    // each handle given back is closed.
    std::vector<std::pair<std::uintptr_t, Value>> arrived(std::chrono::steady_clock::time_point deadline);
    // Gives up on the call: a result that comes later is refused.
    void abandon(std::uintptr_t handle);

private:
    std::mutex mutex_;
    std::condition_variable arrival_;
    std::uintptr_t last_ = 0;
    std::map<std::uintptr_t, std::optional<Value>> open_;  // nothing while the result is still to come
};

}  // namespace xlhost

#endif
