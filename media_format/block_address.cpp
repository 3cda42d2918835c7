#include "media_format/block_address.h"

#include <bit>

#include "media_format/geometry.h"

namespace media_format {

BlockAddressField EncodeBlockAddress(uint32_t logicalBlock) {
    const uint32_t inZone = logicalBlock % kZoneLogicalBlocks;
    const uint32_t evenParity = (std::popcount(inZone) & 1) == 0 ? 1 : 0;
    return BlockAddressField{static_cast<uint8_t>(0x10 | ((inZone >> 7) & 0x07)),
                             static_cast<uint8_t>(((inZone & 0x7F) << 1) | evenParity)};
}

uint32_t DecodeBlockAddress(const BlockAddressField& field) {
    return (uint32_t{field[0]} & 0x07) << 7 | uint32_t{field[1]} >> 1;
}

}  // namespace media_format
