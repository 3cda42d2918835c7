// Writing NAND pages with their redundant areas: each operation builds its pages in the slot's
// block buffer and sends them with NAND_WRITE_PAGE or NAND_WRITE_PAGES. Callers hold the library
// lock where their export takes it.
#pragma once

#include <span>

#include "media_format/geometry.h"
#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// The block number that WritePageWithEcc writes as 0x00 0x00 into both address fields (the card
// information structure page).
inline constexpr ULONG NO_LOGICAL_BLOCK = 0xFFFF;

// What WritePages puts into the redundant area of each page.
enum class PageWriteMode {
    // As WritePageWithEcc, every page carrying the same block address.
    DATA,
    // Zero data and an all-zero redundant area: the block is unusable for every reader.
    BAD_BLOCK,
    // Data and block status 0x00, no ECC; "QV" on page 0, 'M' and the file's tag on page 1.
    SYSTEM,
};

// One data page: the 512 bytes, statuses 0xFF, the ECC of both halves and the encoded logical
// block in both address fields (0x00 0x00 for NO_LOGICAL_BLOCK).
bool WritePageWithEcc(std::span<const UCHAR, media_format::kPageDataBytes> data, ULONG byteAddress,
                      ULONG logicalBlock, UCHAR slot);

// A marker page over an already programmed page: data all 0xFF (programming leaves the stored
// bits as they are), statuses 0x00 and `value` little-endian in redundant bytes 6..7.
bool WriteMarkerPage(ULONG byteAddress, USHORT value, UCHAR slot);

// `pageCount` consecutive pages of one block from `byteAddress`: 512 bytes of `source` each (not
// read in BAD_BLOCK mode), with the redundant area of `mode`. `logicalBlock` is used in DATA mode,
// `blockCode` (the file's block code) in SYSTEM mode. Fails when the pages do not fit the block
// buffer or the source is short.
bool WritePages(std::span<const UCHAR> source, ULONG pageCount, ULONG byteAddress, ULONG logicalBlock,
                PageWriteMode mode, UCHAR blockCode, UCHAR slot);

}  // namespace vxmp3
