#include "player/nand_medium.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include "player/memory_card.h"
#include "player/tests/test_support.h"

namespace player {
namespace {

const media_format::Geometry& Row(std::uint32_t flashSizeIndex) {
    return *media_format::GeometryOfFlashSizeIndex(flashSizeIndex);
}

TEST(NandMedium, ProgrammingOnlyClearsBitsAndEraseSetsTheBlockToFF) {
    testing::TempFolder folder;
    std::string error;
    auto medium = NandMedium::Create(folder.File("m.nand"), Row(1), {}, error);
    ASSERT_TRUE(medium) << error;

    std::vector<std::uint8_t> first(PAGE_BYTES, 0xF0);
    std::vector<std::uint8_t> second(PAGE_BYTES, 0x3C);
    medium->ProgramPage(40, first);
    medium->ProgramPage(40, second);
    EXPECT_EQ(medium->Page(40)[0], 0x30);
    EXPECT_EQ(medium->Page(40)[PAGE_BYTES - 1], 0x30);  // the redundant area too
    EXPECT_EQ(medium->Page(39)[0], 0xFF);

    medium->EraseBlock(1);  // pages 32..63
    for (std::uint64_t page = 32; page < 64; ++page) {
        EXPECT_EQ(medium->Page(page)[0], 0xFF);
        EXPECT_EQ(medium->Page(page)[PAGE_BYTES - 1], 0xFF);
    }
}

TEST(NandMedium, ChangesAreInTheFileAndSurviveReopening) {
    testing::TempFolder folder;
    const std::string path = folder.File("m.nand");
    std::string error;
    {
        auto medium = NandMedium::Create(path, Row(0), {}, error);
        ASSERT_TRUE(medium) << error;
        std::vector<std::uint8_t> data(PAGE_BYTES, 0x5A);
        medium->ProgramPage(17, data);
    }
    EXPECT_EQ(std::filesystem::file_size(path), 1024u * 16 * 528);
    auto reopened = NandMedium::Open(path, error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_EQ(reopened->PagesPerBlock(), 16u);
    EXPECT_EQ(reopened->BlockCount(), 1024u);
    EXPECT_EQ(reopened->Page(17)[100], 0x5A);
    EXPECT_EQ(reopened->Page(18)[100], 0xFF);
}

TEST(NandMedium, GeometryFollowsTheFileSize) {
    struct Case {
        std::uint32_t flashSizeIndex;
        std::uint32_t pagesPerBlock;
        std::uint32_t blocks;
    };
    for (const Case& c : {Case{0, 16, 1024}, Case{1, 32, 1024}, Case{3, 32, 3072}}) {
        testing::TempFolder folder;
        std::string error;
        ASSERT_TRUE(NandMedium::Create(folder.File("m.nand"), Row(c.flashSizeIndex), {}, error)) << error;
        auto medium = NandMedium::Open(folder.File("m.nand"), error);
        ASSERT_TRUE(medium) << error;
        EXPECT_EQ(medium->PagesPerBlock(), c.pagesPerBlock);
        EXPECT_EQ(medium->BlockCount(), c.blocks);
    }
}

TEST(NandMedium, FactoryBadBlocksCarryBlockStatusZeroOnTheirFirstTwoPages) {
    testing::TempFolder folder;
    std::string error;
    const std::array<std::uint32_t, 2> bad{3, 1023};
    auto medium = NandMedium::Create(folder.File("m.nand"), Row(1), bad, error);
    ASSERT_TRUE(medium) << error;
    EXPECT_EQ(medium->Page(3 * 32)[BLOCK_STATUS_OFFSET], 0x00);
    EXPECT_EQ(medium->Page(3 * 32 + 1)[BLOCK_STATUS_OFFSET], 0x00);
    EXPECT_EQ(medium->Page(3 * 32 + 2)[BLOCK_STATUS_OFFSET], 0xFF);
    EXPECT_EQ(medium->Page(3 * 32)[BLOCK_STATUS_OFFSET - 1], 0xFF);  // data status untouched
    EXPECT_EQ(medium->Page(1023 * 32 + 1)[BLOCK_STATUS_OFFSET], 0x00);
    EXPECT_EQ(medium->Page(4 * 32)[BLOCK_STATUS_OFFSET], 0xFF);
}

TEST(NandMedium, RefusesBadInput) {
    testing::TempFolder folder;
    std::string error;
    const std::array<std::uint32_t, 1> outside{1024};
    EXPECT_FALSE(NandMedium::Create(folder.File("m.nand"), Row(1), outside, error));
    EXPECT_NE(error.find("outside"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder.File("m.nand")));

    EXPECT_FALSE(NandMedium::Open(folder.File("missing.nand"), error));
    ASSERT_TRUE(MemoryCard::Create(folder.File("odd.nand"), 3, error));  // 1536 bytes: no medium size
    EXPECT_FALSE(NandMedium::Open(folder.File("odd.nand"), error));
    EXPECT_NE(error.find("no known medium size"), std::string::npos);
}

TEST(MemoryCard, SectorsRoundTripThroughTheFileAndEraseToZero) {
    testing::TempFolder folder;
    std::string error;
    {
        auto card = MemoryCard::Create(folder.File("c.img"), 64, error);
        ASSERT_TRUE(card) << error;
        EXPECT_EQ(card->SectorCount(), 64u);
        std::array<std::uint8_t, CARD_SECTOR_BYTES> data;
        data.fill(0xA5);
        card->WriteSector(5, data);
        card->WriteSector(6, data);
        card->EraseSectors(6, 6);
    }
    auto card = MemoryCard::Open(folder.File("c.img"), error);
    ASSERT_TRUE(card) << error;
    EXPECT_EQ(card->Sector(5)[511], 0xA5);
    EXPECT_EQ(card->Sector(6)[0], 0x00);
    EXPECT_EQ(card->Sector(4)[0], 0x00);
}

}  // namespace
}  // namespace player
