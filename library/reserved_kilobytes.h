// The library's one configuration value: "TotalKiloBytesReserved" under the product's Params key,
// read from the registry at each use so that a changed configuration applies at once.
#pragma once

#include "platform/base/types.h"

namespace vxmp3 {

// 0 (nothing reserved) when the key or the value is missing or is not a 32-bit number.
win::ULONG ReadTotalKiloBytesReserved();

}  // namespace vxmp3
