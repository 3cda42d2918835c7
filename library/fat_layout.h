// The FAT12/FAT16 volume that the quick format writes, per flash size class: the layout table, the
// partition size rule, and the sectors of the volume's start (master boot record, boot sector,
// first FAT sectors). Laid out so that the data area and every cluster begin on an erase block.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "media_format/geometry.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// Head, sector (cylinder bits 8..9 in bits 6..7) and cylinder bits 0..7 of a partition entry.
using ChsBytes = std::array<UCHAR, 3>;

struct FatLayout {
    ULONG sizeIndex;
    UCHAR partitionType;  // 0x01 FAT12, 0x06 FAT16
    ChsBytes start;
    ChsBytes end;
    ULONG hiddenSectors;  // first sector of the partition: the boot sector
    ULONG totalSectors;   // partition size before the reservation is taken off
    UCHAR sectorsPerCluster;
    USHORT sectorsPerFat;
    USHORT sectorsPerTrack;
    USHORT heads;
    ULONG fat2Sector;
    ULONG lastSectorWritten;

    bool IsFat12() const { return partitionType == 0x01; }
    ULONG Fat1Sector() const { return hiddenSectors + 1; }
    ULONG RootDirectorySector() const { return fat2Sector + sectorsPerFat; }
};

// The row of a NAND size index 3..35, or nullptr.
const FatLayout* FatLayoutOfSizeIndex(ULONG sizeIndex);

// Sectors of the partition, written into the partition entry and the boot sector. With the reserve
// flag set, the table's total less `reservedBlocks` whole blocks; otherwise the logical blocks
// that the medium's own system area leaves, less the hidden sectors. 0 when the reservation leaves
// no room for the volume's first sectors.
ULONG PartitionSectors(const FatLayout& layout, const media_format::Geometry& geometry, bool reserveFlag,
                       ULONG reservedBlocks, ULONG reservedBlocksOnMedia);

// Sector `sector` (0 .. lastSectorWritten) of the volume: the master boot record, the boot sector,
// the first sector of each FAT, or zeros.
void BuildVolumeSector(const FatLayout& layout, ULONG partitionSectors, ULONG sector,
                       std::span<UCHAR, media_format::kPageDataBytes> out);

#pragma pack(push, 1)
struct PartitionEntry {
    UCHAR bootIndicator;  // 0x80: active
    ChsBytes start;
    UCHAR type;
    ChsBytes end;
    ULONG firstSector;
    ULONG sectors;
};
static_assert(sizeof(PartitionEntry) == 16);

struct MasterBootRecord {
    UCHAR code[446];
    PartitionEntry partitions[4];
    UCHAR signature[2];  // 0x55 0xAA
};
static_assert(sizeof(MasterBootRecord) == 512);
static_assert(offsetof(MasterBootRecord, partitions) == 446);

struct FatBootSector {
    UCHAR jump[3];  // 0xE9 0x00 0x00
    char oemName[8];
    USHORT bytesPerSector;
    UCHAR sectorsPerCluster;
    USHORT reservedSectors;
    UCHAR fatCount;
    USHORT rootEntries;
    USHORT smallSectorCount;  // partition size below 65536 sectors (size indexes 3..5), else 0
    UCHAR mediaDescriptor;
    USHORT sectorsPerFat;
    USHORT sectorsPerTrack;
    USHORT heads;
    ULONG hiddenSectors;
    ULONG largeSectorCount;  // partition size from size index 6 on, else 0
    UCHAR unused[18];
    char fileSystemType[8];
    UCHAR bootCode[448];
    UCHAR signature[2];
};
static_assert(sizeof(FatBootSector) == 512);
static_assert(offsetof(FatBootSector, bytesPerSector) == 11);
static_assert(offsetof(FatBootSector, smallSectorCount) == 19);
static_assert(offsetof(FatBootSector, sectorsPerFat) == 22);
static_assert(offsetof(FatBootSector, hiddenSectors) == 28);
static_assert(offsetof(FatBootSector, largeSectorCount) == 32);
static_assert(offsetof(FatBootSector, fileSystemType) == 54);
static_assert(offsetof(FatBootSector, signature) == 510);
#pragma pack(pop)

}  // namespace vxmp3
