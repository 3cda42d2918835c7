// The reserved area at the end of the medium that holds the player's system files, sized by the
// configuration value "TotalKiloBytesReserved", and the disk capacity that remains.
#pragma once

#include <cstdint>

#include "media_format/geometry.h"

namespace media_format {

// Blocks needed for the reserved kilobytes: ceiling(kiloBytes x 1024 / (pageDataBytes x pagesPerBlock)),
// 0 for 0 kilobytes. Computed without overflow for any 32-bit value.
uint32_t ReservedBlockCount(uint32_t totalKiloBytesReserved, uint32_t pageDataBytes, uint32_t pagesPerBlock);
uint32_t ReservedBlockCount(uint32_t totalKiloBytesReserved, const Geometry& geometry);

// Sectors of the disk: the geometry's sectors, less pagesPerBlock x reservedBlocks when the medium holds
// system blocks; never below 0 when the reservation exceeds the medium.
uint32_t DiskSectorCount(const Geometry& geometry, uint32_t reservedBlocks, bool mediumHoldsSystemBlocks);

}  // namespace media_format
