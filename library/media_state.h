// The memory device slots of a player and the per-slot media state that the block status scan
// creates and the format and programming operations use. Process-wide, like the channel.
#pragma once

#include <vector>

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

enum MEMORY_DEVICE_TYPE : ULONG {
    MEMORY_DEVICE_NAND = 1,  // the built-in NAND flash
    MEMORY_DEVICE_MMC = 2,   // a MultiMediaCard
};

struct MemoryDevice {
    MEMORY_DEVICE_TYPE type;
    UCHAR selector;  // chip select or card slot that the medium's commands carry
};

// The slot's entry, or nullptr for a slot the player does not have (only slot 0 exists).
const MemoryDevice* MemoryDeviceOfSlot(UCHAR slot);

struct SlotMediaState {
    ULONG sizeIndex = 36;
    // One block of pages with their redundant areas (pages per block x 528 bytes); every NAND page
    // operation builds or receives its pages here.
    std::vector<UCHAR> blockBuffer;
    // One block status code per physical block.
    std::vector<UCHAR> blockStatus;
    ULONG cisBlock = 0;
    ULONG firstReservedBlock = 0;
    ULONG reservedBlocksOnMedia = 0;
    // Capacity in sectors of a card slot, from the last flash size query.
    ULONG cardSectors = 0;
};

// The slot's media state, or nullptr for a slot the player does not have.
SlotMediaState* MediaStateOfSlot(UCHAR slot);

}  // namespace vxmp3
