#include "player/timing.h"

#include <gtest/gtest.h>

#include "player/tests/test_support.h"

namespace player {
namespace {

using namespace std::chrono_literals;
using testing::Packet;

constexpr CommandClass NAND = CommandClass::NAND;

TEST(Timing, BusTransferCountsPacketsWithTheirOverhead) {
    const TimingModel timing;
    // 64 data bytes and 13 overhead bytes at 12 Mbit/s.
    EXPECT_EQ(timing.BusTransfer(64), nanoseconds(77 * 8 * 1000 / 12));
    EXPECT_EQ(timing.BusTransfer(3), nanoseconds(16 * 8 * 1000 / 12));
    EXPECT_EQ(timing.BusTransfer(0), nanoseconds(13 * 8 * 1000 / 12));
    EXPECT_EQ(timing.BusTransfer(576), nanoseconds((576 + 9 * 13) * 8 * 1000 / 12));
    EXPECT_EQ(timing.PageRead(528), 25us + 528 * 50ns);
}

TEST(Timing, EveryOperationReturnsItsSimulatedDuration) {
    testing::TempFolder folder;
    PlayerOptions options;
    options.timing.pageProgram = 300us;
    Player player = testing::MakePlayer(folder, 16, options);
    const TimingModel& timing = player.Hardware().Options().timing;

    const auto readPages = Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 4, 33, 0});
    BulkOutResult sent = player.HandleBulkOut(readPages);
    EXPECT_EQ(sent.time.device, 4 * timing.PageRead(528));
    EXPECT_EQ(sent.time.bus, timing.BusTransfer(21));
    BulkInResult reply = player.HandleBulkIn(4096);
    EXPECT_EQ(reply.time.device, 0ns);
    EXPECT_EQ(reply.time.bus, timing.BusTransfer(2112));

    player.HandleBulkOut(Packet(NAND_WRITE_PAGES, NAND, 0x40, {0, 0, 528, 2, 17, 0}));
    BulkOutResult data = player.HandleBulkOut(std::vector<std::uint8_t>(2 * PAGE_BYTES, 0));
    EXPECT_EQ(data.time.device, 600us);
    EXPECT_EQ(data.time.Total(), 600us + timing.BusTransfer(1056));

    EXPECT_EQ(player.HandleBulkOut(Packet(NAND_ERASE_BLOCK, NAND, 0x40, {0, 0, 32, 0})).time.device, 2ms);
    EXPECT_EQ(player.HandleBulkIn(64).time.bus, timing.BusTransfer(64));

    const auto blockStatus = Packet(NAND_READ_BLOCK_STATUS, NAND, 0x80, {0, 0, 528, 10, 16384, 1, 0});
    EXPECT_EQ(player.HandleBulkOut(blockStatus).time.device, 10 * timing.PageRead(16));
}

}  // namespace
}  // namespace player
