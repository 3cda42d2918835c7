// A firmware personality of the player: what answers the host on the bulk pipes. The player owns the
// hardware and the current personality; the recovery boot ROM, the normal-mode command processor and
// mass storage are personalities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/timing.h"

namespace player {

struct BulkInReply {
    bool answered = false;  // false: the device sends nothing and the host's read times out
    std::vector<std::uint8_t> data;
    nanoseconds deviceTime{0};
};

class Firmware {
  public:
    virtual ~Firmware() = default;

    // One bulk OUT transfer from the host; returns the device time spent on it.
    virtual nanoseconds HandleBulkOut(std::span<const std::uint8_t> bytes) = 0;
    // One bulk IN transfer of at most `maxLength` bytes.
    virtual BulkInReply HandleBulkIn(std::size_t maxLength) = 0;
    // Bus reset or power on: forget any packet in progress.
    virtual void HandleReset() = 0;
};

}  // namespace player
