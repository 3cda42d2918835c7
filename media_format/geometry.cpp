#include "media_format/geometry.h"

#include <array>

namespace media_format {
namespace {

struct SmallMedium {
    uint32_t megabytes;
    uint32_t physicalBlocks;
    uint32_t logicalBlocks;
};

// The library's rows for 1, 2 and 4 MB media: 8 pages per block, one zone covering the medium. The
// logical block counts follow the same proportion of spare blocks as SmartMedia cards of those sizes.
constexpr std::array<SmallMedium, kLibrarySizeIndexOffset> kSmallMedia{{
    {1, 256, 250},
    {2, 512, 500},
    {4, 512, 500},
}};

constexpr Geometry SmallRow(uint32_t librarySizeIndex) {
    const SmallMedium& medium = kSmallMedia[librarySizeIndex];
    constexpr uint8_t kPagesPerBlock = 8;
    return Geometry{librarySizeIndex,
                    medium.megabytes,
                    static_cast<uint16_t>(kPageBytes),
                    static_cast<uint16_t>(kPageDataBytes),
                    kPagesPerBlock,
                    medium.physicalBlocks,
                    medium.logicalBlocks,
                    1,
                    medium.physicalBlocks,
                    medium.logicalBlocks,
                    medium.logicalBlocks * kPagesPerBlock};
}

// Flash size index n: 8 MB with 16-page blocks for n = 0, else n x 16 MB with 32-page blocks, n zones.
constexpr Geometry FlashRow(uint32_t flashSizeIndex) {
    const uint32_t zones = flashSizeIndex == 0 ? 1 : flashSizeIndex;
    const uint8_t pagesPerBlock = flashSizeIndex == 0 ? 16 : 32;
    const uint32_t logicalBlocks = zones * kZoneLogicalBlocks;
    return Geometry{flashSizeIndex + kLibrarySizeIndexOffset,
                    flashSizeIndex == 0 ? 8 : flashSizeIndex * 16,
                    static_cast<uint16_t>(kPageBytes),
                    static_cast<uint16_t>(kPageDataBytes),
                    pagesPerBlock,
                    zones * kZonePhysicalBlocks,
                    logicalBlocks,
                    zones,
                    kZonePhysicalBlocks,
                    kZoneLogicalBlocks,
                    logicalBlocks * pagesPerBlock};
}

constexpr std::array<Geometry, kLibrarySizeIndexCount> BuildTable() {
    std::array<Geometry, kLibrarySizeIndexCount> table{};
    for (uint32_t index = 0; index < kLibrarySizeIndexCount; ++index) {
        table[index] =
            index < kLibrarySizeIndexOffset ? SmallRow(index) : FlashRow(index - kLibrarySizeIndexOffset);
    }
    return table;
}

constexpr std::array<Geometry, kLibrarySizeIndexCount> kGeometries = BuildTable();

static_assert(kGeometries[kLibrarySizeIndexOffset].sectors == 16000);
static_assert(kGeometries[kLibrarySizeIndexOffset + 9].physicalBlocks == 9216);
static_assert(kGeometries[kLibrarySizeIndexCount - 1].sectors == 1024000);

}  // namespace

const Geometry* GeometryOfFlashSizeIndex(uint32_t flashSizeIndex) {
    if (flashSizeIndex >= kFlashSizeIndexCount) {
        return nullptr;
    }
    return &kGeometries[flashSizeIndex + kLibrarySizeIndexOffset];
}

const Geometry* GeometryOfLibrarySizeIndex(uint32_t librarySizeIndex) {
    if (librarySizeIndex >= kLibrarySizeIndexCount) {
        return nullptr;
    }
    return &kGeometries[librarySizeIndex];
}

const Geometry* GeometryOfMediumBytes(uint64_t mediumBytes) {
    for (uint32_t index = kLibrarySizeIndexOffset; index < kLibrarySizeIndexCount; ++index) {
        if (kGeometries[index].MediumBytes() == mediumBytes) {
            return &kGeometries[index];
        }
    }
    return nullptr;
}

std::span<const Geometry> LibraryGeometries() {
    return kGeometries;
}

}  // namespace media_format
