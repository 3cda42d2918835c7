#include "media_format/redundant_area.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

namespace media_format {
namespace {

static_assert(std::is_trivially_copyable_v<RedundantArea>);

constexpr std::array<BlockAddressField, 3> kMiniportSystemMarkers{{{'Q', 'V'}, {'M', 'P'}, {'M', '/'}}};

constexpr int kDataStatusZeroBitsTolerated = 3;

RedundantArea BuildPageRedundantArea(std::span<const uint8_t, kPageDataBytes> data,
                                     BlockAddressField address) {
    RedundantArea area{};
    area.reserved.fill(0xFF);
    area.dataStatus = kDataStatusValid;
    area.blockStatus = kBlockStatusGood;
    area.blockAddress1 = address;
    area.blockAddress2 = address;
    area.eccFirstHalf = ComputeEcc(data.first<kEccHalfBytes>());
    area.eccSecondHalf = ComputeEcc(data.last<kEccHalfBytes>());
    return area;
}

}  // namespace

RedundantArea RedundantAreaFromBytes(std::span<const uint8_t, kRedundantBytes> bytes) {
    RedundantArea area;
    std::memcpy(&area, bytes.data(), sizeof area);
    return area;
}

void StoreRedundantArea(const RedundantArea& area, std::span<uint8_t, kRedundantBytes> bytes) {
    std::memcpy(bytes.data(), &area, sizeof area);
}

bool IsDataStatusValid(uint8_t dataStatus) {
    return std::popcount(static_cast<uint8_t>(~dataStatus)) <= kDataStatusZeroBitsTolerated;
}

bool IsBlockStatusGood(uint8_t blockStatus) {
    return blockStatus == kBlockStatusGood;
}

bool IsLibrarySystemMarker(const BlockAddressField& marker, std::span<const uint8_t> fileTags) {
    if (marker == kSystemMarkerQV) {
        return true;
    }
    return marker[0] == kSystemMarkerFilePrefix &&
           std::find(fileTags.begin(), fileTags.end(), marker[1]) != fileTags.end();
}

bool IsMiniportSystemMarker(const BlockAddressField& marker) {
    return std::find(kMiniportSystemMarkers.begin(), kMiniportSystemMarkers.end(), marker) !=
           kMiniportSystemMarkers.end();
}

bool IsMiniportSystemBlock(const RedundantArea& area) {
    return area.blockStatus == kStatusCleared && IsMiniportSystemMarker(area.blockAddress1);
}

RedundantArea BuildDataPageRedundantArea(std::span<const uint8_t, kPageDataBytes> data,
                                         uint32_t logicalBlock) {
    return BuildPageRedundantArea(data, EncodeBlockAddress(logicalBlock));
}

RedundantArea BuildCisPageRedundantArea(std::span<const uint8_t, kPageDataBytes> data) {
    return BuildPageRedundantArea(data, kCisBlockAddress);
}

PageEccCheck CheckAndCorrectPage(std::span<uint8_t, kPageDataBytes> data, const RedundantArea& area) {
    const auto firstHalf = data.first<kEccHalfBytes>();
    const auto secondHalf = data.last<kEccHalfBytes>();
    return PageEccCheck{CheckAndCorrect(firstHalf, area.eccFirstHalf, ComputeEcc(firstHalf)),
                        CheckAndCorrect(secondHalf, area.eccSecondHalf, ComputeEcc(secondHalf))};
}

}  // namespace media_format
