// Geometry of the NAND media: page and block sizes, zones, and the table of supported sizes in the
// miniport's numbering (flash size index) and in the library's numbering (size index).
#pragma once

#include <cstdint>
#include <span>

namespace media_format {

inline constexpr uint32_t kPageDataBytes = 512;
inline constexpr uint32_t kRedundantBytes = 16;
inline constexpr uint32_t kPageBytes = kPageDataBytes + kRedundantBytes;  // 528, one page on the wire

// A zone is 1024 physical blocks that carry 1000 logical blocks; a logical block never leaves its zone.
inline constexpr uint32_t kZonePhysicalBlocks = 1024;
inline constexpr uint32_t kZoneLogicalBlocks = 1000;

// The miniport's flash size index: capacity / 16 MB, 0 for 8 MB, 33 for no usable medium.
inline constexpr uint32_t kFlashSizeIndexCount = 33;
inline constexpr uint32_t kFlashSizeIndexNone = 33;

// The library's size index: the flash size index + 3; 0..2 are small media, 36 is no medium.
inline constexpr uint32_t kLibrarySizeIndexOffset = 3;
inline constexpr uint32_t kLibrarySizeIndexCount = 36;
inline constexpr uint32_t kLibrarySizeIndexNone = 36;

struct Geometry {
    uint32_t librarySizeIndex;    // 0..35
    uint32_t megabytes;           // nominal capacity
    uint16_t pageTransferBytes;   // 528: data and redundant area
    uint16_t pageDataBytes;       // 512
    uint8_t pagesPerBlock;        // 8, 16 or 32
    uint32_t physicalBlocks;      // whole medium
    uint32_t logicalBlocks;       // blocks of the disk before any reservation
    uint32_t zones;               // zones of the medium
    uint32_t zonePhysicalBlocks;  // physical blocks per zone (the whole medium on small media)
    uint32_t zoneLogicalBlocks;   // logical blocks per zone
    uint32_t sectors;             // logicalBlocks x pagesPerBlock: the disk before any reservation

    // True for the rows that the miniport knows (library size index 3..35).
    bool HasFlashSizeIndex() const { return librarySizeIndex >= kLibrarySizeIndexOffset; }
    // Only meaningful when HasFlashSizeIndex().
    uint32_t FlashSizeIndex() const { return librarySizeIndex - kLibrarySizeIndexOffset; }
    uint32_t BlockDataBytes() const { return uint32_t{pagesPerBlock} * kPageDataBytes; }
    uint64_t PhysicalPages() const { return uint64_t{physicalBlocks} * pagesPerBlock; }
    // Size of a medium file of this geometry: every page with its redundant area.
    uint64_t MediumBytes() const { return PhysicalPages() * kPageBytes; }
};

// The row of a flash size index 0..32, or nullptr (33 = none, and anything larger).
const Geometry* GeometryOfFlashSizeIndex(uint32_t flashSizeIndex);

// The row of a library size index 0..35, or nullptr (36 = none, and anything larger).
const Geometry* GeometryOfLibrarySizeIndex(uint32_t librarySizeIndex);

// The NAND row (flash size index 0..32) whose medium file has exactly this many bytes, or nullptr.
const Geometry* GeometryOfMediumBytes(uint64_t mediumBytes);

// All rows in library order, small media first.
std::span<const Geometry> LibraryGeometries();

}  // namespace media_format
