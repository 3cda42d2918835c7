#include "player/faults.h"

#include <gtest/gtest.h>

#include <vector>

#include "player/command_processor.h"
#include "player/tests/test_support.h"

namespace player {
namespace {

using testing::Exchange;
using testing::Packet;

constexpr CommandClass NAND = CommandClass::NAND;

std::vector<std::uint8_t> ReadPage(std::uint32_t page) {
    return Packet(NAND_READ_PAGES, NAND, 0x80, {page * 512, 0, 528, 1, 9, 0});
}
std::vector<std::uint8_t> Erase(std::uint32_t block) {
    return Packet(NAND_ERASE_BLOCK, NAND, 0x40, {block * 32 * 512, 0, 32, 0});
}
void WritePage(Player& player, std::uint32_t page, std::uint8_t fill) {
    Exchange(player, Packet(NAND_WRITE_PAGE, NAND, 0x40, {page * 512, 0, 528, 0}), 0);
    player.HandleBulkOut(std::vector<std::uint8_t>(PAGE_BYTES, fill));
}
const NandMedium& Medium(Player& player) {
    return *player.Hardware().Medium();
}

PlayerOptions WithFaults(FaultPlan plan, std::uint64_t seed = 1) {
    PlayerOptions options;
    options.faults = std::move(plan);
    options.seed = seed;
    return options;
}

TEST(Faults, EraseFailureIsReportedAndLeavesTheBlock) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.eraseFailures = {2};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    WritePage(player, 64, 0x00);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(2), 64).data, 0), ERASE_STATUS_FAILED);
    EXPECT_EQ(Medium(player).Page(64)[0], 0x00);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(3), 64).data, 0), ERASE_STATUS_OK);
}

TEST(Faults, ProgramFailureLeavesAPartialAndAndIsReportedWithTheNextErase) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.programFailures = {70};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    WritePage(player, 70, 0x00);
    const auto page = Medium(player).Page(70);
    const std::size_t programmed =
        static_cast<std::size_t>(std::find(page.begin(), page.end(), 0xFF) - page.begin());
    EXPECT_LT(programmed, PAGE_BYTES);
    EXPECT_TRUE(std::all_of(page.begin() + static_cast<std::ptrdiff_t>(programmed), page.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    BulkInResult reply = Exchange(player, Erase(5), 64);
    EXPECT_EQ(ReadWord(reply.data, 0), ERASE_STATUS_OK);
    EXPECT_EQ(ReadWord(reply.data, 1), 1u);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(5), 64).data, 1), 0u);
}

TEST(Faults, ReadBitFlipsShowOnEveryReadButLeaveTheMedium) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.readBitFlips = {{9, {0}}, {10, {8 * 100 + 3, 8 * 300 + 7}}};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Exchange(player, ReadPage(9), 576).data[0], 0xFE);
        BulkInResult two = Exchange(player, ReadPage(10), 576);
        EXPECT_EQ(two.data[100], 0xF7);
        EXPECT_EQ(two.data[300], 0x7F);
    }
    EXPECT_EQ(Medium(player).Page(9)[0], 0xFF);
}

TEST(Faults, BitFlipRateIsReplayedExactlyFromTheSeed) {
    auto flippedReads = [](std::uint64_t seed) {
        testing::TempFolder folder;
        FaultPlan plan;
        plan.bitFlipRate = 0.25;
        Player player = testing::MakePlayer(folder, 16, WithFaults(plan, seed));
        std::vector<int> flipped;
        for (std::uint32_t page = 0; page < 64; ++page) {
            BulkInResult reply = Exchange(player, ReadPage(page), 576);
            flipped.push_back(
                std::count(reply.data.begin(), reply.data.begin() + PAGE_BYTES, 0xFF) == PAGE_BYTES ? 0 : 1);
        }
        return flipped;
    };
    const std::vector<int> first = flippedReads(7);
    EXPECT_EQ(first, flippedReads(7));
    EXPECT_NE(first, flippedReads(8));
    const int count = std::count(first.begin(), first.end(), 1);
    EXPECT_GT(count, 4);
    EXPECT_LT(count, 32);
}

