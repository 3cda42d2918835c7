// Programming the system area: the firmware files of a set turned into device images and written
// into the boot window after the card information structure block and into the reserved area at
// the end of the medium, each block marked with its file's tag and each file's first block in the
// reserved area carrying the file's version. VxMp3ProgramQorvMedia (quick update) and
// VxMp3FatFormatEx (full update) are built on these operations; callers hold the library lock.
#pragma once

#include <span>
#include <vector>

#include "firmware_image/version.h"
#include "library/binary_files_information.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// A file's device image as it goes into its system blocks, and the file's version.
struct SystemImage {
    std::vector<UCHAR> bytes;  // empty for a file of length 0, which is not written
    firmware_image::FirmwareVersion version;
};

// Where WriteSystemFile looks for its blocks; the file writes after the boot copy start here at
// the latest, past the boot window.
inline constexpr ULONG SYSTEM_FILES_CURSOR = 100;

// Erases every block after the card information structure block that is free or holds a file of
// the set; a block that fails to erase becomes BLOCK_BAD. Fails only without a scanned table.
bool EraseAfterCis(UCHAR slot, const _BinaryFilesInformation* set);

// Lays the system area out anew (PrepareSystemArea) and writes every block of the boot window and
// of the reserved area as an empty system block of its code, so that the scans see it as system.
bool ClaimSystemArea(UCHAR slot, const _BinaryFilesInformation* set);

// Writes an image into the next blocks coded BLOCK_SYSTEM from `*cursor` on, each block verified
// by reading it back; a block that reads back different is retired as bad and its part of the
// image goes into the next one. The written blocks get `code`, and `*cursor` moves past them.
// `fileCount` only scales the progress.
bool WriteSystemFile(std::span<const UCHAR> image, UCHAR slot, UCHAR code, ULONG* cursor, ULONG fileCount);

// Writes the version words into pages 2 to 5 of the first block coded `code` in the reserved area.
bool WriteVersionMarkers(UCHAR slot, UCHAR code, const firmware_image::FirmwareVersion& version);

// Erases and writes as empty system blocks of `code` every good block from `start` (the reserved
// area's first block at the lowest) to the end of the medium.
bool ClaimRemainder(UCHAR slot, ULONG start, UCHAR code);

}  // namespace vxmp3
