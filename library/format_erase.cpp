// Erasing free blocks: the first zone before the volume is written, and the data area beyond it
// for a full format.
#include <algorithm>

#include "library/VxMp3.h"
#include "library/block_status.h"
#include "library/channel.h"
#include "library/fat_builder.h"
#include "library/nand_operations.h"
#include "library/progress.h"
#include "library/size_index.h"
#include "platform/win32/win32.h"

namespace vxmp3 {

namespace {

constexpr ULONG kPhaseErasing = 8;

}  // namespace

FreeBlockErase EraseFreeBlock(SlotMediaState& state, const media_format::Geometry& geometry, ULONG block,
                              UCHAR slot) {
    if (state.blockStatus[block] != BLOCK_FREE) {
        return FreeBlockErase::NOT_FREE;
    }
    ULONG status = 0;
    bool sent = EraseBlock(BlockByteAddress(geometry, block), geometry.pagesPerBlock, slot, &status);
    if (!sent || status != 0) {
        state.blockStatus[block] = BLOCK_BAD;
        return sent ? FreeBlockErase::FAILED : FreeBlockErase::NOT_SENT;
    }
    return FreeBlockErase::ERASED;
}

bool EraseFirstZone(UCHAR slot) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const media_format::Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    if (geometry == nullptr) {
        return false;
    }
    const double step = PROGRESS_COMPLETE / FIRST_ZONE_BLOCKS;
    ULONG end = std::min(FIRST_ZONE_BLOCKS, geometry->physicalBlocks);
    for (ULONG block = 0; block < end; ++block) {
        FreeBlockErase erase = EraseFreeBlock(*state, *geometry, block, slot);
        if (erase == FreeBlockErase::NOT_SENT) {
            return false;
        }
        if (erase != FreeBlockErase::NOT_FREE) {
            AddToProgress(step);
        }
    }
    return true;
}

}  // namespace vxmp3

using namespace vxmp3;

PROGRAM_MEDIA_STATUS VxMp3FatEraseDataArea(ULONG* sizeIndexes, UCHAR slot, HANDLE phaseEvent) {
    AnnouncePhase(kPhaseErasing, 0.0, phaseEvent);
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    if (sizeIndexes == nullptr || device == nullptr || sizeIndexes[slot] > SIZE_INDEX_LAST_MEDIUM) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    if (device->type == MEMORY_DEVICE_MMC) {
        return PROGRAM_MEDIA_OK;
    }
    SlotMediaState& state = *MediaStateOfSlot(slot);
    const media_format::Geometry* geometry = ScannedGeometry(state);
    // Without a table of this medium nothing is known to be free.
    if (geometry == nullptr || geometry->librarySizeIndex != sizeIndexes[slot]) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    {
        LibraryLock lock;
        SetProgressTo(0.0);
        if (FIRST_ZONE_BLOCKS >= geometry->physicalBlocks) {
            SetProgressTo(PROGRESS_COMPLETE);
        }
        for (ULONG block = FIRST_ZONE_BLOCKS; block < geometry->physicalBlocks; ++block) {
            FreeBlockErase erase = EraseFreeBlock(state, *geometry, block, slot);
            if (erase == FreeBlockErase::FAILED || erase == FreeBlockErase::NOT_SENT) {
                w32::OutputDebugStringA("Bad Block: erase failed \n");
            }
            // A device that no longer answers would otherwise cost a time-out for every block
            // left and have them all counted as bad.
            if (erase == FreeBlockErase::NOT_SENT) {
                return PROGRAM_MEDIA_FORMAT_FAILED;
            }
            SetProgressTo(PROGRESS_COMPLETE * block / geometry->physicalBlocks);
        }
    }
    AnnouncePhase(kPhaseErasing, PROGRESS_COMPLETE, phaseEvent);
    return PROGRAM_MEDIA_OK;
}
