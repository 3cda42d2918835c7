// The packet exchanges against a strict player: the DCC version read at open and the NAND flags it
// selects, the NAND read and erase operations, power, flash size and the chip variant.
#include <gtest/gtest.h>

#include <vector>

#include "library/VxMp3.h"
#include "library/media_state.h"
#include "library/nand_operations.h"
#include "library/tests/library_fixture.h"

namespace {

using vxmp3_test::PlayerScenario;
using namespace win;

struct DccCase {
    const char* name;
    std::vector<player::DeviceParameter> parameters;
    const char* trace;
};

class DccVersions : public PlayerScenario, public ::testing::WithParamInterface<DccCase> {};

TEST_P(DccVersions, NandPacketsCarryTheFlagsThePlayerExpects) {
    player::PlayerSettings settings;
    settings.parameters = GetParam().parameters;
    Boot(platform::OsFlavour::WinXp, {}, settings);
    ASSERT_EQ(VxMp3OpenDriverEx(0, DEVICE_STATUS_NORMAL), 1);
    EXPECT_TRUE(machine_->Trace().Contains(GetParam().trace, "debug")) << machine_->Trace().Text("debug");

    ULONG sizeIndex = 0;
    ULONG failed = 9;
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_OK);
    EXPECT_EQ(sizeIndex, 4u);  // 16 MB
    EXPECT_EQ(failed, 0u);

    // 16 MB: 32 pages per block. The slot's block buffer holds one block.
    constexpr ULONG kPagesPerBlock = 32;
    constexpr ULONG kBlockBytes = kPagesPerBlock * 512;
    vxmp3::SlotMediaState& state = *vxmp3::MediaStateOfSlot(0);
    state.blockBuffer.assign(kPagesPerBlock * 528, 0);
    std::vector<UCHAR> records(1536, 0xEE);
    EXPECT_TRUE(vxmp3::ReadBlockStatus(records, 256, 0, kPagesPerBlock, 0));
    EXPECT_EQ(records[1], 0xFF);  // block status of a good block 0
    ULONG status = 7;
    EXPECT_TRUE(vxmp3::EraseBlock(3 * kBlockBytes, kPagesPerBlock, 0, &status));
    EXPECT_EQ(status, 0u);
    std::vector<UCHAR> data(3 * 512, 0);
    EXPECT_TRUE(vxmp3::ReadPages(data, 3, 3 * kBlockBytes, 0));
    EXPECT_EQ(data[0], 0xFF);  // erased
    EXPECT_EQ(data[1535], 0xFF);
    EXPECT_TRUE(vxmp3::ReadPages({}, kPagesPerBlock, 3 * kBlockBytes, 0));
    EXPECT_EQ(state.blockBuffer[512], 0xFF);  // the redundant area stays in the block buffer

    // More pages than the block buffer holds, or a destination too small, are refused.
    EXPECT_FALSE(vxmp3::ReadPages({}, kPagesPerBlock + 1, 0, 0));
    EXPECT_FALSE(vxmp3::ReadPages(data, 4, 0, 0));
    EXPECT_FALSE(vxmp3::ReadBlockStatus(records, 257, 0, kPagesPerBlock, 0));
    EXPECT_FALSE(vxmp3::EraseBlock(0, kPagesPerBlock, 1, &status));  // no slot 1
    state = {};
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, DccVersions,
    ::testing::Values(DccCase{"NoVersion", {{0, 0x102}}, "Smartmedia DCC Version: 0\n"},
                      DccCase{"Version256", {{0, 0x102}, {1, 0x100}}, "Smartmedia DCC Version: 100\n"},
                      DccCase{
                          "Version258", {{2, 0}, {1, 0x102}, {1, 0x200}}, "Smartmedia DCC Version: 102\n"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct ChipCase {
    const char* name;
    ULONG capabilities;
    player::ChipVariant variant;
    ULONG expected;
};

class ChipVariants : public PlayerScenario, public ::testing::WithParamInterface<ChipCase> {};

TEST_P(ChipVariants, FromTheFirmware) {
    player::PlayerSettings settings;
    settings.variant = GetParam().variant;
    settings.parameters = {{0, GetParam().capabilities}, {1, 0x102}};
    Boot(platform::OsFlavour::Win98, {}, settings);
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NORMAL), 1);
    EXPECT_EQ(VxMp3GetChipId(1), GetParam().expected);
    auto ids = player::NormalModeUsbIds(GetParam().variant);
    EXPECT_EQ(VxMp3GetChipId(0), ULONG{ids.vendorId} << 16 | ids.productId);
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, ChipVariants,
    ::testing::Values(ChipCase{"OldFirmwareOn8200", 0x100, player::ChipVariant::VARIANT_8200, 8210},
                      ChipCase{"NewFirmwareOn8210", 0x101, player::ChipVariant::VARIANT_8210, 8210},
                      ChipCase{"NewFirmwareOn8200", 0x101, player::ChipVariant::VARIANT_8200, 8200}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(PlayerScenario, PowerStatusReportsALowBattery) {
    player::PlayerSettings settings;
    settings.batteryLow = true;
    Boot(platform::OsFlavour::WinXp, {}, settings);
    ASSERT_EQ(VxMp3OpenDriver(DEVICE_STATUS_NORMAL), 1);
    ULONG status = 0;
    EXPECT_EQ(VxMp3GetPowerStatus(&status), ACCESS_DEVICE_OK);
    EXPECT_NE(status, 0u);
}

TEST_F(PlayerScenario, FlashSizeOfAMakerZeroId) {
    player::PlayerSettings settings;
    settings.nandId.form = player::NandIdForm::MAKER_ZERO;
    Boot(platform::OsFlavour::WinXp, {}, settings, 64);
    ASSERT_EQ(VxMp3OpenDriver(DEVICE_STATUS_NORMAL), 1);
    ULONG sizeIndex = 0;
    ULONG failed = 0;
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_OK);
    EXPECT_EQ(sizeIndex, 7u);
}

TEST_F(PlayerScenario, FlashSizeOfADeviceThatDoesNotAnswer) {
    player::PlayerOptions options;
    options.faults.unansweredPackets = {2};
    Boot(platform::OsFlavour::WinXp, options);
    ASSERT_EQ(VxMp3OpenDriver(DEVICE_STATUS_NORMAL), 1);
    ULONG sizeIndex = 0;
    ULONG failed = 0;
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_FAILED);
    EXPECT_EQ(failed, 1u);
}

}  // namespace
