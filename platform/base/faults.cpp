#include "platform/base/faults.h"

namespace platform {

void FaultPoints::Arm(const std::string& point, std::uint64_t nth, std::uint64_t count) {
    std::lock_guard lock(mutex_);
    points_[point] = Armed{0, nth == 0 ? 1 : nth, count};
    anyArmed_.store(true, std::memory_order_relaxed);
}

void FaultPoints::Disarm(const std::string& point) {
    std::lock_guard lock(mutex_);
    points_.erase(point);
    anyArmed_.store(!points_.empty(), std::memory_order_relaxed);
}

bool FaultPoints::Hit(const std::string& point) {
    if (!anyArmed_.load(std::memory_order_relaxed)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    auto it = points_.find(point);
    if (it == points_.end()) {
        return false;
    }
    auto& armed = it->second;
    ++armed.uses;
    return armed.uses >= armed.firstFailure && armed.uses < armed.firstFailure + armed.failures;
}

std::uint64_t FaultPoints::Uses(const std::string& point) const {
    std::lock_guard lock(mutex_);
    auto it = points_.find(point);
    return it == points_.end() ? 0 : it->second.uses;
}

}  // namespace platform
