// The door from the file calls to device files: ReadFile and WriteFile hand device handles here.
#pragma once

#include <optional>

#include "platform/win32/win32.h"

namespace w32::detail {

// A read or write on a device handle; nullopt when the handle is no device file.
std::optional<BOOL> DeviceTransfer(HANDLE file, bool write, void* buffer, DWORD length, DWORD* transferred,
                                   LPOVERLAPPED overlapped);

}  // namespace w32::detail
