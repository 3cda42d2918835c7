#include "library/size_index.h"

#include <array>

#include "media_format/geometry.h"

namespace vxmp3 {

namespace {

// The NAND size index of a capacity, from the geometry table; none for sizes it does not have.
ULONG SizeIndexOfMegabytes(ULONG megabytes) {
    for (const auto& row : media_format::LibraryGeometries()) {
        if (row.HasFlashSizeIndex() && row.megabytes == megabytes) {
            return row.librarySizeIndex;
        }
    }
    return SIZE_INDEX_NONE;
}

struct DeviceCode {
    UCHAR code;
    ULONG megabytes;
};
constexpr std::array<DeviceCode, 5> kDeviceCodes{{
    {0xE6, 8},
    {0x73, 16},
    {0x75, 32},
    {0x76, 64},
    {0x79, 128},
}};

// Card classes: the largest capacity in megabytes of each, and its size index.
struct CardClass {
    ULONG maxMegabytes;
    ULONG sizeIndex;
};
constexpr std::array<CardClass, 10> kCardClasses{{
    {1, 0},
    {2, 1},
    {4, 2},
    {8, 3},
    {16, 4},
    {32, 5},
    {64, 7},
    {128, 11},
    {256, 19},
    {512, 35},
}};

}  // namespace

ULONG SizeIndexOfNandId(UCHAR maker, UCHAR device) {
    if (maker == 0) {
        // The device byte is the size in 4 MB units.
        return SizeIndexOfMegabytes(ULONG{device} * 4);
    }
    for (const auto& entry : kDeviceCodes) {
        if (entry.code == device) {
            return SizeIndexOfMegabytes(entry.megabytes);
        }
    }
    return SIZE_INDEX_NONE;
}

ULONG SizeIndexOfCardCapacity(ULONG sectors) {
    // Megabytes rounded down; 2048 sectors make a megabyte, so a card of 4 GB or more does not wrap
    // around to a small size as the product sectors x 512 would in 32 bits.
    ULONG megabytes = sectors / 2048;
    for (const auto& entry : kCardClasses) {
        if (megabytes <= entry.maxMegabytes) {
            return entry.sizeIndex;
        }
    }
    return SIZE_INDEX_NONE;
}

}  // namespace vxmp3
