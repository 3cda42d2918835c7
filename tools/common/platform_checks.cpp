#include "tools/common/platform_checks.h"

#include "platform/win32/win32.h"

namespace tools {

using namespace w32;

namespace {

// The version the system reports; all zero when the query fails, which passes no check.
OSVERSIONINFOA QueryVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        version = {};
    }
    return version;
}

}  // namespace

bool IsNtPlatform() {
    return QueryVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWin98OrEarlier() {
    const OSVERSIONINFOA version = QueryVersion();
    return version.dwMajorVersion == 4 && version.dwMinorVersion <= 10;
}

bool HasRawDiskAccess() {
    HANDLE volume = CreateFileA("\\\\.\\c:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(volume);
    return true;
}

}  // namespace tools
