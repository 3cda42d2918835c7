// The system area's operations and the two exports that program it: the quick update
// (VxMp3ProgramQorvMedia) rewrites the files in a reserved area of the configured size, the full
// update (VxMp3FatFormatEx) erases everything after the card information structure block and
// lays the system area out anew before it writes them.
#include "library/system_area.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "firmware_image/image.h"
#include "library/VxMp3.h"
#include "library/block_status.h"
#include "library/channel.h"
#include "library/media_state.h"
#include "library/nand_operations.h"
#include "library/page_writer.h"
#include "library/progress.h"
#include "library/size_index.h"

namespace vxmp3 {

namespace {

using media_format::Geometry;
using media_format::kPageDataBytes;

constexpr ULONG kPhaseErasing = 3;
constexpr ULONG kPhaseClaiming = 4;
constexpr ULONG kPhaseCopying = 5;

// The version words go into pages 2 to 5 of a file's first block.
constexpr ULONG kFirstVersionPage = 2;
// Every block of a system file carries both markers, on pages 0 and 1.
constexpr ULONG kMarkedPages = 2;

struct ScannedSlot {
    SlotMediaState& state;
    const Geometry& geometry;

    ULONG Blocks() const { return geometry.physicalBlocks; }
    ULONG PagesPerBlock() const { return geometry.pagesPerBlock; }
    ULONG BlockBytes() const { return geometry.BlockDataBytes(); }
    ULONG Address(ULONG block) const { return BlockByteAddress(geometry, block); }
};

std::optional<ScannedSlot> ScannedSlotOf(UCHAR slot) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    if (geometry == nullptr) {
        return std::nullopt;
    }
    return ScannedSlot{*state, *geometry};
}

bool IsFileCode(UCHAR code, const _BinaryFilesInformation* set) {
    const std::span<const UCHAR> tags = FileTags(set);
    return std::any_of(tags.begin(), tags.end(), [code](UCHAR tag) { return BlockCodeOfTag(tag) == code; });
}

// A tag whose block code is one of the table's own codes (bad, volume, CIS, free) would make the
// file's blocks look like such blocks, and one other than 'P' that maps to BLOCK_SYSTEM would be
// marked as the boot manager: such a set cannot be written.
bool IsWritableTag(UCHAR tag) {
    const UCHAR code = BlockCodeOfTag(tag);
    return code != BLOCK_BAD && code != BLOCK_VOLUME && code != BLOCK_CIS && code != BLOCK_FREE &&
           (code != BLOCK_SYSTEM || tag == BOOT_MANAGER_TAG);
}

// Erases a block; one that cannot be erased is retired as BLOCK_BAD.
bool EraseOrRetire(const ScannedSlot& media, ULONG block, UCHAR slot) {
    ULONG status = 0;
    if (EraseBlock(media.Address(block), media.PagesPerBlock(), slot, &status) && status == 0) {
        return true;
    }
    media.state.blockStatus[block] = BLOCK_BAD;
    return false;
}

// The data of an erased block, written into system blocks that hold no file; none when there is
// no memory for it.
std::optional<std::vector<UCHAR>> ErasedBlockData(const ScannedSlot& media) {
    try {
        return std::vector<UCHAR>(media.BlockBytes(), 0xFF);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// One block of empty system pages (all data 0xFF) with the markers of `code`.
bool WriteEmptySystemBlock(const ScannedSlot& media, const std::vector<UCHAR>& erased, ULONG block,
                           UCHAR code, UCHAR slot) {
    return WritePages(erased, media.PagesPerBlock(), media.Address(block), 0, PageWriteMode::SYSTEM, code,
                      slot);
}

// The data of file block `fileBlock` (of `pages` pages) as it must read back: its part of the
// image, which starts at a whole block of `pagesPerBlock` pages, and zeros after the image's end.
std::vector<UCHAR> FileBlockData(std::span<const UCHAR> image, ULONG fileBlock, ULONG pages,
                                 ULONG pagesPerBlock) {
    std::vector<UCHAR> data(std::size_t{pages} * kPageDataBytes, 0);
    const std::size_t offset = std::size_t{fileBlock} * pagesPerBlock * kPageDataBytes;
    if (offset < image.size()) {
        const std::size_t length = std::min(data.size(), image.size() - offset);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length, data.begin());
    }
    return data;
}

// The next block coded BLOCK_SYSTEM at or after `from`.
std::optional<ULONG> NextSystemBlock(const ScannedSlot& media, ULONG from) {
    for (ULONG block = from; block < media.Blocks(); ++block) {
        if (media.state.blockStatus[block] == BLOCK_SYSTEM) {
            return block;
        }
    }
    return std::nullopt;
}

// The first block at or after the reserved area's start coded `code`.
std::optional<ULONG> FirstFileBlock(const ScannedSlot& media, UCHAR code) {
    for (ULONG block = media.state.firstReservedBlock; block < media.Blocks(); ++block) {
        if (media.state.blockStatus[block] == code) {
            return block;
        }
    }
    return std::nullopt;
}

enum class BlockWrite : UCHAR {
    VERIFIED,
    RETIRED,  // read back different: marked bad, the data goes into the next block
    FAILED,
};

BlockWrite WriteVerifiedBlock(const ScannedSlot& media, ULONG block, const std::vector<UCHAR>& data,
                              ULONG pages, UCHAR code, UCHAR slot) {
    const ULONG address = media.Address(block);
    if (!EraseOrRetire(media, block, slot) ||
        !WritePages(data, pages, address, 0, PageWriteMode::SYSTEM, code, slot)) {
        return BlockWrite::FAILED;
    }
    std::vector<UCHAR> readBack(data.size());
    if (!ReadPages(readBack, pages, address, slot)) {
        return BlockWrite::FAILED;
    }
    if (readBack == data) {
        media.state.blockStatus[block] = code;
        return BlockWrite::VERIFIED;
    }
    if (!EraseOrRetire(media, block, slot) ||
        !WritePages({}, kMarkedPages, address, 0, PageWriteMode::BAD_BLOCK, BLOCK_BAD, slot)) {
        return BlockWrite::FAILED;
    }
    media.state.blockStatus[block] = BLOCK_BAD;
    return BlockWrite::RETIRED;
}

double FileProgress(UCHAR code, ULONG fileCount, ULONG fileBlock, ULONG fileBlocks) {
    const ULONG share = 50 / fileCount;
    return (code - BLOCK_SYSTEM) * PROGRESS_COMPLETE / fileCount + share * fileBlock / fileBlocks + share;
}

// The caller's arrays of file and companion contents, one entry per file of the set.
struct FileArguments {
    UCHAR** files;
    ULONG* fileLengths;
    UCHAR** companions;
    ULONG* companionLengths;

    std::span<const UCHAR> Companion(ULONG i) const {
        if (companions == nullptr || companionLengths == nullptr || companions[i] == nullptr) {
            return {};
        }
        return {companions[i], companionLengths[i]};
    }
};

PROGRAM_MEDIA_STATUS StatusOfImage(firmware_image::ImageStatus status) {
    return status == firmware_image::ImageStatus::NO_MEMORY ? PROGRAM_MEDIA_NO_MEMORY
                                                            : PROGRAM_MEDIA_BAD_FILE;
}

// The images of every file of the set, or why they cannot be built.
PROGRAM_MEDIA_STATUS BuildImages(const FileArguments& arguments, const _BinaryFilesInformation& set,
                                 std::vector<SystemImage>& images) {
    const ULONG count = set.numberOfBinaryFiles;
    if (count == 0 || count > MAX_BINARY_FILES || arguments.files == nullptr ||
        arguments.fileLengths == nullptr || !std::all_of(set.fileTag, set.fileTag + count, IsWritableTag)) {
        return PROGRAM_MEDIA_BAD_FILE;
    }
    try {
        images.assign(count, {});
    } catch (const std::bad_alloc&) {
        return PROGRAM_MEDIA_NO_MEMORY;
    }
    for (ULONG i = 0; i < count; ++i) {
        const ULONG length = arguments.fileLengths[i];
        const ULONG companionLength =
            arguments.companionLengths != nullptr ? arguments.companionLengths[i] : 0;
        if (length == 0) {
            continue;
        }
        if (arguments.files[i] == nullptr || (companionLength != 0 && arguments.Companion(i).empty())) {
            return PROGRAM_MEDIA_BAD_FILE;
        }
        firmware_image::Image image =
            firmware_image::BuildSystemImage({arguments.files[i], length}, arguments.Companion(i),
                                             firmware_image::FileFormatOfType(set.fileFormatType[i]));
        if (!image.Ok()) {
            return StatusOfImage(image.status);
        }
        images[i] = {std::move(image.bytes), image.version};
    }
    return PROGRAM_MEDIA_OK;
}

// Whole blocks for an image of `bytes`, counted as the medium's pages of 510 file bytes.
std::size_t BlockRoundedSize(std::size_t bytes, const Geometry& geometry) {
    const std::size_t blockBytes = geometry.BlockDataBytes();
    const std::size_t pages =
        (bytes + firmware_image::kRawBytesPerPage - 1) / firmware_image::kRawBytesPerPage;
    return (pages * kPageDataBytes + blockBytes - 1) / blockBytes * blockBytes;
}

bool ImagesFit(const std::vector<SystemImage>& images, const Geometry& geometry) {
    std::size_t total = 0;
    for (const SystemImage& image : images) {
        total += BlockRoundedSize(image.bytes.size(), geometry);
    }
    return total / geometry.BlockDataBytes() <
           ReservedBlockCount(geometry.pageDataBytes, geometry.pagesPerBlock);
}

bool IsNandSlot(UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    return device != nullptr && device->type == MEMORY_DEVICE_NAND;
}

// What both exports do first, under the library lock: the images built (when there are files to
// write), checked against the reserved area, and the device asked for its version.
PROGRAM_MEDIA_STATUS StartProgramming(const ULONG* sizeIndexes, UCHAR slot, const FileArguments* arguments,
                                      const _BinaryFilesInformation* set, std::vector<SystemImage>& images) {
    if (arguments != nullptr) {
        if (set == nullptr) {
            return PROGRAM_MEDIA_BAD_FILE;
        }
        if (PROGRAM_MEDIA_STATUS built = BuildImages(*arguments, *set, images); built != PROGRAM_MEDIA_OK) {
            return built;
        }
    }
    if (!ImagesFit(images, *media_format::GeometryOfLibrarySizeIndex(sizeIndexes[slot]))) {
        return PROGRAM_MEDIA_SYSTEM_AREA_FULL;
    }
    ULONG version = 0;
    return VxMp3DDGetDeviceVersion(&version) ? PROGRAM_MEDIA_OK : PROGRAM_MEDIA_NO_DEVICE;
}

bool IsProgrammableMedium(const ULONG* sizeIndexes, UCHAR slot) {
    return IsNandSlot(slot) && sizeIndexes != nullptr && sizeIndexes[slot] <= SIZE_INDEX_LAST_MEDIUM &&
           media_format::GeometryOfLibrarySizeIndex(sizeIndexes[slot]) != nullptr;
}

// The boot copy of the first file, then every file in set order past the boot window, each with
// its version markers. `cursor` ends after the last file block written.
bool WriteFiles(UCHAR slot, const _BinaryFilesInformation& set, const std::vector<SystemImage>& images,
                ULONG* cursor) {
    const ULONG count = static_cast<ULONG>(images.size());
    auto writeFile = [&](ULONG i) {
        const UCHAR code = BlockCodeOfTag(set.fileTag[i]);
        return WriteSystemFile(images[i].bytes, slot, code, cursor, count) &&
               WriteVersionMarkers(slot, code, images[i].version);
    };
    *cursor = 0;
    if (!writeFile(0)) {
        return false;
    }
    *cursor = std::max(*cursor, SYSTEM_FILES_CURSOR);
    for (ULONG i = 0; i < count; ++i) {
        if (!images[i].bytes.empty() && !writeFile(i)) {
            return false;
        }
    }
    return true;
}

PROGRAM_MEDIA_STATUS QuickUpdate(UCHAR slot, const _BinaryFilesInformation& set,
                                 const std::vector<SystemImage>& images, HANDLE phaseEvent) {
    if (!ReservedAreaMatches(slot)) {
        return PROGRAM_MEDIA_NOT_BOOT_MEDIA;
    }
    AnnouncePhase(kPhaseCopying, 0.0, phaseEvent);
    ULONG cursor = 0;
    if (!WriteFiles(slot, set, images, &cursor)) {
        return PROGRAM_MEDIA_SYSTEM_WRITE_FAILED;
    }
    AnnouncePhase(kPhaseCopying, PROGRESS_COMPLETE, phaseEvent);
    AnnouncePhase(kPhaseClaiming, 0.0, phaseEvent);
    if (!ClaimRemainder(slot, cursor, BlockCodeOfTag(set.fileTag[images.size() - 1]))) {
        return PROGRAM_MEDIA_SYSTEM_WRITE_FAILED;
    }
    AnnouncePhase(kPhaseClaiming, PROGRESS_COMPLETE, phaseEvent);
    return PROGRAM_MEDIA_OK;
}

PROGRAM_MEDIA_STATUS FullUpdate(UCHAR slot, const _BinaryFilesInformation* set,
                                const std::vector<SystemImage>& images, HANDLE phaseEvent) {
    AnnouncePhase(kPhaseErasing, 0.0, phaseEvent);
    if (!EraseAfterCis(slot, set)) {
        return PROGRAM_MEDIA_FORMAT_FAILED;
    }
    AnnouncePhase(kPhaseErasing, PROGRESS_COMPLETE, phaseEvent);
    AnnouncePhase(kPhaseClaiming, 0.0, phaseEvent);
    if (!ClaimSystemArea(slot, set)) {
        return PROGRAM_MEDIA_FORMAT_FAILED;
    }
    AnnouncePhase(kPhaseClaiming, PROGRESS_COMPLETE, phaseEvent);
    if (images.empty()) {
        return PROGRAM_MEDIA_OK;
    }
    AnnouncePhase(kPhaseCopying, 0.0, phaseEvent);
    ULONG cursor = 0;
    if (!WriteFiles(slot, *set, images, &cursor)) {
        return PROGRAM_MEDIA_SYSTEM_WRITE_FAILED;
    }
    AnnouncePhase(kPhaseCopying, PROGRESS_COMPLETE, phaseEvent);
    return PROGRAM_MEDIA_OK;
}

}  // namespace

bool EraseAfterCis(UCHAR slot, const _BinaryFilesInformation* set) {
    std::optional<ScannedSlot> media = ScannedSlotOf(slot);
    if (!media) {
        return false;
    }
    const ULONG first = media->state.cisBlock + 1;
    const double step = first < media->Blocks() ? PROGRESS_COMPLETE / (media->Blocks() - first) : 0.0;
    for (ULONG block = first; block < media->Blocks(); ++block) {
        UCHAR& code = media->state.blockStatus[block];
        if (code != BLOCK_FREE && !IsFileCode(code, set)) {
            continue;
        }
        if (EraseOrRetire(*media, block, slot)) {
            code = BLOCK_FREE;
        }
        AddToProgress(step);
    }
    return true;
}

bool ClaimSystemArea(UCHAR slot, const _BinaryFilesInformation* set) {
    std::optional<ScannedSlot> media = ScannedSlotOf(slot);
    if (!media) {
        return false;
    }
    std::optional<std::vector<UCHAR>> erased = ErasedBlockData(*media);
    if (!erased) {
        return false;
    }
    PrepareSystemArea(slot, set);
    SlotMediaState& state = media->state;
    // The boot window (its bad blocks skipped), then the reserved area to the end of the medium.
    auto walk = [&](auto&& visit) {
        ULONG skipped = 0;
        for (ULONG block = state.cisBlock + 1; block < media->Blocks(); ++block) {
            if (block > state.cisBlock + 3 + skipped && block < state.firstReservedBlock) {
                block = state.firstReservedBlock;
            }
            const UCHAR code = state.blockStatus[block];
            if (code != BLOCK_FREE && !IsFileCode(code, set)) {
                ++skipped;
            } else if (!visit(block, code)) {
                return false;
            }
        }
        return true;
    };
    ULONG claimable = 0;
    walk([&](ULONG, UCHAR) { return ++claimable != 0; });
    const double step = claimable != 0 ? PROGRESS_COMPLETE / claimable : 0.0;
    const bool written = walk([&](ULONG block, UCHAR code) {
        if (!WriteEmptySystemBlock(*media, *erased, block, code, slot)) {
            return false;
        }
        AddToProgress(step);
        return true;
    });
    if (written) {
        SetProgressTo(PROGRESS_COMPLETE);
    }
    return written;
}

bool WriteSystemFile(std::span<const UCHAR> image, UCHAR slot, UCHAR code, ULONG* cursor, ULONG fileCount) {
    if (image.empty()) {
        return true;
    }
    std::optional<ScannedSlot> media = ScannedSlotOf(slot);
    if (!media || cursor == nullptr || fileCount == 0) {
        return false;
    }
    const ULONG pagesPerBlock = media->PagesPerBlock();
    const ULONG pages = static_cast<ULONG>((image.size() + kPageDataBytes - 1) / kPageDataBytes);
    const ULONG fileBlocks = (pages + pagesPerBlock - 1) / pagesPerBlock;
    const ULONG lastBlockPages =
        std::max(pages % pagesPerBlock == 0 ? pagesPerBlock : pages % pagesPerBlock, kMarkedPages);
    ULONG search = *cursor;
    for (ULONG fileBlock = 0; fileBlock < fileBlocks; ++fileBlock) {
        const ULONG blockPages = fileBlock + 1 < fileBlocks ? pagesPerBlock : lastBlockPages;
        std::vector<UCHAR> data;
        try {
            data = FileBlockData(image, fileBlock, blockPages, pagesPerBlock);
        } catch (const std::bad_alloc&) {
            return false;
        }
        BlockWrite written = BlockWrite::RETIRED;
        while (written == BlockWrite::RETIRED) {
            std::optional<ULONG> block = NextSystemBlock(*media, search);
            if (!block) {
                return false;
            }
            written = WriteVerifiedBlock(*media, *block, data, blockPages, code, slot);
            search = *block + 1;
        }
        if (written == BlockWrite::FAILED) {
            return false;
        }
        SetProgressTo(FileProgress(code, fileCount, fileBlock, fileBlocks));
    }
    *cursor = search;
    return true;
}

bool WriteVersionMarkers(UCHAR slot, UCHAR code, const firmware_image::FirmwareVersion& version) {
    std::optional<ScannedSlot> media = ScannedSlotOf(slot);
    std::optional<ULONG> block = media ? FirstFileBlock(*media, code) : std::nullopt;
    if (!block) {
        return false;
    }
    for (ULONG word = 0; word < version.words.size(); ++word) {
        const ULONG address = media->Address(*block) + (kFirstVersionPage + word) * kPageDataBytes;
        if (!WriteMarkerPage(address, version.words[word], slot)) {
            return false;
        }
    }
    return true;
}

bool ClaimRemainder(UCHAR slot, ULONG start, UCHAR code) {
    std::optional<ScannedSlot> media = ScannedSlotOf(slot);
    if (!media) {
        return false;
    }
    std::optional<std::vector<UCHAR>> erased = ErasedBlockData(*media);
    if (!erased) {
        return false;
    }
    // Never below the reserved area: the blocks before it belong to the volume.
    start = std::max(start, media->state.firstReservedBlock);
    const double step = start < media->Blocks() ? PROGRESS_COMPLETE / (media->Blocks() - start) : 0.0;
    for (ULONG block = start; block < media->Blocks(); ++block) {
        if (media->state.blockStatus[block] == BLOCK_BAD || !EraseOrRetire(*media, block, slot)) {
            continue;
        }
        if (!WriteEmptySystemBlock(*media, *erased, block, code, slot)) {
            return false;
        }
        media->state.blockStatus[block] = code;
        AddToProgress(step);
    }
    AddToProgress(PROGRESS_COMPLETE);
    return true;
}

}  // namespace vxmp3

