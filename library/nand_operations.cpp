#include "library/nand_operations.h"

#include <array>
#include <cstring>

#include "library/channel.h"
#include "library/media_state.h"
#include "media_format/geometry.h"

namespace vxmp3 {

bool ReadPages(std::span<UCHAR> destination, ULONG pageCount, ULONG byteAddress, UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    SlotMediaState* state = MediaStateOfSlot(slot);
    if (device == nullptr || state == nullptr || pageCount == 0) {
        return false;
    }
    // The reply comes in whole units, read straight into the block buffer; a partial block rounds up
    // by less than a page, so whatever fits in pages fits rounded too.
    ULONG replyBytes = RoundUpToUnits(pageCount * media_format::kPageBytes);
    if (replyBytes > state->blockBuffer.size() ||
        (!destination.empty() && destination.size() < pageCount * media_format::kPageDataBytes)) {
        return false;
    }
    if (!SendPacket(NandReadPagesPacket(byteAddress, pageCount, device->selector, DccVersion())) ||
        !ReadFromDevice(state->blockBuffer.data(), replyBytes)) {
        return false;
    }
    for (ULONG page = 0; page < pageCount && !destination.empty(); ++page) {
        std::memcpy(destination.data() + page * media_format::kPageDataBytes,
                    state->blockBuffer.data() + page * media_format::kPageBytes,
                    media_format::kPageDataBytes);
    }
    return true;
}

bool ReadBlockStatus(std::span<UCHAR> destination, ULONG blockCount, ULONG byteAddress, ULONG pagesPerBlock,
                     UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    ULONG replyBytes = RoundUpToUnits(blockCount * BLOCK_STATUS_RECORD_BYTES);
    if (device == nullptr || blockCount == 0 || destination.size() < replyBytes) {
        return false;
    }
    return SendPacket(NandReadBlockStatusPacket(byteAddress, blockCount, pagesPerBlock, device->selector,
                                                DccVersion())) &&
           ReadFromDevice(destination.data(), replyBytes);
}

bool EraseBlock(ULONG byteAddress, ULONG pagesPerBlock, UCHAR slot, ULONG* status) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    std::array<UCHAR, ERASE_REPLY_BYTES> reply{};
    if (device == nullptr ||
        !Exchange(NandEraseBlockPacket(byteAddress, pagesPerBlock, device->selector, DccVersion()), reply)) {
        return false;
    }
    if (status != nullptr) {
        *status = ReplyWord(reply, 0);
    }
    return true;
}

}  // namespace vxmp3
