// The block status table of a NAND slot: the code of every physical block, built by scanning the
// medium's redundant areas, and the reserved area at the end of the medium that holds the
// player's system files. The file system builder and the system-area programming read and update
// the table between the scan and VxMp3FreeMemoryDevice.
#pragma once

#include <span>

#include "library/binary_files_information.h"
#include "library/media_state.h"
#include "media_format/geometry.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// Block status codes, one byte per physical block. A system file's blocks carry the code of the
// file's tag (BlockCodeOfTag).
inline constexpr UCHAR BLOCK_BAD = 0x00;
inline constexpr UCHAR BLOCK_VOLUME = 0x01;  // allocated by the format for a logical block of the volume
inline constexpr UCHAR BLOCK_CIS = 0x02;
inline constexpr UCHAR BLOCK_SYSTEM = 0x03;
inline constexpr UCHAR BLOCK_FREE = 0xFF;

// The boot manager's tag; its blocks carry BLOCK_SYSTEM.
inline constexpr UCHAR BOOT_MANAGER_TAG = 'P';

// The first zone: the volume's logical blocks live there, and the quick format erases it.
inline constexpr ULONG FIRST_ZONE_BLOCKS = 1024;

// 0x03 for 'P', tag + 4 otherwise (on 8 bits); and back.
UCHAR BlockCodeOfTag(UCHAR tag);
UCHAR TagOfBlockCode(UCHAR code);

// The tags of the files of a set (none for a missing set).
std::span<const UCHAR> FileTags(const _BinaryFilesInformation* files);

// The geometry of the slot's medium as its last scan recorded it; nullptr when the slot has no
// scanned NAND medium (no medium, no table, or a card slot).
const media_format::Geometry* ScannedGeometry(const SlotMediaState& state);
// Byte address of a block's first page on the slot's medium.
ULONG BlockByteAddress(const media_format::Geometry& geometry, ULONG block);

// Scans the medium of slot 0 and builds its table. Blocks before the card information structure
// block are destroyed (erased and zero-filled). A size index of 36 or more succeeds without
// building anything.
bool BuildBlockStatusTable(ULONG sizeIndex, UCHAR slot, const _BinaryFilesInformation* files);

// Gives each system block after the card information structure block the code of the file whose
// markers it carries; blocks without readable, matching markers keep BLOCK_SYSTEM.
void LabelSystemBlocks(UCHAR slot, const _BinaryFilesInformation* files);

// Sets the table up for writing the system files anew: the boot window after the card information
// structure block gets the boot manager's code, the reserved area BLOCK_SYSTEM.
void PrepareSystemArea(UCHAR slot, const _BinaryFilesInformation* files);

// Blocks reserved at the end of a medium with this page data size and block size for the
// configured "TotalKiloBytesReserved", read now.
ULONG ReservedBlockCount(ULONG bytesPerPage, ULONG pagesPerBlock);

// True when the medium's run of system blocks at its end has the configured size.
bool ReservedAreaMatches(UCHAR slot);

// Releases the slot's block buffer and status table.
void FreeSlotMedia(SlotMediaState& state);

}  // namespace vxmp3
