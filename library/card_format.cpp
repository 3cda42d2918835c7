// The card format: a FAT12 or FAT16 volume of 32-sector clusters in one partition that starts at
// sector 1 and fills the card, written sector by sector with the card commands.
#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <span>

#include "library/VxMp3.h"
#include "library/card_commands.h"
#include "library/progress.h"
#include "platform/base/endian.h"

namespace vxmp3 {

namespace {

using platform::StoreLe16;
using platform::StoreLe32;

struct PartitionEntry {
    UCHAR bootIndicator;
    UCHAR firstChs[3];
    UCHAR type;
    UCHAR lastChs[3];
    UCHAR firstSector[4];
    UCHAR sectorCount[4];
};
static_assert(sizeof(PartitionEntry) == 16);

struct MasterBootRecord {
    UCHAR code[446];
    PartitionEntry partitions[4];
    UCHAR signature[2];
};
static_assert(sizeof(MasterBootRecord) == CARD_SECTOR_BYTES);
static_assert(offsetof(MasterBootRecord, partitions) == 446);
static_assert(offsetof(MasterBootRecord, signature) == 510);

struct BootSector {
    UCHAR jump[3];
    UCHAR oemName[8];
    UCHAR bytesPerSector[2];
    UCHAR sectorsPerCluster;
    UCHAR reservedSectors[2];
    UCHAR fatCount;
    UCHAR rootEntries[2];
    UCHAR totalSectors16[2];
    UCHAR media;
    UCHAR sectorsPerFat[2];
    UCHAR sectorsPerTrack[2];
    UCHAR heads[2];
    UCHAR hiddenSectors[4];
    UCHAR totalSectors32[4];
    UCHAR driveNumber;
    UCHAR reserved;
    UCHAR extendedSignature;
    UCHAR volumeId[4];
    UCHAR volumeLabel[11];
    UCHAR fileSystemType[8];
    UCHAR code[448];
    UCHAR signature[2];
};
static_assert(sizeof(BootSector) == CARD_SECTOR_BYTES);
static_assert(offsetof(BootSector, bytesPerSector) == 11);
static_assert(offsetof(BootSector, totalSectors16) == 19);
static_assert(offsetof(BootSector, sectorsPerFat) == 22);
static_assert(offsetof(BootSector, hiddenSectors) == 28);
static_assert(offsetof(BootSector, totalSectors32) == 32);
static_assert(offsetof(BootSector, extendedSignature) == 38);
static_assert(offsetof(BootSector, volumeLabel) == 43);
static_assert(offsetof(BootSector, fileSystemType) == 54);
static_assert(offsetof(BootSector, signature) == 510);

using Sector = std::array<UCHAR, CARD_SECTOR_BYTES>;

constexpr ULONG kFirstPartitionSector = 1;
constexpr ULONG kClusterSectors = 32;
constexpr ULONG kReservedSectors = 1;
constexpr ULONG kFatCount = 2;
constexpr ULONG kRootEntries = 256;
constexpr ULONG kRootSectors = kRootEntries * 32 / CARD_SECTOR_BYTES;
// Partitions of more sectors than this get FAT16.
constexpr ULONG kLargestFat12Partition = 131072;
// Cluster counts beyond these are read as the next wider FAT by every FAT driver.
constexpr ULONG kMostFat12Clusters = 4084;
constexpr ULONG kMostFat16Clusters = 65524;
// FAT entries 0 and 1 hold the media byte and the end mark, not clusters.
constexpr ULONG kReservedFatEntries = 2;
constexpr UCHAR kMediaFixedDisk = 0xF8;
constexpr UCHAR kPartitionActive = 0x80;
constexpr UCHAR kPartitionFat16 = 0x06;
constexpr UCHAR kPartitionFat12 = 0x01;
constexpr UCHAR kExtendedBootSignature = 0x29;
constexpr std::array<UCHAR, 3> kJump{0xEB, 0x00, 0x90};
constexpr std::array<UCHAR, 2> kSectorSignature{0x55, 0xAA};
constexpr std::array<UCHAR, 4> kFat16Head{0xF8, 0xFF, 0xFF, 0xFF};
constexpr std::array<UCHAR, 4> kFat12Head{0xF8, 0xFF, 0xFF, 0x00};

// The layout of the volume on a card: the partition's sectors n, the FAT width and F sectors per
// FAT, both FATs from sector 2 and the root directory after them.
struct CardVolume {
    ULONG partitionSectors;
    bool fat16;
    ULONG fatSectors;

