// The layout of I/O control codes, shared by the user-mode and kernel faces as Windows' headers
// share it: device type << 16 | access << 14 | function << 2 | method.
#pragma once

#include "platform/base/types.h"

namespace win {

inline constexpr ULONG FILE_DEVICE_UNKNOWN = 0x22;
inline constexpr ULONG METHOD_BUFFERED = 0;
inline constexpr ULONG METHOD_IN_DIRECT = 1;
inline constexpr ULONG METHOD_OUT_DIRECT = 2;
inline constexpr ULONG METHOD_NEITHER = 3;
inline constexpr ULONG FILE_ANY_ACCESS = 0;
inline constexpr ULONG FILE_READ_ACCESS = 1;
inline constexpr ULONG FILE_WRITE_ACCESS = 2;

constexpr ULONG CTL_CODE(ULONG deviceType, ULONG function, ULONG method, ULONG access) {
    return deviceType << 16 | access << 14 | function << 2 | method;
}

}  // namespace win
