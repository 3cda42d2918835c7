// The block status scan and the table operations around it, with the exports that build and free
// a slot's table.
#include "library/block_status.h"

#include <algorithm>
#include <new>
#include <vector>

#include "library/VxMp3.h"
#include "library/nand_operations.h"
#include "library/packets.h"
#include "library/page_writer.h"
#include "library/progress.h"
#include "library/reserved_kilobytes.h"
#include "library/size_index.h"
#include "media_format/redundant_area.h"
#include "media_format/reserved_area.h"

namespace vxmp3 {

namespace {

using media_format::Geometry;

constexpr ULONG kPhaseInitializing = 1;
constexpr ULONG kPhaseScanning = 2;
// Block status records fetched per NAND_READ_BLOCK_STATUS.
constexpr ULONG kBlocksPerStatusRead = 256;
// Blocks of the boot window after the card information structure block.
constexpr ULONG kBootWindowBlocks = 3;

// One block's record of a NAND_READ_BLOCK_STATUS reply: bytes 4..9 of its first page's redundant
// area.
struct BlockStatusRecord {
    UCHAR dataStatus;
    UCHAR blockStatus;
    media_format::BlockAddressField address;
    UCHAR eccBytes[2];
};
static_assert(sizeof(BlockStatusRecord) == BLOCK_STATUS_RECORD_BYTES);

bool IsNandSlot(UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    return device != nullptr && device->type == MEMORY_DEVICE_NAND;
}

// Destroys a block before the card information structure block: erased, then every page written
// with zeros and an all-zero redundant area, so that no reader takes it for the CIS block.
bool DestroyBlock(const Geometry& geometry, ULONG block, UCHAR slot) {
    ULONG status = 0;
    ULONG address = BlockByteAddress(geometry, block);
    return EraseBlock(address, geometry.pagesPerBlock, slot, &status) && status == 0 &&
           WritePages({}, geometry.pagesPerBlock, address, 0, PageWriteMode::BAD_BLOCK, BLOCK_BAD, slot);
}

// The code of a block after the card information structure block.
UCHAR CodeOfRecord(const BlockStatusRecord& record, std::span<const UCHAR> tags) {
    if (record.blockStatus == media_format::kBlockStatusGood) {
        return BLOCK_FREE;
    }
    if (record.blockStatus == media_format::kStatusCleared &&
        media_format::IsLibrarySystemMarker(record.address, tags)) {
        return BLOCK_SYSTEM;
    }
    return BLOCK_BAD;
}

bool CountsAsReservable(UCHAR code) {
    return code == BLOCK_FREE || code == BLOCK_SYSTEM;
}

// The system blocks in the run of non-free blocks at the end of the medium (block 0 not counted).
ULONG CountReservedBlocksOnMedia(const std::vector<UCHAR>& codes) {
    ULONG count = 0;
    for (ULONG block = static_cast<ULONG>(codes.size()) - 1; block >= 1 && codes[block] != BLOCK_FREE;
         --block) {
        count += codes[block] == BLOCK_SYSTEM ? 1 : 0;
    }
    return count;
}

// The block at which the count of free and system blocks, from the last block down, reaches
// `reserved`; the last block when it never does.
ULONG FindFirstReservedBlock(const std::vector<UCHAR>& codes, ULONG reserved) {
    ULONG last = static_cast<ULONG>(codes.size()) - 1;
    ULONG counted = 0;
    for (ULONG block = last; reserved != 0 && block >= 1; --block) {
        counted += CountsAsReservable(codes[block]) ? 1 : 0;
        if (counted == reserved) {
            return block;
        }
    }
    return last;
}

// The buffers of a scan, allocated afresh; false (nothing kept) when memory runs out.
bool AllocateTables(SlotMediaState& state, const Geometry& geometry, std::vector<UCHAR>& records) {
    try {
        state.blockBuffer.assign(std::size_t{geometry.pagesPerBlock} * media_format::kPageBytes, 0xFF);
        state.blockStatus.assign(geometry.physicalBlocks, BLOCK_BAD);
        records.assign(kBlocksPerStatusRead * BLOCK_STATUS_RECORD_BYTES, 0);
        return true;
    } catch (const std::bad_alloc&) {
        FreeSlotMedia(state);
        return false;
    }
}

// Reads the records of blocks first .. first + 255 (fewer at the end of the medium).
bool ReadStatusRecords(const Geometry& geometry, ULONG first, UCHAR slot, std::vector<UCHAR>& records) {
    ULONG count = std::min(kBlocksPerStatusRead, geometry.physicalBlocks - first);
    return ReadBlockStatus(records, count, BlockByteAddress(geometry, first), geometry.pagesPerBlock, slot);
}

BlockStatusRecord RecordOfBlock(const std::vector<UCHAR>& records, ULONG block) {
    BlockStatusRecord record;
    std::copy_n(records.data() + (block % kBlocksPerStatusRead) * BLOCK_STATUS_RECORD_BYTES,
                BLOCK_STATUS_RECORD_BYTES, reinterpret_cast<UCHAR*>(&record));
    return record;
}

}  // namespace

UCHAR BlockCodeOfTag(UCHAR tag) {
    return tag == BOOT_MANAGER_TAG ? BLOCK_SYSTEM : static_cast<UCHAR>(tag + 4);
}

UCHAR TagOfBlockCode(UCHAR code) {
    return code == BLOCK_SYSTEM ? BOOT_MANAGER_TAG : static_cast<UCHAR>(code - 4);
}

std::span<const UCHAR> FileTags(const _BinaryFilesInformation* files) {
    if (files == nullptr) {
        return {};
    }
    return {files->fileTag, std::min(files->numberOfBinaryFiles, MAX_BINARY_FILES)};
}

const Geometry* ScannedGeometry(const SlotMediaState& state) {
    const Geometry* geometry = media_format::GeometryOfLibrarySizeIndex(state.sizeIndex);
    if (geometry == nullptr || state.blockStatus.size() != geometry->physicalBlocks ||
        state.blockBuffer.size() < std::size_t{geometry->pagesPerBlock} * media_format::kPageBytes) {
        return nullptr;
    }
    return geometry;
}

ULONG BlockByteAddress(const Geometry& geometry, ULONG block) {
    return block * geometry.BlockDataBytes();
}

bool BuildBlockStatusTable(ULONG sizeIndex, UCHAR slot, const _BinaryFilesInformation* files) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    if (slot != 0 || state == nullptr) {
        return false;
    }
    state->sizeIndex = sizeIndex;
    state->reservedBlocksOnMedia = 0;
    const Geometry* geometry = media_format::GeometryOfLibrarySizeIndex(sizeIndex);
    if (sizeIndex >= SIZE_INDEX_NONE || geometry == nullptr) {
        return true;
    }
    FreeSlotMedia(*state);
    std::vector<UCHAR> records;
    if (!AllocateTables(*state, *geometry, records)) {
        return false;
    }
    const double step = PROGRESS_COMPLETE / geometry->physicalBlocks;
    const bool showProgress = CurrentPhase() == kPhaseScanning;
    const std::span<const UCHAR> tags = FileTags(files);
    bool cisFound = false;
    for (ULONG block = 0; block < geometry->physicalBlocks; ++block) {
        if (block % kBlocksPerStatusRead == 0 && !ReadStatusRecords(*geometry, block, slot, records)) {
            return false;
        }
        BlockStatusRecord record = RecordOfBlock(records, block);
        UCHAR& code = state->blockStatus[block];
        if (cisFound) {
            code = CodeOfRecord(record, tags);
        } else if (record.blockStatus == media_format::kBlockStatusGood &&
                   media_format::IsDataStatusValid(record.dataStatus)) {
            code = BLOCK_CIS;
            state->cisBlock = block;
            cisFound = true;
        } else {
            if (!DestroyBlock(*geometry, block, slot)) {
                return false;
            }
            code = BLOCK_BAD;
        }
        if (showProgress) {
            AddToProgress(step);
        }
    }
    state->reservedBlocksOnMedia = CountReservedBlocksOnMedia(state->blockStatus);
    state->firstReservedBlock = FindFirstReservedBlock(
        state->blockStatus, ReservedBlockCount(geometry->pageDataBytes, geometry->pagesPerBlock));
    return true;
}

