// The quick format of a NAND slot: erasing the first zone and writing the FAT volume into it, and
// the erase of a free block that the formats share. The slot's block status table must have been
// built; callers hold the library lock.
#pragma once

#include "library/media_state.h"
#include "media_format/geometry.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

enum class FreeBlockErase {
    NOT_FREE,  // the block's code is not BLOCK_FREE; it was left alone
    ERASED,
    FAILED,    // the erase failed on the medium; the block is now BLOCK_BAD
    NOT_SENT,  // the device did not take the command or did not answer; the block is now BLOCK_BAD
};

// Erases the block when its code is BLOCK_FREE; a failed erase retires it as BLOCK_BAD.
FreeBlockErase EraseFreeBlock(SlotMediaState& state, const media_format::Geometry& geometry, ULONG block,
                              UCHAR slot);

// Erases every free block of the first zone, adding 100 / 1024 to the progress for each. A block
// that fails to erase is retired. False when the slot has no block status table, or when the
// device stops answering: a lost device is no reason to retire the rest of the zone.
bool EraseFirstZone(UCHAR slot);

// Rewrites the card information structure block and writes the volume's first sectors, each read
// back and compared; a block whose read-back differs is retired and its logical block written
// again into the next free block.
bool BuildFatVolume(UCHAR slot, bool reserveFlag);

}  // namespace vxmp3
