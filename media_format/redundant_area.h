// The 16-byte redundant area that follows the 512 data bytes of every page, its status tests, the system
// markers, and the redundant areas that writers build for data pages and the card information structure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "media_format/block_address.h"
#include "media_format/ecc.h"
#include "media_format/geometry.h"

namespace media_format {

struct RedundantArea {
    std::array<uint8_t, 4> reserved;  // 0xFF on data pages
    uint8_t dataStatus;               // 0xFF = valid data (tolerates up to three cleared bits)
    uint8_t blockStatus;              // 0xFF = good block, anything else = not usable for data
    BlockAddressField blockAddress1;  // the copy that readers use
    Ecc eccSecondHalf;                // ECC of data bytes 256..511
    BlockAddressField blockAddress2;  // same bytes as blockAddress1
    Ecc eccFirstHalf;                 // ECC of data bytes 0..255
};
static_assert(sizeof(RedundantArea) == kRedundantBytes);
static_assert(offsetof(RedundantArea, dataStatus) == 4);
static_assert(offsetof(RedundantArea, blockStatus) == 5);
static_assert(offsetof(RedundantArea, blockAddress1) == 6);
static_assert(offsetof(RedundantArea, eccSecondHalf) == 8);
static_assert(offsetof(RedundantArea, blockAddress2) == 11);
static_assert(offsetof(RedundantArea, eccFirstHalf) == 13);

inline constexpr uint8_t kDataStatusValid = 0xFF;
inline constexpr uint8_t kBlockStatusGood = 0xFF;
// Data and block status of the pages of a system block and of a block destroyed as bad.
inline constexpr uint8_t kStatusCleared = 0x00;

// System markers in bytes 6..7 of a firmware-area block: "QV" on page 0, 'M' and the file's tag on page 1.
inline constexpr BlockAddressField kSystemMarkerQV{'Q', 'V'};
inline constexpr uint8_t kSystemMarkerFilePrefix = 'M';

RedundantArea RedundantAreaFromBytes(std::span<const uint8_t, kRedundantBytes> bytes);
void StoreRedundantArea(const RedundantArea& area, std::span<uint8_t, kRedundantBytes> bytes);

// Valid when fewer than 4 of the 8 bits are zero.
bool IsDataStatusValid(uint8_t dataStatus);
// Only 0xFF is good; block status admits no tolerance.
bool IsBlockStatusGood(uint8_t blockStatus);

// The library's rule: "QV", or 'M' followed by one of the tag characters of the configured file set.
bool IsLibrarySystemMarker(const BlockAddressField& marker, std::span<const uint8_t> fileTags);
// The miniport's rule: exactly "QV", "MP" or "M/".
bool IsMiniportSystemMarker(const BlockAddressField& marker);

// A system block for the miniport: block status 0x00 and a miniport system marker in bytes 6..7.
bool IsMiniportSystemBlock(const RedundantArea& area);

// The redundant area of a data page of a logical block: statuses 0xFF, the encoded address in both
// fields, and the ECC of both halves.
RedundantArea BuildDataPageRedundantArea(std::span<const uint8_t, kPageDataBytes> data,
                                         uint32_t logicalBlock);
// The same for the card information structure page, whose address fields are 0x00 0x00.
RedundantArea BuildCisPageRedundantArea(std::span<const uint8_t, kPageDataBytes> data);

// Outcome of checking the ECC of both halves of a page.
struct PageEccCheck {
    EccCheck firstHalf;
    EccCheck secondHalf;
    bool IsGood() const { return media_format::IsGood(firstHalf) && media_format::IsGood(secondHalf); }
    bool IsCorrected() const {
        return firstHalf == EccCheck::kCorrected || secondHalf == EccCheck::kCorrected;
    }
};

// Checks both halves of a page's data against the ECC of its redundant area and repairs single bits.
PageEccCheck CheckAndCorrectPage(std::span<uint8_t, kPageDataBytes> data, const RedundantArea& area);

}  // namespace media_format
