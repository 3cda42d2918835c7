// An offline reader of a whole medium (pages in order, 528 bytes each) for tools and tests: the block
// states, the card information structure block, the logical-to-physical view built from the address
// fields, and the logical disk as the miniport presents it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media_format/geometry.h"

namespace media_format {

// State of a physical block, from the redundant area of its first page.
enum class BlockState : uint8_t {
    kUnusable,  // block status not 0xFF, or a block before the card information structure block
    kSystem,    // unusable for data: block status 0x00 and a system marker ("QV", "MP", "M/")
    kCis,       // the card information structure block
    kFree,      // good, address field 0xFF 0xFF
    kInUse,     // good, any other address field
};

struct MediumSummary {
    const Geometry* geometry = nullptr;
    std::optional<uint32_t> cisBlock;  // none when the medium has no good block
    bool cisPageIntact = false;        // page 0 of the card information structure block holds the image
    uint32_t freeBlocks = 0;
    uint32_t inUseBlocks = 0;
    uint32_t unusableBlocks = 0;  // system blocks not included
    uint32_t systemBlocks = 0;
    uint32_t mappedLogicalBlocks = 0;
    uint32_t duplicateBlocks = 0;         // in use, but a later block carries the same logical block
    uint32_t outOfZoneAddressBlocks = 0;  // in use with an address 1000..1023: no logical block
    uint32_t reservedBlocks = 0;          // taken off the disk; 0 when the medium holds no system blocks
    uint32_t diskSectors = 0;
};

enum class SectorRead : uint8_t {
    kGood,
    kCorrected,      // a single-bit error was corrected in the data returned
    kUnmapped,       // no physical block holds the logical block; the data reads as 0xFF
    kBadStatus,      // the page's block status or data status is bad; the data is returned as stored
    kUncorrectable,  // the ECC found more than one wrong bit; the data is returned as stored
    kOutOfRange,     // beyond the disk; nothing is returned
};

// Counts of the sector outcomes of a longer read.
struct DiskReadReport {
    uint32_t sectors = 0;
    uint32_t corrected = 0;
    uint32_t unmapped = 0;
    uint32_t badStatus = 0;
    uint32_t uncorrectable = 0;

    bool AllReadable() const { return badStatus == 0 && uncorrectable == 0; }
};

class MediumReader {
  public:
    // Reads the block states and the mapping of a medium; its size selects the geometry. The reader keeps
    // the span: the bytes must outlive it. totalKiloBytesReserved is the configuration value (0 when
    // absent). Fails with a one-line message when the size matches no supported flash size.
    static std::optional<MediumReader> Open(std::span<const uint8_t> medium, uint32_t totalKiloBytesReserved,
                                            std::string& error);

    const Geometry& geometry() const { return *summary_.geometry; }
    const MediumSummary& Summary() const { return summary_; }
    uint32_t DiskSectors() const { return summary_.diskSectors; }

    // kUnusable for a block number beyond the medium.
    BlockState StateOfBlock(uint32_t physicalBlock) const;
    std::optional<uint32_t> PhysicalBlockOfLogicalBlock(uint32_t logicalBlock) const;

    // One 512-byte sector of the disk, checked and corrected as the miniport reads it.
    SectorRead ReadSector(uint32_t sector, std::span<uint8_t, kPageDataBytes> out) const;

    // count sectors from first into out (count x 512 bytes at least). Fails when the range leaves the disk
    // or the buffer is too small.
    std::optional<DiskReadReport> ReadSectors(uint32_t first, uint32_t count, std::span<uint8_t> out) const;

    // The whole disk, sector 0 first. Fails when the stream reports an error.
    std::optional<DiskReadReport> WriteDisk(std::ostream& out) const;

  private:
    MediumReader(std::span<const uint8_t> medium, const Geometry& geometry);
    void Scan(uint32_t totalKiloBytesReserved);
    // One page with its redundant area; callers pass only pages within the medium.
    std::span<const uint8_t, kPageBytes> Page(uint64_t physicalPage) const;

    static constexpr uint32_t kNoBlock = UINT32_MAX;

    std::span<const uint8_t> medium_;
    std::vector<BlockState> blockStates_;
    std::vector<uint32_t> logicalToPhysical_;
    MediumSummary summary_;
};

}  // namespace media_format
