// `rpxsim lib`: library exports called against a player file, one line per call, and its usage
// errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "machine/tests/rpxsim_runner.h"

namespace {

using rpxsim::testing::Rpxsim;

class RpxsimLib : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A configuration whose file set names a file the install folder does not hold.
        std::ofstream(::testing::TempDir() + "/missing_file.reg")
            << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 "
               "Player\\Params\\8200]\n"
               "\"File2_Name\"=\"Missing.s\"\n";
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

// A full update through the library, then the versions of the medium equal those of the files.
TEST_F(RpxsimLib, SystemAreaAndVersionExports) {
    std::string player = ::testing::TempDir() + "/lib_command_update.nand";
    ASSERT_EQ(Rpxsim("player new " + player + " --size 16 --variant 8200").status, 0);
    auto result =
        Rpxsim("lib " + player +
               " -- VxMp3OpenDriver 1 \\; VxMp3BuildBlockStatus 4 0 \\; VxMp3FatFormatEx 4 0 1 8200 \\; "
               "VxMp3QuickFormatQorv 4 0 1 \\; VxMp3GetFirmwareVersion 4 0 8200 \\; "
               "VxMp3GetFileVersion 8200 \\; VxMp3ProgramQorvMedia 4 0 8200 \\; VxMp3FreeMemoryDevice 0 "
               "\\; VxMp3CloseDriver");
    EXPECT_EQ(result.status, 0) << result.out;
    for (const char* line :
         {"VxMp3FatFormatEx -> 0\n", "VxMp3QuickFormatQorv -> 0\n", "VxMp3ProgramQorvMedia -> 0\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
    }
    auto fields = [&](const char* prefix) {
        auto start = result.out.find(prefix);
        return start == std::string::npos ? std::string()
                                          : result.out.substr(start, result.out.find('\n', start) - start);
    };
    std::string device = fields("VxMp3GetFirmwareVersion -> 0 ");
    std::string files = fields("VxMp3GetFileVersion -> 0 ");
    ASSERT_FALSE(device.empty()) << result.out;
    ASSERT_FALSE(files.empty()) << result.out;
    EXPECT_NE(device.find("file1.deviceVersion01=0x"), std::string::npos) << device;
    // The same words, one list read from the medium and the other from the files.
    auto words = [](std::string text, const std::string& field) {
        for (auto at = text.find(field); at != std::string::npos; at = text.find(field)) {
            text.replace(at, field.size(), ".");
        }
        return text.substr(text.find("-> "));
    };
    EXPECT_EQ(words(device, ".deviceVersion"), words(files, ".fileVersion")) << device << "\n" << files;
    std::filesystem::remove(player);
}

TEST_F(RpxsimLib, AFirmwareCallWithAMissingFileIsNotMade) {
    auto result = Rpxsim("lib " + player_ + " --registry " + ::testing::TempDir() +
                         "/missing_file.reg -- VxMp3GetFileVersion 8200");
    EXPECT_NE(result.out.find("VxMp3GetFileVersion -> not called: Could not find DSP file"),
              std::string::npos)
        << result.out;
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
