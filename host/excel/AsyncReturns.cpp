#include "AsyncReturns.h"

namespace xlhost {

std::uintptr_t AsyncReturns::open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_.emplace(++last_, std::nullopt);
    return last_;
}

bool AsyncReturns::give(std::uintptr_t handle, Value result) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = open_.find(handle);
        if (found == open_.end() || found->second) return false;
        found->second = std::move(result);
    }
    arrival_.notify_all();
    return true;
}

std::vector<std::pair<std::uintptr_t, Value>> AsyncReturns::arrived(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<std::pair<std::uintptr_t, Value>> results;
    const auto collect = [&] {
        for (auto call = open_.begin(); call != open_.end();)
            if (call->second) {
                results.emplace_back(call->first, std::move(*call->second));
                call = open_.erase(call);
            } else {
                ++call;
            }
        return !results.empty();
    };
    arrival_.wait_until(lock, deadline, collect);
    return results;
}

void AsyncReturns::abandon(std::uintptr_t handle) {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(handle);
}

}  // namespace xlhost