void LabelSystemBlocks(UCHAR slot, const _BinaryFilesInformation* files) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    if (geometry == nullptr) {
        return;
    }
    const std::span<const UCHAR> tags = FileTags(files);
    for (ULONG block = state->cisBlock + 1; block < geometry->physicalBlocks; ++block) {
        if (state->blockStatus[block] != BLOCK_SYSTEM ||
            !ReadPages({}, 2, BlockByteAddress(*geometry, block), slot)) {
            continue;
        }
        auto markerOfPage = [&](ULONG page) {
            const UCHAR* bytes = state->blockBuffer.data() + page * media_format::kPageBytes +
                                 media_format::kPageDataBytes +
                                 offsetof(media_format::RedundantArea, blockAddress1);
            return media_format::BlockAddressField{bytes[0], bytes[1]};
        };
        media_format::BlockAddressField fileMarker = markerOfPage(1);
        if (markerOfPage(0) == media_format::kSystemMarkerQV &&
            fileMarker[0] == media_format::kSystemMarkerFilePrefix &&
            std::find(tags.begin(), tags.end(), fileMarker[1]) != tags.end()) {
            state->blockStatus[block] = BlockCodeOfTag(fileMarker[1]);
        }
    }
}

void PrepareSystemArea(UCHAR slot, const _BinaryFilesInformation* files) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    if (geometry == nullptr) {
        return;
    }
    auto& codes = state->blockStatus;
    auto markReservedArea = [&](UCHAR code) {
        for (ULONG block = state->firstReservedBlock; block < codes.size(); ++block) {
            codes[block] = codes[block] != BLOCK_BAD ? code : BLOCK_BAD;
        }
    };
    markReservedArea(BLOCK_FREE);
    ULONG bootManager = files != nullptr ? files->bootManagerFileNumber : 0;
    UCHAR bootCode = bootManager >= 1 && bootManager <= FileTags(files).size()
                         ? BlockCodeOfTag(files->fileTag[bootManager - 1])
                         : BLOCK_SYSTEM;
    ULONG claimed = 0;
    for (ULONG block = state->cisBlock + 1; block < codes.size() && claimed < kBootWindowBlocks; ++block) {
        if (codes[block] != BLOCK_BAD) {
            codes[block] = bootCode;
            ++claimed;
        }
    }
    markReservedArea(BLOCK_SYSTEM);
}

