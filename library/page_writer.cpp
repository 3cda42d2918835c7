#include "library/page_writer.h"

#include <algorithm>
#include <cstring>

#include "library/block_status.h"
#include "library/channel.h"
#include "library/media_state.h"
#include "media_format/redundant_area.h"

namespace vxmp3 {

namespace {

using media_format::kPageBytes;
using media_format::kPageDataBytes;
using media_format::kRedundantBytes;
using media_format::RedundantArea;

constexpr UCHAR kUnsetByte = 0xFF;

std::span<UCHAR, kPageBytes> PageOfBuffer(SlotMediaState& state, ULONG page) {
    return std::span<UCHAR, kPageBytes>(state.blockBuffer.data() + page * kPageBytes, kPageBytes);
}

std::span<UCHAR, kRedundantBytes> RedundantPart(std::span<UCHAR, kPageBytes> page) {
    return page.subspan<kPageDataBytes, kRedundantBytes>();
}

// The redundant area of a system or marker page: statuses cleared, no ECC, `marker` in bytes 6..7
// and every other byte 0xFF.
RedundantArea MarkerRedundantArea(media_format::BlockAddressField marker) {
    RedundantArea area;
    std::memset(&area, kUnsetByte, sizeof area);
    area.dataStatus = media_format::kStatusCleared;
    area.blockStatus = media_format::kStatusCleared;
    area.blockAddress1 = marker;
    return area;
}

media_format::BlockAddressField SystemPageMarker(ULONG page, UCHAR blockCode) {
    switch (page) {
        case 0:
            return media_format::kSystemMarkerQV;
        case 1:
            return {media_format::kSystemMarkerFilePrefix, TagOfBlockCode(blockCode)};
        default:
            return media_format::kErasedBlockAddress;
    }
}

// Builds one page of a WritePages run into the block buffer.
void BuildPage(std::span<UCHAR, kPageBytes> page, std::span<const UCHAR> source, ULONG index,
               ULONG logicalBlock, PageWriteMode mode, UCHAR blockCode) {
    auto data = page.first<kPageDataBytes>();
    if (mode == PageWriteMode::BAD_BLOCK) {
        std::fill(page.begin(), page.end(), UCHAR{0});
        return;
    }
    std::memcpy(data.data(), source.data() + index * kPageDataBytes, kPageDataBytes);
    RedundantArea area = mode == PageWriteMode::DATA
                             ? media_format::BuildDataPageRedundantArea(data, logicalBlock)
                             : MarkerRedundantArea(SystemPageMarker(index, blockCode));
    media_format::StoreRedundantArea(area, RedundantPart(page));
}

}  // namespace

bool WritePageWithEcc(std::span<const UCHAR, kPageDataBytes> data, ULONG byteAddress, ULONG logicalBlock,
                      UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    SlotMediaState* state = MediaStateOfSlot(slot);
    if (device == nullptr || state == nullptr || state->blockBuffer.size() < kPageBytes) {
        return false;
    }
    auto page = PageOfBuffer(*state, 0);
    std::memcpy(page.data(), data.data(), kPageDataBytes);
    RedundantArea area = logicalBlock == NO_LOGICAL_BLOCK
                             ? media_format::BuildCisPageRedundantArea(data)
                             : media_format::BuildDataPageRedundantArea(data, logicalBlock);
    media_format::StoreRedundantArea(area, RedundantPart(page));
    return SendPacket(NandWritePagePacket(byteAddress, device->selector, DccVersion())) &&
           WriteToDevice(page.data(), kPageBytes);
}

bool WriteMarkerPage(ULONG byteAddress, USHORT value, UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    SlotMediaState* state = MediaStateOfSlot(slot);
    if (device == nullptr || state == nullptr || state->blockBuffer.size() < kPageBytes) {
        return false;
    }
    auto page = PageOfBuffer(*state, 0);
    std::fill(page.begin(), page.end(), kUnsetByte);
    media_format::BlockAddressField marker{static_cast<UCHAR>(value & 0xFF), static_cast<UCHAR>(value >> 8)};
    media_format::StoreRedundantArea(MarkerRedundantArea(marker), RedundantPart(page));
    return SendPacket(NandWritePagePacket(byteAddress, device->selector, DccVersion())) &&
           WriteToDevice(page.data(), kPageBytes);
}

bool WritePages(std::span<const UCHAR> source, ULONG pageCount, ULONG byteAddress, ULONG logicalBlock,
                PageWriteMode mode, UCHAR blockCode, UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    SlotMediaState* state = MediaStateOfSlot(slot);
    if (device == nullptr || state == nullptr || pageCount == 0 ||
        pageCount > state->blockBuffer.size() / kPageBytes ||
        (mode != PageWriteMode::BAD_BLOCK && source.size() < pageCount * kPageDataBytes)) {
        return false;
    }
    for (ULONG index = 0; index < pageCount; ++index) {
        BuildPage(PageOfBuffer(*state, index), source, index, logicalBlock, mode, blockCode);
    }
    return SendPacket(NandWritePagesPacket(byteAddress, pageCount, device->selector, DccVersion())) &&
           WriteToDevice(state->blockBuffer.data(), pageCount * kPageBytes);
}

}  // namespace vxmp3
