// The quick format export: the first zone erased and the FAT volume written on a NAND slot, the
// card's file-system sectors erased and its file system written on a card slot; then the medium
// is marked changed for the disk driver.
#include "library/VxMp3.h"
#include "library/channel.h"
#include "library/fat_builder.h"
#include "library/progress.h"
#include "library/size_index.h"

namespace vxmp3 {

namespace {

constexpr ULONG kPhaseCreatingFat = 7;
constexpr ULONG kPhaseErasing = 8;

bool EraseFileSystemArea(const MemoryDevice& device, UCHAR slot) {
    if (device.type == MEMORY_DEVICE_MMC) {
        return VxMp3MMCEraseFileSystemSectors(device.selector, MediaStateOfSlot(slot)->cardSectors,
                                              LibraryProgress()) != 0;
    }
    return EraseFirstZone(slot);
}

bool WriteFileSystem(const MemoryDevice& device, UCHAR slot, bool reserveFlag) {
    if (device.type == MEMORY_DEVICE_MMC) {
        return VxMp3MMCFormat(device.selector, MediaStateOfSlot(slot)->cardSectors, LibraryProgress()) != 0;
    }
    return BuildFatVolume(slot, reserveFlag);
}

PROGRAM_MEDIA_STATUS FormatUnderLock(const MemoryDevice& device, UCHAR slot, bool reserveFlag,
                                     HANDLE phaseEvent) {
    ULONG version = 0;
    if (!VxMp3DDGetDeviceVersion(&version)) {
        return PROGRAM_MEDIA_NO_DEVICE;
    }
    AnnouncePhase(kPhaseErasing, 0.0, phaseEvent);
    if (!EraseFileSystemArea(device, slot)) {
        return PROGRAM_MEDIA_FORMAT_FAILED;
    }
    AnnouncePhase(kPhaseErasing, PROGRESS_COMPLETE, phaseEvent);
    AnnouncePhase(kPhaseCreatingFat, 0.0, phaseEvent);
    if (!WriteFileSystem(device, slot, reserveFlag)) {
        return PROGRAM_MEDIA_FORMAT_FAILED;
    }
    AnnouncePhase(kPhaseCreatingFat, PROGRESS_COMPLETE, phaseEvent);
    if (!VxMp3DDSetFormatStatus(1)) {
        return PROGRAM_MEDIA_FORMAT_FAILED;
    }
    AnnouncePhase(kPhaseCreatingFat, PROGRESS_COMPLETE, phaseEvent);
    return PROGRAM_MEDIA_OK;
}

}  // namespace

}  // namespace vxmp3

using namespace vxmp3;

PROGRAM_MEDIA_STATUS VxMp3QuickFormatQorv(ULONG* sizeIndexes, UCHAR slot, int reserveFlag,
                                          _BinaryFilesInformation* /*files*/, HANDLE phaseEvent) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    if (sizeIndexes == nullptr || device == nullptr || sizeIndexes[slot] > SIZE_INDEX_LAST_MEDIUM) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    LibraryLock lock;
    return FormatUnderLock(*device, slot, reserveFlag != 0, phaseEvent);
}
