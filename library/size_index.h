// The library's size index of a medium: 3 = 8 MB, 4..35 = 16 MB steps to 512 MB, 36 = no medium;
// 0, 1 and 2 are cards of 1, 2 and 4 MB.
#pragma once

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

inline constexpr ULONG SIZE_INDEX_NONE = 36;
inline constexpr ULONG SIZE_INDEX_LAST_MEDIUM = 35;

// From the maker and device codes of a NAND_READ_ID reply.
ULONG SizeIndexOfNandId(UCHAR maker, UCHAR device);
// From a card's capacity in 512-byte sectors.
ULONG SizeIndexOfCardCapacity(ULONG sectors);

}  // namespace vxmp3
