#include "media_format/reserved_area.h"

#include <algorithm>
#include <limits>

namespace media_format {

uint32_t ReservedBlockCount(uint32_t totalKiloBytesReserved, uint32_t pageDataBytes, uint32_t pagesPerBlock) {
    const uint64_t blockBytes = uint64_t{pageDataBytes} * pagesPerBlock;
    if (totalKiloBytesReserved == 0 || blockBytes == 0) {
        return 0;
    }
    const uint64_t reservedBytes = uint64_t{totalKiloBytesReserved} * 1024;
    const uint64_t blocks = (reservedBytes + blockBytes - 1) / blockBytes;
    return static_cast<uint32_t>(std::min<uint64_t>(blocks, std::numeric_limits<uint32_t>::max()));
}

uint32_t ReservedBlockCount(uint32_t totalKiloBytesReserved, const Geometry& geometry) {
    return ReservedBlockCount(totalKiloBytesReserved, geometry.pageDataBytes, geometry.pagesPerBlock);
}

uint32_t DiskSectorCount(const Geometry& geometry, uint32_t reservedBlocks, bool mediumHoldsSystemBlocks) {
    if (!mediumHoldsSystemBlocks) {
        return geometry.sectors;
    }
    const uint64_t reservedSectors = uint64_t{reservedBlocks} * geometry.pagesPerBlock;
    return reservedSectors >= geometry.sectors ? 0
                                               : geometry.sectors - static_cast<uint32_t>(reservedSectors);
}

}  // namespace media_format