ULONG ReservedBlockCount(ULONG bytesPerPage, ULONG pagesPerBlock) {
    return media_format::ReservedBlockCount(ReadTotalKiloBytesReserved(), bytesPerPage, pagesPerBlock);
}

bool ReservedAreaMatches(UCHAR slot) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    return geometry != nullptr && state->reservedBlocksOnMedia ==
                                      ReservedBlockCount(geometry->pageDataBytes, geometry->pagesPerBlock);
}

void FreeSlotMedia(SlotMediaState& state) {
    state.blockBuffer = {};
    state.blockStatus = {};
}

}  // namespace vxmp3

using namespace vxmp3;

PROGRAM_MEDIA_STATUS VxMp3BuildBlockStatus(ULONG* sizeIndexes, UCHAR slot, int /*reserved*/,
                                           _BinaryFilesInformation* files, HANDLE phaseEvent) {
    if (!IsNandSlot(slot)) {
        return MemoryDeviceOfSlot(slot) != nullptr ? PROGRAM_MEDIA_OK : PROGRAM_MEDIA_NO_DEVICE;
    }
    if (sizeIndexes == nullptr) {
        return PROGRAM_MEDIA_NO_DEVICE;
    }
    const bool announce = CurrentPhase() == kPhaseInitializing;
    if (announce) {
        AnnouncePhase(kPhaseScanning, 0.0, phaseEvent);
    }
    if (!BuildBlockStatusTable(sizeIndexes[slot], slot, files)) {
        return PROGRAM_MEDIA_NO_DEVICE;
    }
    if (announce) {
        AnnouncePhase(kPhaseScanning, PROGRESS_COMPLETE, phaseEvent);
    }
    return PROGRAM_MEDIA_OK;
}

int VxMp3FreeMemoryDevice(UCHAR slot) {
    if (IsNandSlot(slot)) {
        FreeSlotMedia(*MediaStateOfSlot(slot));
    }
    return 1;
}

UCHAR VxMp3FatPrepareSupported(UCHAR slot) {
    const MemoryDevice* device = MemoryDeviceOfSlot(slot);
    return device != nullptr && device->type == MEMORY_DEVICE_MMC ? 0 : 1;
}
