// The control records and queries of the channel (USER_DATA, device status, version, chip id,
// reconfigure) and the raw packet exports.
#include "library/VxMp3.h"
#include "library/channel.h"
#include "library/channel_state.h"

namespace vxmp3 {
namespace {

constexpr int kReconfigureRequests = 11;
constexpr w32::DWORD kReconfigureDelayMs = 250;
// The chip maker's vendor id with product id 0x8210: a plausible id when the driver cannot say.
constexpr w32::ULONG kFallbackChipId = 0x2F4D8210;

// A 4-byte query: true with the value when the driver answered with 4 bytes or more.
bool QueryWord(w32::DWORD code, w32::ULONG* value, w32::DWORD* returned) {
    w32::ULONG word = 0;
    if (!Control(code, nullptr, 0, &word, sizeof word, returned)) {
        return false;
    }
    *value = word;
    return true;
}

}  // namespace
}  // namespace vxmp3

using namespace vxmp3;

int VxMp3DDGetStatus(USER_DATA* userData) {
    if (userData == nullptr) {
        return 0;
    }
    return Control(IOCTL_VXMP3_GET_STATUS, nullptr, 0, userData, sizeof *userData, nullptr) ? 1 : 0;
}

int VxMp3DDSetStatus(USER_DATA* userData) {
    if (userData == nullptr) {
        return 0;
    }
    return Control(IOCTL_VXMP3_SET_STATUS, userData, sizeof *userData, nullptr, 0, nullptr) ? 1 : 0;
}

int VxMp3DDSetFormatStatus(int status) {
    // Without the current record there is nothing safe to write back.
    USER_DATA userData{};
    if (!VxMp3DDGetStatus(&userData)) {
        return 0;
    }
    userData.exclusiveAccess = 1;
    userData.mediaChanged = static_cast<ULONG>(status);
    return VxMp3DDSetStatus(&userData);
}

ULONG VxMp3DDGetDeviceStatus() {
    ULONG value = 0;
    DWORD returned = 0;
    if (!QueryWord(IOCTL_VXMP3_GET_DEVICE_STATUS, &value, &returned)) {
        return DEVICE_STATUS_NONE;
    }
    if (returned == 0) {
        return DEVICE_STATUS_NO_DATA;
    }
    return value == 1 ? DEVICE_STATUS_NORMAL : DEVICE_STATUS_RECOVERY;
}

UCHAR VxMp3DDGetDeviceVersion(ULONG* version) {
    if (version == nullptr) {
        return 0;
    }
    DWORD returned = 0;
    return QueryWord(IOCTL_VXMP3_GET_DEVICE_VERSION, version, &returned) ? 1 : 0;
}

int VxMp3DDReconfigure() {
    for (int request = 0; request < kReconfigureRequests; ++request) {
        w32::Sleep(kReconfigureDelayMs);
        if (Control(IOCTL_VXMP3_RECONFIGURE, nullptr, 0, nullptr, 0, nullptr)) {
            return 1;
        }
    }
    return 0;
}

ULONG VxMp3DDGetChipId() {
    ULONG chipId = 0;
    DWORD returned = 0;
    return QueryWord(IOCTL_VXMP3_GET_CHIP_ID, &chipId, &returned) ? chipId : kFallbackChipId;
}

int VxMp3DDWrite(UCHAR* data, ULONG length) {
    return WriteToDevice(data, length) ? 1 : 0;
}

int VxMp3DDRead(UCHAR* data, ULONG length) {
    return ReadFromDevice(data, length) ? 1 : 0;
}

int VxMp3GetStatus(USER_DATA* userData) {
    LibraryLock lock;
    return VxMp3DDGetStatus(userData);
}

int VxMp3SetStatus(USER_DATA* userData) {
    LibraryLock lock;
    return VxMp3DDSetStatus(userData);
}

DEVICE_STATUS VxMp3GetDeviceStatus() {
    LibraryLock lock;
    return static_cast<DEVICE_STATUS>(VxMp3DDGetDeviceStatus());
}

int VxMp3GetDeviceVersion(ULONG* version) {
    LibraryLock lock;
    return VxMp3DDGetDeviceVersion(version);
}
