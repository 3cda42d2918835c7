#include "media_format/medium_reader.h"

#include <algorithm>
#include <array>
#include <ostream>

#include "media_format/cis.h"
#include "media_format/redundant_area.h"
#include "media_format/reserved_area.h"

namespace media_format {
namespace {

void CountOutcome(SectorRead outcome, DiskReadReport& report) {
    ++report.sectors;
    switch (outcome) {
        case SectorRead::kCorrected:
            ++report.corrected;
            break;
        case SectorRead::kUnmapped:
            ++report.unmapped;
            break;
        case SectorRead::kBadStatus:
            ++report.badStatus;
            break;
        case SectorRead::kUncorrectable:
            ++report.uncorrectable;
            break;
        case SectorRead::kGood:
        case SectorRead::kOutOfRange:
            break;
    }
}

}  // namespace

std::optional<MediumReader> MediumReader::Open(std::span<const uint8_t> medium,
                                               uint32_t totalKiloBytesReserved, std::string& error) {
    const Geometry* geometry = GeometryOfMediumBytes(medium.size());
    if (geometry == nullptr) {
        error = "a medium of " + std::to_string(medium.size()) + " bytes matches no supported flash size";
        return std::nullopt;
    }
    MediumReader reader(medium, *geometry);
    reader.Scan(totalKiloBytesReserved);
    return reader;
}

MediumReader::MediumReader(std::span<const uint8_t> medium, const Geometry& geometry)
    : medium_(medium),
      blockStates_(geometry.physicalBlocks, BlockState::kUnusable),
      logicalToPhysical_(geometry.logicalBlocks, kNoBlock) {
    summary_.geometry = &geometry;
}

std::span<const uint8_t, kPageBytes> MediumReader::Page(uint64_t physicalPage) const {
    return medium_.subspan(physicalPage * kPageBytes).first<kPageBytes>();
}

// Classifies every block by its first page, in ascending order, and places each in-use block in its
// zone's part of the table; a later block wins over an earlier one with the same address.
void MediumReader::Scan(uint32_t totalKiloBytesReserved) {
    const Geometry& geo = geometry();
    for (uint32_t block = 0; block < geo.physicalBlocks; ++block) {
        const auto page = Page(uint64_t{block} * geo.pagesPerBlock);
        const RedundantArea area = RedundantAreaFromBytes(page.last<kRedundantBytes>());
        BlockState& state = blockStates_[block];
        if (!summary_.cisBlock) {
            if (IsBlockStatusGood(area.blockStatus) && IsDataStatusValid(area.dataStatus)) {
                state = BlockState::kCis;
                summary_.cisBlock = block;
                summary_.cisPageIntact = IsCisPageData(page.first<kPageDataBytes>());
            } else {
                ++summary_.unusableBlocks;
            }
            continue;
        }
        if (!IsBlockStatusGood(area.blockStatus)) {
            const bool system = IsMiniportSystemBlock(area);
            state = system ? BlockState::kSystem : BlockState::kUnusable;
            ++(system ? summary_.systemBlocks : summary_.unusableBlocks);
            continue;
        }
        if (IsErasedBlockAddress(area.blockAddress1)) {
            state = BlockState::kFree;
            ++summary_.freeBlocks;
            continue;
        }
        state = BlockState::kInUse;
        ++summary_.inUseBlocks;
        const uint32_t inZone = DecodeBlockAddress(area.blockAddress1);
        if (inZone >= geo.zoneLogicalBlocks) {
            ++summary_.outOfZoneAddressBlocks;
            continue;
        }
        uint32_t& entry = logicalToPhysical_[block / geo.zonePhysicalBlocks * geo.zoneLogicalBlocks + inZone];
        summary_.duplicateBlocks += entry != kNoBlock ? 1 : 0;
        entry = block;
    }
    summary_.mappedLogicalBlocks = static_cast<uint32_t>(std::count_if(
        logicalToPhysical_.begin(), logicalToPhysical_.end(), [](uint32_t p) { return p != kNoBlock; }));
    const bool holdsSystemBlocks = summary_.systemBlocks > 0;
    summary_.reservedBlocks = holdsSystemBlocks ? ReservedBlockCount(totalKiloBytesReserved, geo) : 0;
    summary_.diskSectors = DiskSectorCount(geo, summary_.reservedBlocks, holdsSystemBlocks);
}

BlockState MediumReader::StateOfBlock(uint32_t physicalBlock) const {
    return physicalBlock < blockStates_.size() ? blockStates_[physicalBlock] : BlockState::kUnusable;
}

std::optional<uint32_t> MediumReader::PhysicalBlockOfLogicalBlock(uint32_t logicalBlock) const {
    if (logicalBlock >= logicalToPhysical_.size() || logicalToPhysical_[logicalBlock] == kNoBlock) {
        return std::nullopt;
    }
    return logicalToPhysical_[logicalBlock];
}

SectorRead MediumReader::ReadSector(uint32_t sector, std::span<uint8_t, kPageDataBytes> out) const {
    if (sector >= summary_.diskSectors) {
        return SectorRead::kOutOfRange;
    }
    const uint32_t pagesPerBlock = geometry().pagesPerBlock;
    const std::optional<uint32_t> block = PhysicalBlockOfLogicalBlock(sector / pagesPerBlock);
    if (!block) {
        std::fill(out.begin(), out.end(), uint8_t{0xFF});
        return SectorRead::kUnmapped;
    }
    const auto page = Page(uint64_t{*block} * pagesPerBlock + sector % pagesPerBlock);
    const auto data = page.first<kPageDataBytes>();
    std::copy(data.begin(), data.end(), out.begin());
    const RedundantArea area = RedundantAreaFromBytes(page.last<kRedundantBytes>());
    if (!IsBlockStatusGood(area.blockStatus) || !IsDataStatusValid(area.dataStatus)) {
        return SectorRead::kBadStatus;
    }
    const PageEccCheck check = CheckAndCorrectPage(out, area);
    if (!check.IsGood()) {
        std::copy(data.begin(), data.end(), out.begin());
        return SectorRead::kUncorrectable;
    }
    return check.IsCorrected() ? SectorRead::kCorrected : SectorRead::kGood;
}

std::optional<DiskReadReport> MediumReader::ReadSectors(uint32_t first, uint32_t count,
                                                        std::span<uint8_t> out) const {
    if (first > summary_.diskSectors || count > summary_.diskSectors - first ||
        out.size() / kPageDataBytes < count) {
        return std::nullopt;
    }
    DiskReadReport report;
    for (uint32_t i = 0; i < count; ++i) {
        CountOutcome(ReadSector(first + i, out.subspan(uint64_t{i} * kPageDataBytes).first<kPageDataBytes>()),
                     report);
    }
    return report;
}

std::optional<DiskReadReport> MediumReader::WriteDisk(std::ostream& out) const {
    std::array<uint8_t, kPageDataBytes> sector;
    DiskReadReport report;
    for (uint32_t s = 0; s < summary_.diskSectors; ++s) {
        CountOutcome(ReadSector(s, sector), report);
        out.write(reinterpret_cast<const char*>(sector.data()), sector.size());
        if (!out) {
            return std::nullopt;
        }
    }
    return report;
}

}  // namespace media_format