TEST(Faults, WornOutBlockFailsAfterItsErases) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.wearOuts = {{4, 2}};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    EXPECT_EQ(ReadWord(Exchange(player, Erase(4), 64).data, 0), ERASE_STATUS_OK);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(4), 64).data, 0), ERASE_STATUS_OK);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(4), 64).data, 0), ERASE_STATUS_FAILED);
    WritePage(player, 4 * 32, 0x00);
    EXPECT_EQ(ReadWord(Exchange(player, Erase(4), 64).data, 1), 1u);  // the program failed too
    EXPECT_EQ(player.Hardware().Faults().EraseCount(4), 4u);
}

TEST(Faults, UnansweredPacketTimesOutQuietlyButIsCarriedOut) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.unansweredPackets = {2};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    WritePage(player, 32, 0x00);                            // packet 1
    EXPECT_FALSE(Exchange(player, Erase(1), 64).answered);  // packet 2
    EXPECT_FALSE(player.HandleBulkIn(64).answered);
    EXPECT_EQ(Medium(player).Page(32)[0], 0xFF);
    EXPECT_TRUE(Exchange(player, Erase(1), 64).answered);  // packet 3
    EXPECT_TRUE(player.ProtocolErrors().empty());
}

TEST(Faults, ShortReplyIsCut) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.shortReplies = {{1, 40}};
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan));
    EXPECT_EQ(Exchange(player, ReadPage(0), 576).data.size(), 40u);
    EXPECT_EQ(Exchange(player, ReadPage(0), 576).data.size(), 576u);
}

TEST(Faults, PowerCutTearsTheOperationAndSilencesThePlayer) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.powerCutAfterOperations = 3;  // three page programs complete, the fourth is torn
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan, 5));
    std::vector<std::uint8_t> zeros(PAGE_BYTES * 6, 0x00);
    Exchange(player, Packet(NAND_WRITE_PAGES, NAND, 0x40, {0, 0, 528, 6, testing::Units(zeros.size()), 0}),
             0);
    EXPECT_TRUE(player.HandleBulkOut(zeros).accepted);
    EXPECT_FALSE(player.PoweredOn());
    EXPECT_EQ(Medium(player).Page(2)[PAGE_BYTES - 1], 0x00);
    EXPECT_EQ(Medium(player).Page(3)[PAGE_BYTES - 1], 0xFF);  // torn: its end was never programmed
    EXPECT_EQ(Medium(player).Page(4)[0], 0xFF);
    EXPECT_FALSE(player.HandleBulkOut(ReadPage(0)).accepted);
    EXPECT_FALSE(player.HandleBulkIn(576).answered);

    player.PowerOn();
    BulkInResult id = Exchange(player, Packet(NAND_READ_ID, NAND, 0x80, {0}), 64);
    EXPECT_EQ(id.data[6], 1);  // the medium counts as changed after power on
}

TEST(Faults, PowerCutDuringEraseLeavesATornBlock) {
    testing::TempFolder folder;
    FaultPlan plan;
    plan.powerCutAfterOperations = 32;  // after the 32 page programs of block 1
    Player player = testing::MakePlayer(folder, 16, WithFaults(plan, 3));
    std::vector<std::uint8_t> zeros(PAGE_BYTES * 32, 0x00);
    Exchange(player,
             Packet(NAND_WRITE_PAGES, NAND, 0x40, {32 * 512, 0, 528, 32, testing::Units(zeros.size()), 0}),
             0);
    player.HandleBulkOut(zeros);
    EXPECT_FALSE(Exchange(player, Erase(1), 64).answered);
    EXPECT_EQ(Medium(player).Page(63)[0], 0x00);  // the erase stopped before the block's end
}

}  // namespace
}  // namespace player
