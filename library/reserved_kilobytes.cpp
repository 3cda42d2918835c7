#include "library/reserved_kilobytes.h"

#include "platform/win32/win32.h"

namespace vxmp3 {

namespace {

constexpr const char* kParamsKeyPath = "SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params";
constexpr const char* kValueName = "TotalKiloBytesReserved";

}  // namespace

win::ULONG ReadTotalKiloBytesReserved() {
    using namespace w32;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParamsKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD type = 0;
    DWORD kiloBytes = 0;
    DWORD size = sizeof kiloBytes;
    LONG result =
        RegQueryValueExA(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(&kiloBytes), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof kiloBytes ? kiloBytes : 0;
}

}  // namespace vxmp3
