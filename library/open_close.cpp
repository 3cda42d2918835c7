// Opening and closing the channel: the device names per system and mode, the instance search,
// the completion event and bounce buffer, exclusive access in USER_DATA, and the DCC version.
#include <array>
#include <cstdio>

#include "library/VxMp3.h"
#include "library/channel.h"
#include "library/channel_state.h"

namespace vxmp3 {

using namespace w32;

namespace {

constexpr int kSearchedInstances = 100;

// The normal-mode names come from Plydrv ("u") on Windows 95 and 98, and from the component that
// serves the NT family and Windows Me ("r").
const char* NamePrefix(DEVICE_STATUS mode) {
    if (mode == DEVICE_STATUS_RECOVERY) {
        return "VxMp3RecDevice";
    }
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    bool windowsMe = version.dwMajorVersion == 4 && version.dwMinorVersion >= 90;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT || windowsMe ? "ZPRPX73r" : "ZPRPX73u";
}

HANDLE OpenInstance(const char* prefix, int instance) {
    std::array<char, 64> name{};
    std::snprintf(name.data(), name.size(), "\\\\.\\%s%d", prefix, instance);
    return CreateFileA(name.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

HANDLE OpenDevice(CHAR instance, UCHAR search, DEVICE_STATUS mode) {
    const char* prefix = NamePrefix(mode);
    if (search == 0) {
        return OpenInstance(prefix, static_cast<signed char>(instance));
    }
    for (int candidate = 0; candidate < kSearchedInstances; ++candidate) {
        HANDLE device = OpenInstance(prefix, candidate);
        if (device != INVALID_HANDLE_VALUE) {
            return device;
        }
    }
    return INVALID_HANDLE_VALUE;
}

void DebugPrint(const char* format, ULONG value) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), format, value);
    OutputDebugStringA(text.data());
}

// Opens the device and sets up the completion event and the bounce buffer; a failure releases
// whatever was already taken. A second open while the channel is open is refused.
bool OpenChannel(CHAR instance, UCHAR search, DEVICE_STATUS mode) {
    auto& channel = Channel();
    if (channel.device != INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE device = OpenDevice(instance, search, mode);
    if (device == INVALID_HANDLE_VALUE) {
        DebugPrint("CreateFile failed with error: %d\n", GetLastError());
        return false;
    }
    HANDLE completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (completion == nullptr) {
        CloseHandle(device);
        return false;
    }
    void* bounce = VirtualAlloc(nullptr, BOUNCE_BUFFER_BYTES, MEM_COMMIT, PAGE_READWRITE);
    if (bounce == nullptr) {
        CloseHandle(completion);
        CloseHandle(device);
        return false;
    }
    channel.device = device;
    channel.completion = completion;
    channel.bounceBuffer = static_cast<UCHAR*>(bounce);
    return true;
}

// The DCC version of the device's firmware selects the flags of NAND packets.
void ReadDccVersion() {
    auto& channel = Channel();
    channel.dccVersion = 0;
    std::array<UCHAR, PARAMETER_LIST_BYTES> list{};
    ULONG version = 0;
    if (ReadParameterList(list) && FindParameter(list, PARAMETER_DCC_VERSION, &version)) {
        channel.dccVersion = version;
    }
    DebugPrint("Smartmedia DCC Version: %x\n", channel.dccVersion);
}

using LowLevelOpen = int (*)(CHAR, UCHAR, DEVICE_STATUS);

// What every open export does after its low-level open: the library lock, and the DCC version in
// normal mode.
int OpenAndPrepare(LowLevelOpen open, CHAR instance, UCHAR search, DEVICE_STATUS mode) {
    if (!open(instance, search, mode)) {
        return 0;
    }
    InitializeCriticalSection(&Channel().lock);
    if (mode == DEVICE_STATUS_NORMAL) {
        LibraryLock lock;
        ReadDccVersion();
    }
    return 1;
}

}  // namespace

}  // namespace vxmp3

using namespace vxmp3;

int VxMp3DDOpenDriver(CHAR instance, UCHAR search, DEVICE_STATUS mode) {
    if (!OpenChannel(instance, search, mode)) {
        return 0;
    }
    // Exclusive access keeps the disk driver off the device; the result does not fail the open.
    USER_DATA exclusive{1, 0, 1, 0};
    VxMp3DDSetStatus(&exclusive);
    return 1;
}

int VxMp3DDOpenDriverNoBlock(CHAR instance, UCHAR search, DEVICE_STATUS mode) {
    return OpenChannel(instance, search, mode) ? 1 : 0;
}

int VxMp3DDCloseDriver() {
    auto& channel = Channel();
    USER_DATA userData{};
    if (VxMp3DDGetStatus(&userData) && userData.exclusiveAccess != 0) {
        userData.exclusiveAccess = 0;
        VxMp3DDSetStatus(&userData);
    }
    int closed = 0;
    if (channel.device != INVALID_HANDLE_VALUE) {
        closed = CloseHandle(channel.device) ? 1 : 0;
        channel.device = INVALID_HANDLE_VALUE;
    }
    if (channel.bounceBuffer != nullptr) {
        VirtualFree(channel.bounceBuffer, 0, MEM_RELEASE);
        channel.bounceBuffer = nullptr;
    }
    if (channel.completion != nullptr) {
        CloseHandle(channel.completion);
        channel.completion = nullptr;
    }
    // The next open, perhaps on another player, reads its own version.
    channel.dccVersion = 0;
    return closed;
}

int VxMp3OpenDriver(DEVICE_STATUS mode) {
    return OpenAndPrepare(VxMp3DDOpenDriver, 0, 1, mode);
}

int VxMp3OpenDriverEx(CHAR instance, DEVICE_STATUS mode) {
    return OpenAndPrepare(VxMp3DDOpenDriver, instance, 0, mode);
}

int VxMp3OpenDriverNoBlock(CHAR instance, DEVICE_STATUS mode) {
    return OpenAndPrepare(VxMp3DDOpenDriverNoBlock, instance, 0, mode);
}

int VxMp3OpenDriverNoBlockEx(DEVICE_STATUS mode) {
    return OpenAndPrepare(VxMp3DDOpenDriverNoBlock, 0, 1, mode);
}

int VxMp3CloseDriver() {
    int closed = 0;
    {
        LibraryLock lock;
        closed = VxMp3DDCloseDriver();
    }
    if (closed) {
        DeleteCriticalSection(&Channel().lock);
    }
    return closed;
}
