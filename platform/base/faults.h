// Fault points: a named point in the platform or a device model can be told to fail its nth use
// (and the uses after it, `count` in all), so tests reach failure paths on purpose.
// A point costs one relaxed load while nothing is armed.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace platform {

class FaultPoints {
  public:
    // Fails the nth use from now (1 = the next one) and the count - 1 uses after it.
    void Arm(const std::string& point, std::uint64_t nth, std::uint64_t count = 1);
    void Disarm(const std::string& point);
    // Counts a use of the point; true when this use must fail.
    bool Hit(const std::string& point);
    // Uses counted since the point was armed (0 for a point never armed).
    std::uint64_t Uses(const std::string& point) const;

  private:
    struct Armed {
        std::uint64_t uses = 0;
        std::uint64_t firstFailure = 0;
        std::uint64_t failures = 0;
    };
    std::atomic<bool> anyArmed_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Armed> points_;
};

}  // namespace platform
