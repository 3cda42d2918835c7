// The chip variants, by the decimal model number that selects a firmware file set.
#pragma once

#include "platform/base/types.h"

namespace tools {

inline constexpr win::DWORD CHIP_8200 = 8200;
inline constexpr win::DWORD CHIP_8210 = 8210;

// The variant a chip id selects: exactly 8210 is the 8210; 8200 and every other id the 8200.
constexpr win::DWORD ChipVariantOf(win::DWORD chipId) {
    return chipId == CHIP_8210 ? CHIP_8210 : CHIP_8200;
}

}  // namespace tools
