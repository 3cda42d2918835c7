// `rpxsim lib`: library exports called against a player file, one line per call, and its usage
// errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "machine/tests/rpxsim_runner.h"

namespace {

using rpxsim::testing::Rpxsim;

class RpxsimLib : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        player_ = ::testing::TempDir() + "/lib_command_player.nand";
        auto created = Rpxsim("player new " + player_ + " --size 64");
        ASSERT_EQ(created.status, 0) << created.out;
    }
    static std::string player_;
};

std::string RpxsimLib::player_;

// A factory-fresh player awaits its DCC: its interface subclass 0 reads as the recovery status.
TEST_F(RpxsimLib, CallsPrintTheirResultAndOutputs) {
    auto result =
        Rpxsim("lib " + player_ +
               " -- VxMp3OpenDriver NORMAL \\; VxMp3GetStatus \\; VxMp3GetFlashSizes \\; "
               "VxMp3GetPowerStatus \\; VxMp3GetChipId 1 \\; VxMp3GetDeviceStatus \\; VxMp3CloseDriver "
               "\\; VxMp3GetStatus");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out,
              "VxMp3OpenDriver -> 1\n"
              "VxMp3GetStatus -> 1 exclusiveAccess=1 mediaChanged=0 removalAllowed=1\n"
              "VxMp3GetFlashSizes -> 0 sizeIndex=7 failed=0\n"
              "VxMp3GetPowerStatus -> 0 status=0\n"
              "VxMp3GetChipId -> 8210\n"
              "VxMp3GetDeviceStatus -> 2\n"
              "VxMp3CloseDriver -> 1\n"
              "VxMp3GetStatus -> 0 exclusiveAccess=0 mediaChanged=0 removalAllowed=0\n");
}

TEST_F(RpxsimLib, RawPacketsAndTheDebugTrace) {
    auto result = Rpxsim("lib --os 98 " + player_ +
                         " --debug -- VxMp3OpenDriverNoBlock 0 1 \\; VxMp3DDWrite 0a0000 \\; VxMp3DDRead 3");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("Smartmedia DCC Version: 102"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("VxMp3DDWrite -> 1\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("VxMp3DDRead -> 1 data=000000\n"), std::string::npos) << result.out;
}

struct UsageCase {
    const char* arguments;
    const char* message;
};

class RpxsimLibUsage : public RpxsimLib, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(RpxsimLibUsage, BadCallsGetOneLineAndStatusTwo) {
    auto result = Rpxsim(std::string("lib ") + player_ + " " + GetParam().arguments);
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_NE(result.out.find(GetParam().message), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, RpxsimLibUsage,
    ::testing::Values(UsageCase{"", "lib needs '-- EXPORT ARGS...'"},
                      UsageCase{"-- VxMp3Nothing", "unknown export 'VxMp3Nothing'"},
                      UsageCase{"-- VxMp3OpenDriver", "VxMp3OpenDriver needs MODE"},
                      UsageCase{"-- VxMp3OpenDriver SOMETIMES", "MODE takes NONE, NORMAL"},
                      UsageCase{"-- VxMp3OpenDriverEx 200 NORMAL", "INSTANCE must lie in -128..127"},
                      UsageCase{"-- VxMp3GetStatus 1", "unexpected argument '1'"},
                      UsageCase{"-- VxMp3DDWrite 0a0", "pairs of hexadecimal digits"},
                      UsageCase{"-- VxMp3GetChipId 1 \\; \\; VxMp3CloseDriver", "an empty call"}));

TEST(RpxsimLibExports, ListsTheCallableExports) {
    auto result = Rpxsim("lib --exports");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("VxMp3OpenDriverEx INSTANCE MODE"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("VxMp3GetFlashSizes"), std::string::npos) << result.out;
}

}  // namespace
