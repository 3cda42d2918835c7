// The device queries on the command packets: power status, flash size and the chip variant.
#include <array>

#include "library/VxMp3.h"
#include "library/channel.h"
#include "library/media_state.h"
#include "library/size_index.h"

namespace vxmp3 {
namespace {

constexpr ULONG kChipVariant8200 = 8200;
constexpr ULONG kChipVariant8210 = 8210;
constexpr ULONG kChipId8210 = 0x8210;

// The size index of a card slot: MMC_DETECT, present when its capacity is nonzero. The capacity is
// kept for the card format.
bool QueryCardSize(const MemoryDevice& device, SlotMediaState& state, ULONG* sizeIndex) {
    std::array<UCHAR, MMC_DETECT_REPLY_BYTES> reply{};
    if (!Exchange(MmcPacket(MMC_DETECT, device.selector), reply)) {
        return false;
    }
    ULONG sectors = ReplyLittleEndian(reply, 3, 4);
    state.cardSectors = sectors;
    *sizeIndex = sectors != 0 ? SizeIndexOfCardCapacity(sectors) : SIZE_INDEX_NONE;
    return true;
}

// The size index of a NAND slot: NAND_READ_ID, present when the reply status is 0.
bool QueryNandSize(const MemoryDevice& device, ULONG* sizeIndex) {
    std::array<UCHAR, READ_ID_REPLY_BYTES> reply{};
    if (!Exchange(NandReadIdPacket(device.selector, DccVersion()), reply)) {
        return false;
    }
    bool present = ReplyWord(reply, 0) == 0;
    *sizeIndex = present ? SizeIndexOfNandId(reply[3], reply[4]) : SIZE_INDEX_NONE;
    return true;
}

}  // namespace
}  // namespace vxmp3

using namespace vxmp3;

ACCESS_DEVICE_STATUS VxMp3GetPowerStatus(ULONG* status) {
    LibraryLock lock;
    std::array<UCHAR, POWER_STATUS_REPLY_BYTES> reply{};
    if (!Exchange(DevicePacket(CMD_GET_POWER_STATUS), reply)) {
        return ACCESS_DEVICE_FAILED;
    }
    if (status != nullptr) {
        *status = ReplyWord(reply, 0);
    }
    return ACCESS_DEVICE_OK;
}

ACCESS_DEVICE_STATUS VxMp3GetFlashSizes(ULONG* sizeIndex, ULONG* failed) {
    LibraryLock lock;
    ULONG ignoredFailed = 0;
    if (failed == nullptr) {
        failed = &ignoredFailed;
    }
    *failed = 0;
    const MemoryDevice& device = *MemoryDeviceOfSlot(0);
    ULONG index = SIZE_INDEX_NONE;
    bool answered = device.type == MEMORY_DEVICE_MMC ? QueryCardSize(device, *MediaStateOfSlot(0), &index)
                                                     : QueryNandSize(device, &index);
    if (!answered) {
        *failed = 1;
        return ACCESS_DEVICE_FAILED;
    }
    if (sizeIndex != nullptr) {
        *sizeIndex = index;
    }
    return ACCESS_DEVICE_OK;
}

ULONG VxMp3GetChipId(UCHAR source) {
    if (source != 1) {
        LibraryLock lock;
        return VxMp3DDGetChipId();
    }
    // Only firmware whose capability value is above 256 knows CMD_GET_CHIP_ID; older firmware runs on
    // the 8210 variant.
    std::array<UCHAR, PARAMETER_LIST_BYTES> list{};
    ULONG capabilities = 0;
    if (!ReadParameterList(list) || !FindParameter(list, PARAMETER_CAPABILITIES, &capabilities) ||
        capabilities <= FIRST_FIRMWARE_VERSION) {
        return kChipVariant8210;
    }
    std::array<UCHAR, CHIP_ID_REPLY_BYTES> reply{};
    if (!Exchange(DevicePacket(CMD_GET_CHIP_ID), reply)) {
        return kChipVariant8200;
    }
    return ReplyLittleEndian(reply, 1, 2) == kChipId8210 ? kChipVariant8210 : kChipVariant8200;
}
