// The product's configuration: the Params key under HKEY_LOCAL_MACHINE and the values directly
// under it. The installation writes them; the host programs only read them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/win32.h"

namespace tools {

inline constexpr const char* kParamsKeyPath = "SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params";

// "Install Folder" into `buffer` of `size` bytes (the programs pass 260), NUL-terminated. False
// when the key or the value is missing, the folder does not fit or is empty; the buffer must
// then not be used.
bool ReadInstallFolder(char* buffer, w32::DWORD size);

// "TotalKiloBytesReserved"; 0 (nothing reserved) when the key or the value is missing.
w32::DWORD ReadTotalKiloBytesReserved();

// Blocks reserved at the end of a medium with this page and block size for the configured
// "TotalKiloBytesReserved", rounded up to whole blocks.
std::uint32_t ReservedBlockCount(std::uint32_t bytesPerPage, std::uint32_t pagesPerBlock);

// "DefaultQuickUpdate": whether the updater's quick-update box starts checked; true when the key
// or the value is missing.
bool ReadDefaultQuickUpdate();

// "VID_%04x&PID_%04x" in lower-case hexadecimal: the value name of a USB identity's chip variant.
std::string UsbIdValueName(std::uint16_t vendorId, std::uint16_t productId);

// The chip variant configured for a USB identity. The key cannot be opened: `chipId` becomes
// 8210 and the result is false. The value is read: it becomes the chip id, true. The value is
// missing (or not a 32-bit number): false, `chipId` unchanged.
bool ReadChipVariantOfUsbId(const char* valueName, w32::DWORD* chipId);

}  // namespace tools
