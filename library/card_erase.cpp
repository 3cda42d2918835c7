// Erasing a card: its leading file-system area before a format, or the whole card. Whole erase
// groups go by MMC_ERASE; the sectors short of a last whole group are written with zeros.
#include <algorithm>
#include <array>

#include "library/VxMp3.h"
#include "library/card_commands.h"
#include "library/progress.h"

namespace vxmp3 {

namespace {

constexpr ULONG kSectorsPerMegabyte = 1048576 / CARD_SECTOR_BYTES;
// Progress advances about this many times over the erased groups.
constexpr ULONG kProgressSteps = 100;
constexpr double kProgressStep = 1.0;

// The leading sectors that hold a card's file system, by the card's size in whole megabytes.
struct FileSystemArea {
    ULONG maxMegabytes;
    ULONG sectors;
};
constexpr std::array<FileSystemArea, 6> kFileSystemAreas{{
    {0, 48},
    {1, 32},
    {4, 48},
    {32, 64},
    {64, 96},
    {0xFFFFFFFF, 128},
}};

ULONG FileSystemAreaSectors(ULONG sectors) {
    // Megabytes from the sector count directly, so that a card of 4 GB or more does not wrap around
    // to a small size as sectors x 512 would in 32 bits.
    ULONG megabytes = sectors / kSectorsPerMegabyte;
    for (const auto& area : kFileSystemAreas) {
        if (megabytes <= area.maxMegabytes) {
            return area.sectors;
        }
    }
    return kFileSystemAreas.back().sectors;
}

// Clears sectors 0 .. count - 1: the whole erase groups that fit by MMC_ERASE, advancing the
// progress about kProgressSteps times, then the rest with zeros. Progress ends at 100.
bool ClearLeadingSectors(UCHAR card, ULONG count, double* progress) {
    UCHAR eraseGroup = DEFAULT_ERASE_GROUP_SECTORS;
    VxMp3MMCDetectMedia(card, nullptr, nullptr, nullptr, &eraseGroup);
    ULONG groupSectors = eraseGroup;
    ULONG groups = groupSectors != 0 ? count / groupSectors : 0;
    ULONG remaining = groupSectors != 0 ? count % groupSectors : count;
    ULONG interval = std::max<ULONG>(groups / kProgressSteps, 1);
    bool cleared = true;
    for (ULONG group = 0; group < groups && cleared; ++group) {
        cleared = VxMp3MMCErase(card, group * groupSectors, groupSectors, nullptr) != 0;
        if (cleared && (groups - 1 - group) % interval == 0) {
            AddToProgress(progress, kProgressStep);
        }
    }
    cleared = cleared && WriteZeroSectors(card, groups * groupSectors, remaining);
    SetProgressTo(progress, PROGRESS_COMPLETE);
    return cleared;
}

}  // namespace

}  // namespace vxmp3

using namespace vxmp3;

int VxMp3MMCEraseFileSystemSectors(UCHAR card, ULONG sectors, double* progress) {
    // A card smaller than its file-system area is cleared only as far as it reaches.
    return ClearLeadingSectors(card, std::min(FileSystemAreaSectors(sectors), sectors), progress) ? 1 : 0;
}

int VxMp3MMCEraseAllBlocks(UCHAR card, ULONG sectors, double* progress) {
    return ClearLeadingSectors(card, sectors, progress) ? 1 : 0;
}
