// The two version exports: the versions of the firmware on the player's medium, from the marker
// pages of each file's first block in the reserved area, and the versions in the firmware files.
#include <algorithm>
#include <cstddef>
#include <optional>

#include "firmware_image/version.h"
#include "library/VxMp3.h"
#include "library/block_status.h"
#include "library/channel.h"
#include "library/media_state.h"
#include "library/nand_operations.h"
#include "library/size_index.h"
#include "media_format/redundant_area.h"

namespace vxmp3 {

namespace {

// Pages 2 to 5 of a file's first block carry version words 0 to 3 in redundant bytes 6..7.
constexpr ULONG kFirstVersionPage = 2;
constexpr ULONG kVersionPages = 4;

ULONG FileCount(const _BinaryFilesInformation& set) {
    return std::min(set.numberOfBinaryFiles, MAX_BINARY_FILES);
}

// The version words of the file whose blocks carry `code`, or nothing when the reserved area
// holds no such block or its marker pages cannot be read.
std::optional<firmware_image::FirmwareVersion> ReadDeviceVersion(const SlotMediaState& state,
                                                                 const media_format::Geometry& geometry,
                                                                 UCHAR code, UCHAR slot) {
    auto first =
        std::find(state.blockStatus.begin() + state.firstReservedBlock, state.blockStatus.end(), code);
    if (first == state.blockStatus.end()) {
        return std::nullopt;
    }
    const ULONG block = static_cast<ULONG>(first - state.blockStatus.begin());
    if (!ReadPages({}, kVersionPages,
                   BlockByteAddress(geometry, block) + kFirstVersionPage * media_format::kPageDataBytes,
                   slot)) {
        return std::nullopt;
    }
    firmware_image::FirmwareVersion version;
    for (ULONG word = 0; word < kVersionPages; ++word) {
        const UCHAR* marker = state.blockBuffer.data() + word * media_format::kPageBytes +
                              media_format::kPageDataBytes +
                              offsetof(media_format::RedundantArea, blockAddress1);
        version.words[word] = static_cast<USHORT>(marker[0] | marker[1] << 8);
    }
    return version;
}

PROGRAM_MEDIA_STATUS ReadDeviceVersions(UCHAR slot, _BinaryFilesInformation& set) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const media_format::Geometry* geometry = ScannedGeometry(*state);
    if (geometry == nullptr || !ReservedAreaMatches(slot)) {
        return PROGRAM_MEDIA_NOT_BOOT_MEDIA;
    }
    for (ULONG i = 0; i < FileCount(set); ++i) {
        auto version = ReadDeviceVersion(*state, *geometry, BlockCodeOfTag(set.fileTag[i]), slot);
        if (!version) {
            set.deviceVersion01[i] = 0;
            set.deviceVersion23[i] = 0;
            return PROGRAM_MEDIA_SYSTEM_WRITE_FAILED;
        }
        set.deviceVersion01[i] = version->Entry01();
        set.deviceVersion23[i] = version->Entry23();
    }
    return PROGRAM_MEDIA_OK;
}

}  // namespace

}  // namespace vxmp3

using namespace vxmp3;

PROGRAM_MEDIA_STATUS VxMp3GetFirmwareVersion(ULONG* sizeIndexes, UCHAR slot, _BinaryFilesInformation* set) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    if (device == nullptr || device->type != MEMORY_DEVICE_NAND) {
        return PROGRAM_MEDIA_NOT_BOOT_MEDIA;
    }
    if (sizeIndexes == nullptr || sizeIndexes[slot] > SIZE_INDEX_LAST_MEDIUM) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    if (set == nullptr) {
        return PROGRAM_MEDIA_BAD_FILE;
    }
    LibraryLock lock;
    ULONG version = 0;
    if (!VxMp3DDGetDeviceVersion(&version) || !BuildBlockStatusTable(sizeIndexes[slot], slot, set)) {
        return PROGRAM_MEDIA_NO_DEVICE;
    }
    LabelSystemBlocks(slot, set);
    return ReadDeviceVersions(slot, *set);
}

PROGRAM_MEDIA_STATUS VxMp3GetFileVersion(UCHAR** files, ULONG* fileLengths, _BinaryFilesInformation* set) {
    if (set == nullptr || set->numberOfBinaryFiles > MAX_BINARY_FILES ||
        (set->numberOfBinaryFiles != 0 && (files == nullptr || fileLengths == nullptr))) {
        return PROGRAM_MEDIA_BAD_FILE;
    }
    for (ULONG i = 0; i < set->numberOfBinaryFiles; ++i) {
        if (files[i] == nullptr && fileLengths[i] != 0) {
            return PROGRAM_MEDIA_BAD_FILE;
        }
        const auto read = firmware_image::ReadFileVersion(
            {files[i], fileLengths[i]}, firmware_image::FileFormatOfType(set->fileFormatType[i]));
        if (read.status != firmware_image::ImageStatus::OK) {
            return PROGRAM_MEDIA_BAD_FILE;
        }
        set->fileVersion01[i] = read.version.Entry01();
        set->fileVersion23[i] = read.version.Entry23();
    }
    return PROGRAM_MEDIA_OK;
}