    ULONG FirstFatSector(ULONG fat) const {
        return kFirstPartitionSector + kReservedSectors + fat * fatSectors;
    }
    ULONG FirstRootSector() const { return FirstFatSector(kFatCount); }
};

// Sectors of a FAT that holds an entry for each of `clusters` clusters and the two reserved ones.
ULONG FatSectorsFor(ULONG clusters, bool fat16) {
    ULONG entries = clusters + kReservedFatEntries;
    ULONG bytes = fat16 ? entries * 2 : (entries * 3 + 1) / 2;
    return (bytes + CARD_SECTOR_BYTES - 1) / CARD_SECTOR_BYTES;
}

ULONG DataClusters(ULONG partitionSectors, ULONG fatSectors) {
    ULONG metadata = kReservedSectors + kFatCount * fatSectors + kRootSectors;
    return partitionSectors > metadata ? (partitionSectors - metadata) / kClusterSectors : 0;
}

// The FAT is sized for every 32-sector cluster of the partition, rounded up. A FAT12 layout whose
// cluster count would make it read as FAT16 becomes FAT16; a card whose volume cannot be valid in
// either width (a few sizes near 64 MB, no data cluster, cards above 1 GB) gets none.
std::optional<CardVolume> LayOutCardVolume(ULONG sectors) {
    if (sectors <= kFirstPartitionSector) {
        return std::nullopt;
    }
    ULONG partitionSectors = sectors - kFirstPartitionSector;
    ULONG clusters = partitionSectors / kClusterSectors + (partitionSectors % kClusterSectors != 0 ? 1 : 0);
    CardVolume volume{partitionSectors, partitionSectors > kLargestFat12Partition, 0};
    volume.fatSectors = FatSectorsFor(clusters, volume.fat16);
    if (!volume.fat16 && DataClusters(partitionSectors, volume.fatSectors) > kMostFat12Clusters) {
        volume.fat16 = true;
        volume.fatSectors = FatSectorsFor(clusters, true);
    }
    ULONG dataClusters = DataClusters(partitionSectors, volume.fatSectors);
    bool fits = volume.fat16 ? dataClusters > kMostFat12Clusters && dataClusters <= kMostFat16Clusters
                             : dataClusters > 0;
    return fits ? std::optional<CardVolume>(volume) : std::nullopt;
}

template <typename Record>
Sector SectorOf(const Record& record) {
    static_assert(sizeof(Record) == CARD_SECTOR_BYTES);
    Sector sector{};
    std::memcpy(sector.data(), &record, sizeof record);
    return sector;
}

template <std::size_t N>
void Fill(UCHAR (&field)[N], std::span<const UCHAR> bytes) {
    std::memcpy(field, bytes.data(), N);
}
template <std::size_t N>
void FillText(UCHAR (&field)[N], const char* text) {
    std::memcpy(field, text, N);
}

Sector BuildMasterBootRecord(const CardVolume& volume) {
    MasterBootRecord record{};
    PartitionEntry& partition = record.partitions[0];
    partition.bootIndicator = kPartitionActive;
    partition.type = volume.fat16 ? kPartitionFat16 : kPartitionFat12;
    StoreLe32(partition.firstSector, kFirstPartitionSector);
    StoreLe32(partition.sectorCount, volume.partitionSectors);
    Fill(record.signature, kSectorSignature);
    return SectorOf(record);
}

Sector BuildBootSector(const CardVolume& volume) {
    BootSector boot{};
    Fill(boot.jump, kJump);
    FillText(boot.oemName, "        ");
    StoreLe16(boot.bytesPerSector, CARD_SECTOR_BYTES);
    boot.sectorsPerCluster = kClusterSectors;
    StoreLe16(boot.reservedSectors, kReservedSectors);
    boot.fatCount = kFatCount;
    StoreLe16(boot.rootEntries, kRootEntries);
    bool small = volume.partitionSectors < 0x10000;
    StoreLe16(boot.totalSectors16, small ? static_cast<std::uint16_t>(volume.partitionSectors) : 0);
    boot.media = kMediaFixedDisk;
    StoreLe16(boot.sectorsPerFat, static_cast<std::uint16_t>(volume.fatSectors));
    StoreLe16(boot.sectorsPerTrack, 1);
    StoreLe16(boot.heads, 1);
    StoreLe32(boot.hiddenSectors, kFirstPartitionSector);
    StoreLe32(boot.totalSectors32, small ? 0 : volume.partitionSectors);
    boot.extendedSignature = kExtendedBootSignature;
    FillText(boot.volumeLabel, "           ");
    FillText(boot.fileSystemType, volume.fat16 ? "FAT16   " : "FAT12   ");
    Fill(boot.signature, kSectorSignature);
    return SectorOf(boot);
}

// The first sector of a FAT: the media byte and the end marks of entries 0 and 1.
Sector BuildFatHead(const CardVolume& volume) {
    Sector sector{};
    const auto& head = volume.fat16 ? kFat16Head : kFat12Head;
    std::memcpy(sector.data(), head.data(), head.size());
    return sector;
}

bool WriteSector(UCHAR card, ULONG number, Sector sector) {
    return VxMp3MMCWriteBlock(card, number, sector.data()) != 0;
}

bool WriteCardVolume(UCHAR card, const CardVolume& volume) {
    Sector fatHead = BuildFatHead(volume);
    return WriteSector(card, 0, BuildMasterBootRecord(volume)) &&
           WriteSector(card, kFirstPartitionSector, BuildBootSector(volume)) &&
           WriteZeroSectors(card, volume.FirstFatSector(0), kFatCount * volume.fatSectors) &&
           WriteSector(card, volume.FirstFatSector(0), fatHead) &&
           WriteSector(card, volume.FirstFatSector(1), fatHead) &&
           WriteZeroSectors(card, volume.FirstRootSector(), kRootSectors);
}

// Block writes carry no status, so an absent card, or one smaller than the volume, would take them
// without a word: the card must answer and hold all of the volume's sectors.
bool CardHolds(UCHAR card, ULONG sectors) {
    ULONG capacity = 0;
    return VxMp3MMCDetectMedia(card, &capacity, nullptr, nullptr, nullptr) != 0 && capacity >= sectors;
}

}  // namespace

}  // namespace vxmp3

using namespace vxmp3;

int VxMp3MMCFormat(UCHAR card, ULONG sectors, double* progress) {
    std::optional<CardVolume> volume = LayOutCardVolume(sectors);
    bool written = volume.has_value() && CardHolds(card, sectors) && WriteCardVolume(card, *volume);
    SetProgressTo(progress, PROGRESS_COMPLETE);
    return written ? 1 : 0;
}
