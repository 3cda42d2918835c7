// Writing the FAT volume into the first zone: the card information structure page, then the
// volume's first sectors page by page, each verified by reading it back.
#include <algorithm>
#include <array>
#include <optional>

#include "library/block_status.h"
#include "library/fat_builder.h"
#include "library/fat_layout.h"
#include "library/nand_operations.h"
#include "library/page_writer.h"
#include "library/progress.h"
#include "media_format/cis.h"

namespace vxmp3 {

namespace {

using media_format::Geometry;
using media_format::kPageDataBytes;
using Sector = std::array<UCHAR, kPageDataBytes>;

// The lowest block below `end` whose code is one of `codes`.
std::optional<ULONG> LowestBlock(const SlotMediaState& state, ULONG end, std::initializer_list<UCHAR> codes) {
    end = std::min(end, static_cast<ULONG>(state.blockStatus.size()));
    for (ULONG block = 0; block < end; ++block) {
        if (std::find(codes.begin(), codes.end(), state.blockStatus[block]) != codes.end()) {
            return block;
        }
    }
    return std::nullopt;
}

// Page 0 of the card information structure block, rewritten in the lowest block that is the CIS
// block or free.
bool RewriteCisBlock(SlotMediaState& state, const Geometry& geometry, UCHAR slot) {
    std::optional<ULONG> block = LowestBlock(state, geometry.physicalBlocks, {BLOCK_CIS, BLOCK_FREE});
    if (!block) {
        return false;
    }
    state.cisBlock = *block;
    state.blockStatus[*block] = BLOCK_CIS;
    ULONG status = 0;
    ULONG address = BlockByteAddress(geometry, *block);
    if (!EraseBlock(address, geometry.pagesPerBlock, slot, &status) || status != 0) {
        return false;
    }
    AddToProgress(1.0);
    std::array<UCHAR, media_format::kPageBytes> page{};
    media_format::BuildCisPage(page);
    if (!WritePageWithEcc(std::span(page).first<kPageDataBytes>(), address, NO_LOGICAL_BLOCK, slot)) {
        return false;
    }
    AddToProgress(1.0);
    return true;
}

enum class SectorWrite { VERIFIED, DIFFERS, FAILED };

// Writes one sector into its page and compares the page read back with it.
SectorWrite WriteVerifiedSector(const Sector& sector, ULONG byteAddress, ULONG logicalBlock, UCHAR slot) {
    Sector readBack{};
    if (!WritePageWithEcc(sector, byteAddress, logicalBlock, slot) ||
        !ReadPages(readBack, 1, byteAddress, slot)) {
        return SectorWrite::FAILED;
    }
    return readBack == sector ? SectorWrite::VERIFIED : SectorWrite::DIFFERS;
}

// Takes a block out of use after a failed verify: erased and zero-filled with an all-zero
// redundant area. An erase that cannot be sent still retires the block; one that fails on the
// medium leaves it in an unknown state and fails the format.
bool RetireBlock(SlotMediaState& state, const Geometry& geometry, ULONG block, UCHAR slot) {
    ULONG address = BlockByteAddress(geometry, block);
    ULONG status = 0;
    bool sent = EraseBlock(address, geometry.pagesPerBlock, slot, &status);
    state.blockStatus[block] = BLOCK_BAD;
    if (sent && status != 0) {
        return false;
    }
    return WritePages({}, geometry.pagesPerBlock, address, 0, PageWriteMode::BAD_BLOCK, BLOCK_BAD, slot);
}

}  // namespace

bool BuildFatVolume(UCHAR slot, bool reserveFlag) {
    SlotMediaState* state = MediaStateOfSlot(slot);
    const Geometry* geometry = state != nullptr ? ScannedGeometry(*state) : nullptr;
    const FatLayout* layout = geometry != nullptr ? FatLayoutOfSizeIndex(state->sizeIndex) : nullptr;
    if (layout == nullptr) {
        return false;
    }
    const ULONG pagesPerBlock = geometry->pagesPerBlock;
    const ULONG reserved = ReservedBlockCount(geometry->pageDataBytes, pagesPerBlock);
    const ULONG partitionSectors =
        PartitionSectors(*layout, *geometry, reserveFlag, reserved, state->reservedBlocksOnMedia);
    if (partitionSectors == 0 || !RewriteCisBlock(*state, *geometry, slot)) {
        return false;
    }
    const double step = PROGRESS_COMPLETE / (layout->lastSectorWritten + 2);
    Sector sector{};
    ULONG block = 0;
    for (ULONG s = 0; s <= layout->lastSectorWritten;) {
        const ULONG logicalBlock = s / pagesPerBlock;
        const ULONG page = s % pagesPerBlock;
        if (page == 0) {
            // The volume's logical blocks belong to the first zone, so their blocks must lie there.
            std::optional<ULONG> allocated = LowestBlock(*state, FIRST_ZONE_BLOCKS, {BLOCK_FREE});
            if (!allocated) {
                return false;
            }
            block = *allocated;
            state->blockStatus[block] = BLOCK_VOLUME;
        }
        BuildVolumeSector(*layout, partitionSectors, s, sector);
        ULONG address = BlockByteAddress(*geometry, block) + page * kPageDataBytes;
        switch (WriteVerifiedSector(sector, address, logicalBlock, slot)) {
            case SectorWrite::FAILED:
                return false;
            case SectorWrite::DIFFERS:
                if (!RetireBlock(*state, *geometry, block, slot)) {
                    return false;
                }
                s = logicalBlock * pagesPerBlock;
                break;
            case SectorWrite::VERIFIED:
                ++s;
                break;
        }
        AddToProgress(step);
    }
    return true;
}

}  // namespace vxmp3
