#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "player/new_player.h"
#include "player/player_config.h"
#include "player/player_info.h"
#include "player/tests/test_support.h"

namespace player {
namespace {

using testing::Exchange;
using testing::Packet;

TEST(PlayerConfig, RoundTripsThroughItsText) {
    PlayerConfig config;
    config.settings.variant = ChipVariant::VARIANT_8200;
    config.settings.releaseNumber = 0x0213;
    config.settings.dccRunning = true;
    config.settings.nandSerial = "SN-77";
    config.settings.batteryLow = true;
    config.settings.nandId = {NandIdForm::EXPLICIT, {0xEC, 0x42}};
    config.settings.parameters = {{0, 0x100}, {1, 0x101}};
    config.cardFile = "card.img";
    config.cardRegisters.csd.fill(0xAB);
    config.cardRegisters.eraseGroupSectors = 48;

    std::string error;
    auto parsed = ParsePlayerConfig(FormatPlayerConfig(config), error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->settings.variant, ChipVariant::VARIANT_8200);
    EXPECT_EQ(parsed->settings.releaseNumber, 0x0213);
    EXPECT_TRUE(parsed->settings.dccRunning);
    EXPECT_EQ(parsed->settings.nandSerial, "SN-77");
    EXPECT_TRUE(parsed->settings.batteryLow);
    EXPECT_EQ(parsed->settings.nandId.form, NandIdForm::EXPLICIT);
    EXPECT_EQ(parsed->settings.nandId.explicitId, (NandId{0xEC, 0x42}));
    EXPECT_EQ(parsed->settings.parameters, config.settings.parameters);
    EXPECT_EQ(parsed->cardFile, "card.img");
    EXPECT_EQ(parsed->cardRegisters.csd, config.cardRegisters.csd);
    EXPECT_EQ(parsed->cardRegisters.eraseGroupSectors, 48);
}

TEST(PlayerConfig, RejectsWhatItCannotUse) {
    for (const char* text : {"variant=8300\n", "colour=blue\n", "release=0x10000\n", "nand-id=0x98\n",
                             "serial=123456789012345678901\n", "card-csd=00FF\n", "no equals sign\n"}) {
        std::string error;
        EXPECT_FALSE(ParsePlayerConfig(std::string("# comment\n") + text, error)) << text;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
}

TEST(NewPlayer, CreatesMediumSettingsAndCardAndLoadsBack) {
    testing::TempFolder folder;
    NewPlayerRequest request;
    request.mediumPath = folder.File("p.nand");
    request.megabytes = 48;
    request.variant = ChipVariant::VARIANT_8200;
    request.badBlocks = {5, 3071};
    request.cardPath = folder.File("p.card");
    request.cardSectors = 61440;
    std::string error;
    ASSERT_TRUE(CreateNewPlayer(request, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(request.mediumPath), 3072u * 32 * 528);
    EXPECT_EQ(std::filesystem::file_size(request.cardPath), 61440u * 512);
    EXPECT_TRUE(std::filesystem::exists(SidecarPath(request.mediumPath)));

    auto loaded = LoadPlayer(request.mediumPath, {}, error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->NormalModeIds().productId, 0x0C07);
    EXPECT_EQ(loaded->InterfaceSubclass(), SUBCLASS_AWAITING_DCC);
    BulkInResult id = Exchange(*loaded, Packet(NAND_READ_ID, CommandClass::NAND, 0x80, {0}), 64);
    EXPECT_EQ(id.data[3], 0);
    EXPECT_EQ(id.data[4], 12);
    BulkInResult card = Exchange(*loaded, Packet(MMC_DETECT, CommandClass::MMC, 0, {0}), 64);
    EXPECT_EQ(ReadLittleEndian(card.data, 3, 4), 61440u);

    auto info = DescribePlayer(request.mediumPath, error);
    ASSERT_TRUE(info) << error;
    EXPECT_NE(info->find("Size: 48 MB (size index 6, flash size index 3)"), std::string::npos) << *info;
    EXPECT_NE(info->find("3072 physical blocks of 32 pages"), std::string::npos) << *info;
    EXPECT_NE(info->find("Bad blocks: 2 (5, 3071)"), std::string::npos) << *info;
    EXPECT_NE(info->find("Card information structure: block 0 (not written)"), std::string::npos) << *info;
    EXPECT_NE(info->find("Player: variant 8200, USB 3A6E:0C07"), std::string::npos) << *info;
    EXPECT_NE(info->find("61440 sectors (30 MB)"), std::string::npos) << *info;
}

TEST(NewPlayer, InfoListsTheFirstBadBlocksOfAWornMedium) {
    testing::TempFolder folder;
    NewPlayerRequest request;
    request.mediumPath = folder.File("worn.nand");
    request.megabytes = 16;
    for (std::uint32_t block = 100; block < 140; ++block) {
        request.badBlocks.push_back(block);
    }
    std::string error;
    ASSERT_TRUE(CreateNewPlayer(request, error)) << error;
    auto info = DescribePlayer(request.mediumPath, error);
    ASSERT_TRUE(info) << error;
    EXPECT_NE(info->find("Bad blocks: 40 (100, 101, "), std::string::npos) << *info;
    EXPECT_NE(info->find(", 131, ... 8 more)\n"), std::string::npos) << *info;
    EXPECT_EQ(info->find("132"), std::string::npos) << *info;
}

TEST(NewPlayer, RefusesBadRequests) {
    testing::TempFolder folder;
    struct Case {
        const char* name;
        NewPlayerRequest request;
        const char* message;
    };
    const std::vector<Case> cases{
        {"size",
         {folder.File("a.nand"), 24, ChipVariant::VARIANT_8210, {}, "", std::nullopt},
         "no medium of 24 MB"},
        {"bad block",
         {folder.File("b.nand"), 8, ChipVariant::VARIANT_8210, {1024}, "", std::nullopt},
         "outside"},
        {"card size",
         {folder.File("c.nand"), 8, ChipVariant::VARIANT_8210, {}, folder.File("c.card"), std::nullopt},
         "give its size"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(CreateNewPlayer(c.request, error)) << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(DescribePlayer(folder.File("missing.nand"), error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace player
