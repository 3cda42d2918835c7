// The card information structure block: the first good block of the medium, whose page 0 carries the
// SmartMedia card information structure twice. Readers only keep the block out of the mapping.
#pragma once

#include <cstdint>
#include <span>

#include "media_format/geometry.h"

namespace media_format {

// 110 bytes of card information structure followed by two zero bytes.
inline constexpr uint32_t kCisImageBytes = 112;
// Page 0 holds the image at data offset 0 and again here.
inline constexpr uint32_t kCisSecondCopyOffset = 256;

std::span<const uint8_t, kCisImageBytes> CisImage();

// Page 0 of the card information structure block: the image twice, zeros elsewhere, and its redundant
// area (statuses 0xFF, address fields 0x00 0x00, the ECC of both halves).
void BuildCisPage(std::span<uint8_t, kPageBytes> page);

// True when both copies of the image and the zeros around them are in place.
bool IsCisPageData(std::span<const uint8_t, kPageDataBytes> data);

}  // namespace media_format
