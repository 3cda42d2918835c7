#include "library/media_state.h"

#include <array>

#include "library/media_state_testing.h"

namespace vxmp3 {

namespace {

// The player's media: the built-in NAND flash in slot 0.
constexpr std::array<MemoryDevice, 1> kMemoryDevices{{{MEMORY_DEVICE_NAND, 0}}};

// The table in use: the shipped one, unless a test put its own in place.
std::span<const MemoryDevice> slotTable = kMemoryDevices;

}  // namespace

const MemoryDevice* MemoryDeviceOfSlot(UCHAR slot) {
    return slot < slotTable.size() ? &slotTable[slot] : nullptr;
}

namespace testing {

void UseSlotTable(std::span<const MemoryDevice> table) {
    slotTable = table.empty() ? std::span<const MemoryDevice>(kMemoryDevices) : table;
}

}  // namespace testing

SlotMediaState* MediaStateOfSlot(UCHAR slot) {
    static std::array<SlotMediaState, kMemoryDevices.size()> states;
    return slot < states.size() ? &states[slot] : nullptr;
}

}  // namespace vxmp3
