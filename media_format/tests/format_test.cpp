#include <gtest/gtest.h>

#include <array>
#include <string>

#include "media_format/block_address.h"
#include "media_format/cis.h"
#include "media_format/geometry.h"
#include "media_format/redundant_area.h"
#include "media_format/reserved_area.h"

namespace media_format {
namespace {

struct AddressCase {
    uint32_t logicalBlock;
    BlockAddressField field;
    uint32_t inZone;
};

TEST(BlockAddressTest, EncodesAndDecodesWithinTheZone) {
    const AddressCase cases[] = {
        {0, {0x10, 0x01}, 0},     {1, {0x10, 0x02}, 1},       {127, {0x10, 0xFE}, 127},
        {128, {0x11, 0x00}, 128}, {999, {0x17, 0xCF}, 999},   {1000, {0x10, 0x01}, 0},
        {1007, {0x10, 0x0E}, 7},  {31999, {0x17, 0xCF}, 999},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeBlockAddress(c.logicalBlock), c.field) << c.logicalBlock;
        EXPECT_EQ(DecodeBlockAddress(c.field), c.inZone) << c.logicalBlock;
    }
}

TEST(BlockAddressTest, DecodingIgnoresParityAndMarker) {
    EXPECT_EQ(DecodeBlockAddress({0x10, 0x00}), 0u);     // wrong parity
    EXPECT_EQ(DecodeBlockAddress({0x07, 0xCF}), 999u);   // no 0x10 marker
    EXPECT_EQ(DecodeBlockAddress({0x17, 0xFF}), 1023u);  // beyond the zone's logical blocks
    EXPECT_EQ(DecodeBlockAddress(kCisBlockAddress), 0u);
    EXPECT_TRUE(IsErasedBlockAddress({0xFF, 0xFF}));
    EXPECT_FALSE(IsErasedBlockAddress({0xFF, 0xFE}));
}

TEST(RedundantAreaTest, StatusTests) {
    const struct {
        uint8_t value;
        bool dataValid;
        bool blockGood;
    } cases[] = {
        {0xFF, true, true},   {0xFE, true, false},  {0xF8, true, false}, {0x7E, true, false},
        {0xF0, false, false}, {0x00, false, false}, {0xF7, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDataStatusValid(c.value), c.dataValid) << int{c.value};
        EXPECT_EQ(IsBlockStatusGood(c.value), c.blockGood) << int{c.value};
    }
}

TEST(RedundantAreaTest, SystemMarkers) {
    const std::array<uint8_t, 5> fileTags{'P', 0x00, 0x01, 0x02, 0x03};
    const struct {
        std::string name;
        BlockAddressField marker;
        bool library;
        bool miniport;
    } cases[] = {
        {"QV", {'Q', 'V'}, true, true},       {"MP", {'M', 'P'}, true, true},
        {"M/", {'M', '/'}, false, true},      {"MX", {'M', 'X'}, false, false},
        {"M 0x02", {'M', 0x02}, true, false}, {"M 0x04", {'M', 0x04}, false, false},
        {"QW", {'Q', 'W'}, false, false},     {"erased", {0xFF, 0xFF}, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLibrarySystemMarker(c.marker, fileTags), c.library) << c.name;
        EXPECT_EQ(IsMiniportSystemMarker(c.marker), c.miniport) << c.name;
    }
    EXPECT_FALSE(IsLibrarySystemMarker({'M', 0x02}, {}));
}

RedundantArea SystemArea(uint8_t blockStatus, BlockAddressField marker) {
    RedundantArea area{};
    area.reserved.fill(0xFF);
    area.blockStatus = blockStatus;
    area.blockAddress1 = marker;
    return area;
}

TEST(RedundantAreaTest, MiniportSystemBlockNeedsClearedBlockStatus) {
    EXPECT_TRUE(IsMiniportSystemBlock(SystemArea(0x00, {'M', 'P'})));
    EXPECT_FALSE(IsMiniportSystemBlock(SystemArea(0x00, {'M', 'X'})));
    EXPECT_FALSE(IsMiniportSystemBlock(SystemArea(0x01, {'Q', 'V'})));
}

TEST(RedundantAreaTest, DataPageLayout) {
    std::array<uint8_t, kPageDataBytes> data{};
    data[0] = 0x01;  // first half: AA AA AB; second half all zero: FF FF FF
    std::array<uint8_t, kRedundantBytes> bytes{};
    StoreRedundantArea(BuildDataPageRedundantArea(data, 128), bytes);
    const std::array<uint8_t, kRedundantBytes> expected{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x11, 0x00,
                                                        0xFF, 0xFF, 0xFF, 0x11, 0x00, 0xAA, 0xAA, 0xAB};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(RedundantAreaFromBytes(bytes).eccFirstHalf, (Ecc{0xAA, 0xAA, 0xAB}));
}

TEST(RedundantAreaTest, PageCheckCorrectsEachHalfAgainstItsOwnField) {
    std::array<uint8_t, kPageDataBytes> data{};
    for (uint32_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const RedundantArea area = BuildDataPageRedundantArea(data, 5);
    const auto original = data;
    data[300] ^= 0x10;
    PageEccCheck check = CheckAndCorrectPage(data, area);
    EXPECT_EQ(check.firstHalf, EccCheck::kGood);
    EXPECT_EQ(check.secondHalf, EccCheck::kCorrected);
    EXPECT_EQ(data, original);
    data[10] ^= 0x03;
    check = CheckAndCorrectPage(data, area);
    EXPECT_EQ(check.firstHalf, EccCheck::kUncorrectable);
    EXPECT_FALSE(check.IsGood());
}

TEST(CisTest, PageHoldsTheImageTwiceWithItsRedundantArea) {
    std::array<uint8_t, kPageBytes> page{};
    page.fill(0x5A);
    BuildCisPage(page);
    const auto image = CisImage();
    EXPECT_EQ(image[0], 0x01);
    EXPECT_EQ(image[110], 0x00);
    EXPECT_EQ(image[111], 0x00);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), page.begin()));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), page.begin() + kCisSecondCopyOffset));
    EXPECT_EQ(page[kCisImageBytes], 0x00);
    EXPECT_EQ(page[kPageDataBytes - 1], 0x00);
    const RedundantArea area = RedundantAreaFromBytes(std::span(page).last<kRedundantBytes>());
    EXPECT_EQ(area.dataStatus, 0xFF);
    EXPECT_EQ(area.blockStatus, 0xFF);
    EXPECT_EQ(area.blockAddress1, kCisBlockAddress);
    EXPECT_EQ(area.blockAddress2, kCisBlockAddress);
    auto data = std::span(page).first<kPageDataBytes>();
    EXPECT_TRUE(CheckAndCorrectPage(data, area).IsGood());
    EXPECT_FALSE(CheckAndCorrectPage(data, area).IsCorrected());
    EXPECT_TRUE(IsCisPageData(data));
    page[400] = 1;
    EXPECT_FALSE(IsCisPageData(data));
}

