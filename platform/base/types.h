// Windows' integer and handle types with Windows' widths, shared by the user-mode and kernel faces.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using CHAR = char;
using BOOLEAN = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using WCHAR = char16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using BOOL = int;
using ULONGLONG = std::uint64_t;
using LONGLONG = std::int64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using SIZE_T = std::size_t;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using NTSTATUS = std::int32_t;
using HANDLE = void*;

static_assert(sizeof(ULONG) == 4 && sizeof(USHORT) == 2 && sizeof(LONG) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(ULONG_PTR) == sizeof(void*));

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// A 64-bit value seen as two 32-bit halves, as OVERLAPPED offsets and system times are.
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
static_assert(sizeof(LARGE_INTEGER) == 8);

}  // namespace win
