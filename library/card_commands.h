// What the card operations share: the card's sector geometry, the reach of the card packets'
// 32-bit byte addresses, and the zero-filling of sectors.
#pragma once

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

inline constexpr ULONG CARD_SECTOR_BYTES = 512;
// The erase group size in sectors when the card cannot tell it.
inline constexpr UCHAR DEFAULT_ERASE_GROUP_SECTORS = 32;

// True when sectors first .. first + count - 1 (count at least 1) all have byte addresses that fit
// the packets' 32-bit address fields. A wrapped address would reach the start of the card instead.
bool CardSectorsAddressable(ULONG first, ULONG count);

// Writes `count` zero sectors from `first`, one block write each; stops at the first failure.
bool WriteZeroSectors(UCHAR card, ULONG first, ULONG count);

}  // namespace vxmp3