struct GeometryRow {
    uint32_t flashSizeIndex;
    uint32_t megabytes;
    uint32_t pagesPerBlock;
    uint32_t physicalBlocks;
    uint32_t zones;
    uint32_t logicalBlocks;
    uint32_t sectors;
};

TEST(GeometryTest, FlashRows) {
    const GeometryRow rows[] = {
        {0, 8, 16, 1024, 1, 1000, 16000},         {1, 16, 32, 1024, 1, 1000, 32000},
        {2, 32, 32, 2048, 2, 2000, 64000},        {4, 64, 32, 4096, 4, 4000, 128000},
        {8, 128, 32, 8192, 8, 8000, 256000},      {9, 144, 32, 9216, 9, 9000, 288000},
        {32, 512, 32, 32768, 32, 32000, 1024000},
    };
    for (const auto& row : rows) {
        const Geometry* geometry = GeometryOfFlashSizeIndex(row.flashSizeIndex);
        ASSERT_NE(geometry, nullptr) << row.flashSizeIndex;
        EXPECT_EQ(geometry->megabytes, row.megabytes);
        EXPECT_EQ(geometry->pagesPerBlock, row.pagesPerBlock);
        EXPECT_EQ(geometry->physicalBlocks, row.physicalBlocks);
        EXPECT_EQ(geometry->zones, row.zones);
        EXPECT_EQ(geometry->logicalBlocks, row.logicalBlocks);
        EXPECT_EQ(geometry->sectors, row.sectors);
        EXPECT_EQ(geometry->pageTransferBytes, 528);
        EXPECT_EQ(geometry->pageDataBytes, 512);
        EXPECT_TRUE(geometry->HasFlashSizeIndex());
        EXPECT_EQ(geometry->FlashSizeIndex(), row.flashSizeIndex);
        EXPECT_EQ(GeometryOfLibrarySizeIndex(row.flashSizeIndex + 3), geometry);
        const uint64_t fileBytes = uint64_t{row.physicalBlocks} * row.pagesPerBlock * 528;
        EXPECT_EQ(geometry->MediumBytes(), fileBytes);
        EXPECT_EQ(GeometryOfMediumBytes(fileBytes), geometry);
    }
}

