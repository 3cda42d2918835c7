#include "library/media_state.h"

#include <array>

namespace vxmp3 {

namespace {

// The player's media: the built-in NAND flash in slot 0.
constexpr std::array<MemoryDevice, 1> kMemoryDevices{{{MEMORY_DEVICE_NAND, 0}}};

}  // namespace

const MemoryDevice* MemoryDeviceOfSlot(UCHAR slot) {
    return slot < kMemoryDevices.size() ? &kMemoryDevices[slot] : nullptr;
}

SlotMediaState* MediaStateOfSlot(UCHAR slot) {
    static std::array<SlotMediaState, kMemoryDevices.size()> states;
    return slot < states.size() ? &states[slot] : nullptr;
}

}  // namespace vxmp3
