// The NAND read and erase operations that the block status scan, the formats and the version
// reader build on. Callers hold the library lock where their export takes it.
#pragma once

#include <span>

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

// NAND_READ_PAGES of `pageCount` pages from `byteAddress` into the slot's block buffer. With a
// destination, the 512 data bytes of each page are copied to it, pages packed; the redundant
// areas stay in the block buffer. Fails when the pages do not fit the block buffer or the
// destination.
bool ReadPages(std::span<UCHAR> destination, ULONG pageCount, ULONG byteAddress, UCHAR slot);

// NAND_READ_BLOCK_STATUS of `blockCount` blocks from `byteAddress` straight into the destination:
// 6 bytes per block, the read rounded up to 64 bytes, which the destination must hold.
bool ReadBlockStatus(std::span<UCHAR> destination, ULONG blockCount, ULONG byteAddress, ULONG pagesPerBlock,
                     UCHAR slot);

// NAND_ERASE_BLOCK: true when the command went through; `status` is reply word 0 (nonzero: the
// erase failed on the medium).
bool EraseBlock(ULONG byteAddress, ULONG pagesPerBlock, UCHAR slot, ULONG* status);

}  // namespace vxmp3