TEST(GeometryTest, LibrarySmallRowsAndNone) {
    const struct {
        uint32_t sizeIndex;
        uint32_t megabytes;
        uint32_t physicalBlocks;
    } rows[] = {{0, 1, 256}, {1, 2, 512}, {2, 4, 512}};
    for (const auto& row : rows) {
        const Geometry* geometry = GeometryOfLibrarySizeIndex(row.sizeIndex);
        ASSERT_NE(geometry, nullptr);
        EXPECT_EQ(geometry->megabytes, row.megabytes);
        EXPECT_EQ(geometry->pagesPerBlock, 8);
        EXPECT_EQ(geometry->physicalBlocks, row.physicalBlocks);
        EXPECT_EQ(geometry->zonePhysicalBlocks, row.physicalBlocks);
        EXPECT_FALSE(geometry->HasFlashSizeIndex());
    }
    EXPECT_EQ(GeometryOfLibrarySizeIndex(kLibrarySizeIndexNone), nullptr);
    EXPECT_EQ(GeometryOfFlashSizeIndex(kFlashSizeIndexNone), nullptr);
    EXPECT_EQ(GeometryOfFlashSizeIndex(UINT32_MAX), nullptr);
    EXPECT_EQ(GeometryOfMediumBytes(0), nullptr);
    EXPECT_EQ(GeometryOfMediumBytes(1024ull * 16 * 512), nullptr);  // pages without redundant areas
    EXPECT_EQ(LibraryGeometries().size(), 36u);
}

TEST(ReservedAreaTest, BlockCounts) {
    const struct {
        uint32_t kiloBytes;
        uint32_t pagesPerBlock;
        uint32_t blocks;
    } cases[] = {
        {0, 32, 0},      {1, 32, 1},  {1000, 32, 63}, {1024, 32, 64},
        {1024, 16, 128}, {16, 32, 1}, {17, 32, 2},    {UINT32_MAX, 32, 268435456},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReservedBlockCount(c.kiloBytes, 512, c.pagesPerBlock), c.blocks) << c.kiloBytes;
    }
    EXPECT_EQ(ReservedBlockCount(1024, 0, 32), 0u);
    EXPECT_EQ(ReservedBlockCount(1024, *GeometryOfFlashSizeIndex(0)), 128u);
}

TEST(ReservedAreaTest, DiskSectorsLoseTheReservationOnlyWithSystemBlocks) {
    const Geometry& medium64 = *GeometryOfFlashSizeIndex(4);
    EXPECT_EQ(DiskSectorCount(medium64, 64, true), 125952u);
    EXPECT_EQ(DiskSectorCount(medium64, 64, false), 128000u);
    EXPECT_EQ(DiskSectorCount(medium64, 4000, true), 0u);
    EXPECT_EQ(DiskSectorCount(medium64, UINT32_MAX, true), 0u);
}

}  // namespace
}  // namespace media_format
