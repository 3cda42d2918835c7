#include "library/fat_layout.h"

#include <algorithm>
#include <cstring>

namespace vxmp3 {

namespace {

constexpr UCHAR FAT12 = 0x01;
constexpr UCHAR FAT16 = 0x06;

// The values stand as the player's formats have always written them, including the CHS ends that
// disagree with the sector counts (144, 272 and 288 MB) and the 16 sectors per track at 144 MB:
// no reader of the medium takes the geometry from them.
constexpr std::array<FatLayout, 33> kLayouts{{
    {3, FAT12, {1, 10, 0}, {3, 16, 249}, 25, 15975, 16, 3, 16, 4, 29, 63},
    {4, FAT12, {2, 10, 0}, {3, 80, 243}, 41, 31959, 32, 3, 16, 4, 45, 95},
    {5, FAT12, {2, 4, 0}, {7, 80, 243}, 35, 63965, 32, 6, 16, 8, 42, 95},
    {6, FAT12, {3, 14, 0}, {7, 144, 237}, 61, 95939, 32, 9, 16, 8, 71, 127},
    {7, FAT12, {1, 24, 0}, {7, 96, 243}, 55, 127945, 32, 12, 32, 8, 68, 127},
    {8, FAT16, {1, 8, 0}, {7, 160, 112}, 39, 159961, 32, 20, 32, 8, 60, 127},
    {9, FAT16, {2, 0, 0}, {7, 160, 237}, 63, 191937, 32, 24, 32, 8, 88, 160},
    {10, FAT16, {1, 24, 0}, {7, 224, 106}, 55, 223945, 32, 28, 32, 8, 84, 160},
    {11, FAT16, {1, 16, 0}, {15, 96, 243}, 47, 255953, 32, 32, 32, 16, 80, 127},
    {12, FAT16, {2, 8, 0}, {15, 160, 49}, 39, 287961, 32, 36, 16, 16, 76, 160},
    {13, FAT16, {2, 0, 0}, {15, 160, 112}, 63, 319937, 32, 40, 32, 16, 104, 192},
    {14, FAT16, {1, 26, 0}, {15, 160, 174}, 57, 351687, 32, 43, 32, 16, 101, 192},
    {15, FAT16, {1, 18, 0}, {15, 160, 237}, 49, 383951, 32, 47, 32, 16, 97, 192},
    {16, FAT16, {1, 10, 0}, {15, 224, 43}, 41, 415703, 32, 51, 32, 16, 93, 192},
    {17, FAT16, {1, 2, 0}, {15, 224, 106}, 33, 447967, 32, 55, 32, 16, 89, 192},
    {18, FAT16, {1, 26, 0}, {15, 224, 168}, 57, 479687, 32, 59, 32, 16, 117, 224},
    {19, FAT16, {1, 18, 0}, {15, 224, 231}, 49, 511951, 32, 63, 32, 16, 113, 224},
    {20, FAT16, {1, 10, 0}, {15, 224, 37}, 41, 543703, 32, 67, 32, 16, 109, 224},
    {21, FAT16, {1, 2, 0}, {31, 160, 49}, 33, 575967, 32, 71, 32, 32, 105, 224},
    {22, FAT16, {1, 26, 0}, {31, 160, 80}, 57, 607175, 32, 75, 32, 32, 133, 256},
    {23, FAT16, {1, 18, 0}, {31, 160, 112}, 49, 639951, 32, 79, 32, 32, 129, 256},
    {24, FAT16, {1, 12, 0}, {31, 160, 143}, 43, 671701, 32, 82, 32, 32, 126, 256},
    {25, FAT16, {1, 4, 0}, {31, 160, 174}, 35, 703453, 32, 86, 32, 32, 122, 256},
    {26, FAT16, {1, 28, 0}, {31, 160, 205}, 59, 735173, 32, 90, 32, 32, 150, 288},
    {27, FAT16, {1, 20, 0}, {31, 160, 237}, 51, 767949, 32, 94, 32, 32, 146, 288},
    {28, FAT16, {1, 12, 0}, {31, 224, 12}, 43, 799701, 32, 98, 32, 32, 142, 288},
    {29, FAT16, {1, 4, 0}, {31, 224, 43}, 35, 831453, 32, 102, 32, 32, 138, 288},
    {30, FAT16, {1, 28, 0}, {31, 224, 74}, 59, 863173, 32, 106, 32, 32, 166, 320},
    {31, FAT16, {1, 20, 0}, {31, 224, 106}, 51, 895949, 32, 110, 32, 32, 162, 320},
    {32, FAT16, {1, 12, 0}, {31, 224, 137}, 43, 927701, 32, 114, 32, 32, 158, 320},
    {33, FAT16, {1, 4, 0}, {31, 224, 168}, 35, 959453, 32, 118, 32, 32, 154, 320},
    {34, FAT16, {1, 30, 0}, {31, 224, 199}, 61, 991171, 32, 121, 32, 32, 183, 352},
    {35, FAT16, {1, 22, 0}, {31, 224, 231}, 53, 1023947, 32, 125, 32, 32, 179, 352},
}};

// Size indexes up to this one carry the partition size in the 16-bit field of the boot sector.
constexpr ULONG kLastSmallSectorCountIndex = 5;
constexpr UCHAR kActivePartition = 0x80;
constexpr UCHAR kMediaDescriptor = 0xF8;
constexpr USHORT kRootEntries = 256;
constexpr ULONG kRootDirectorySectors = kRootEntries * 32 / media_format::kPageDataBytes;
constexpr std::array<UCHAR, 4> kFat12FirstBytes{0xF8, 0xFF, 0xFF, 0x00};
constexpr std::array<UCHAR, 4> kFat16FirstBytes{0xF8, 0xFF, 0xFF, 0xFF};

void SetSignature(UCHAR (&signature)[2]) {
    signature[0] = 0x55;
    signature[1] = 0xAA;
}

MasterBootRecord BuildMasterBootRecord(const FatLayout& layout, ULONG partitionSectors) {
    MasterBootRecord record{};
    PartitionEntry& entry = record.partitions[0];
    entry.bootIndicator = kActivePartition;
    entry.start = layout.start;
    entry.type = layout.partitionType;
    entry.end = layout.end;
    entry.firstSector = layout.hiddenSectors;
    entry.sectors = partitionSectors;
    SetSignature(record.signature);
    return record;
}

FatBootSector BuildBootSector(const FatLayout& layout, ULONG partitionSectors) {
    FatBootSector boot{};
    boot.jump[0] = 0xE9;
    std::memset(boot.oemName, ' ', sizeof boot.oemName);
    boot.bytesPerSector = media_format::kPageDataBytes;
    boot.sectorsPerCluster = layout.sectorsPerCluster;
    boot.reservedSectors = 1;
    boot.fatCount = 2;
    boot.rootEntries = kRootEntries;
    if (layout.sizeIndex <= kLastSmallSectorCountIndex) {
        boot.smallSectorCount = static_cast<USHORT>(partitionSectors);
    } else {
        boot.largeSectorCount = partitionSectors;
    }
    boot.mediaDescriptor = kMediaDescriptor;
    boot.sectorsPerFat = layout.sectorsPerFat;
    boot.sectorsPerTrack = layout.sectorsPerTrack;
    boot.heads = layout.heads;
    boot.hiddenSectors = layout.hiddenSectors;
    std::memcpy(boot.fileSystemType, layout.IsFat12() ? "FAT12   " : "FAT16   ", sizeof boot.fileSystemType);
    SetSignature(boot.signature);
    return boot;
}

template <typename Record>
void StoreSector(const Record& record, std::span<UCHAR, media_format::kPageDataBytes> out) {
    static_assert(sizeof(Record) == media_format::kPageDataBytes);
    std::memcpy(out.data(), &record, sizeof record);
}

}  // namespace

const FatLayout* FatLayoutOfSizeIndex(ULONG sizeIndex) {
    auto found = std::find_if(kLayouts.begin(), kLayouts.end(),
                              [sizeIndex](const FatLayout& layout) { return layout.sizeIndex == sizeIndex; });
    return found != kLayouts.end() ? &*found : nullptr;
}

ULONG PartitionSectors(const FatLayout& layout, const media_format::Geometry& geometry, bool reserveFlag,
                       ULONG reservedBlocks, ULONG reservedBlocksOnMedia) {
    // The partition must at least hold the sectors that the format writes after the boot sector.
    const unsigned long long minimum =
        layout.RootDirectorySector() + kRootDirectorySectors - layout.hiddenSectors;
    const unsigned long long pagesPerBlock = geometry.pagesPerBlock;
    long long sectors = 0;
    if (reserveFlag) {
        sectors = static_cast<long long>(layout.totalSectors) -
                  static_cast<long long>(reservedBlocks * pagesPerBlock);
    } else {
        sectors = (static_cast<long long>(geometry.logicalBlocks) - reservedBlocksOnMedia) *
                      static_cast<long long>(pagesPerBlock) -
                  layout.hiddenSectors;
    }
    return sectors >= static_cast<long long>(minimum) ? static_cast<ULONG>(sectors) : 0;
}

void BuildVolumeSector(const FatLayout& layout, ULONG partitionSectors, ULONG sector,
                       std::span<UCHAR, media_format::kPageDataBytes> out) {
    std::fill(out.begin(), out.end(), UCHAR{0});
    if (sector == 0) {
        StoreSector(BuildMasterBootRecord(layout, partitionSectors), out);
    } else if (sector == layout.hiddenSectors) {
        StoreSector(BuildBootSector(layout, partitionSectors), out);
    } else if (sector == layout.Fat1Sector() || sector == layout.fat2Sector) {
        const auto& first = layout.IsFat12() ? kFat12FirstBytes : kFat16FirstBytes;
        std::copy(first.begin(), first.end(), out.begin());
    }
}

}  // namespace vxmp3