using namespace vxmp3;

PROGRAM_MEDIA_STATUS VxMp3ProgramQorvMedia(ULONG* sizeIndexes, UCHAR slot, UCHAR** files, ULONG* fileLengths,
                                           UCHAR** companions, ULONG* companionLengths,
                                           _BinaryFilesInformation* set, HANDLE phaseEvent) {
    if (!IsProgrammableMedium(sizeIndexes, slot)) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    LibraryLock lock;
    const FileArguments arguments{files, fileLengths, companions, companionLengths};
    std::vector<SystemImage> images;
    PROGRAM_MEDIA_STATUS result = StartProgramming(sizeIndexes, slot, &arguments, set, images);
    return result == PROGRAM_MEDIA_OK ? QuickUpdate(slot, *set, images, phaseEvent) : result;
}

PROGRAM_MEDIA_STATUS VxMp3FatFormatEx(ULONG* sizeIndexes, UCHAR slot, int writeFiles, UCHAR** files,
                                      ULONG* fileLengths, UCHAR** companions, ULONG* companionLengths,
                                      _BinaryFilesInformation* set, HANDLE phaseEvent) {
    if (!IsProgrammableMedium(sizeIndexes, slot)) {
        return PROGRAM_MEDIA_BAD_MEDIA;
    }
    LibraryLock lock;
    const FileArguments arguments{files, fileLengths, companions, companionLengths};
    std::vector<SystemImage> images;
    PROGRAM_MEDIA_STATUS result =
        StartProgramming(sizeIndexes, slot, writeFiles != 0 ? &arguments : nullptr, set, images);
    return result == PROGRAM_MEDIA_OK ? FullUpdate(slot, set, images, phaseEvent) : result;
}
