// The block address field of a redundant area: the logical block's number within its zone, with a
// parity bit that makes the two bytes hold an even number of one bits.
#pragma once

#include <array>
#include <cstdint>

namespace media_format {

using BlockAddressField = std::array<uint8_t, 2>;

// An erased block: it holds no logical block.
inline constexpr BlockAddressField kErasedBlockAddress{0xFF, 0xFF};
// The card information structure page carries zeros in both address fields.
inline constexpr BlockAddressField kCisBlockAddress{0x00, 0x00};

// Encodes logical block number mod 1000, the number within its zone.
BlockAddressField EncodeBlockAddress(uint32_t logicalBlock);

// The in-zone number 0..1023; neither the parity bit nor the 0x10 marker is checked. 1000..1023 name no
// logical block of the zone.
uint32_t DecodeBlockAddress(const BlockAddressField& field);

inline bool IsErasedBlockAddress(const BlockAddressField& field) {
    return field == kErasedBlockAddress;
}

}  // namespace media_format
