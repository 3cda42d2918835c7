// `rpxsim format` as a user runs it: the main job, the plain progress lines, the summary, and the
// formatter's refusals (battery low, no known medium size) that leave the medium untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "machine/tests/rpxsim_runner.h"

namespace {

using rpxsim::testing::Rpxsim;

class FormatCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        medium_ = ::testing::TempDir() + "/format_command_" + name + ".nand";
    }

    void NewPlayer(const std::string& options) {
        auto created = Rpxsim("player new " + medium_ + " " + options);
        ASSERT_EQ(created.status, 0) << created.out;
    }

    // Replaces one line of the player's settings file.
    void SetSetting(const std::string& from, const std::string& to) {
        std::string path = medium_ + ".player";
        std::ifstream in(path);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, from.size(), to);
        std::ofstream(path) << text;
    }

    std::string MediumBytes() {
        std::ifstream in(medium_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string medium_;
};

TEST_F(FormatCommand, TheMainJobQuickFormatsTheDefaultPlayer) {
    auto result = Rpxsim("");
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("progress: Scanning blocks 0%"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("progress: Creating FAT 100%"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("progress: Complete 0% (overall 100%)"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(
                  "quick format complete\n  size:            64 MB (size index 7)\n  CIS block:       0\n"
                  "  blocks retired:  0 (0 unusable in all)\n  simulated time:  "),
              std::string::npos)
        << result.out;
}

TEST_F(FormatCommand, AFullFormatWithFactoryBadBlocksLeavesAVolumeTheDiskDriverReads) {
    NewPlayer("--size 16 --bad 0,1,700");
    auto result = Rpxsim("format " + medium_ + " --full");
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("progress: Erasing blocks"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(
                  "full format complete\n  size:            16 MB (size index 4)\n  CIS block:       2\n"),
              std::string::npos)
        << result.out;
    auto info = Rpxsim("player info " + medium_);
    EXPECT_EQ(info.status, 0) << info.out;
    auto disk = Rpxsim("player disk " + medium_ + " " + medium_ + ".img");
    EXPECT_EQ(disk.status, 0) << disk.out;
}

struct Refusal {
    const char* name;
    const char* from;
    const char* to;
    const char* message;
};

class FormatRefusals : public FormatCommand, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FormatRefusals, NothingIsWrittenAndTheFormattersMessageIsShown) {
    NewPlayer("--size 16");
    SetSetting(GetParam().from, GetParam().to);
    std::string before = MediumBytes();
    auto result = Rpxsim("format " + medium_);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_NE(result.out.find(std::string("format failed: ") + GetParam().message + "\n"), std::string::npos)
        << result.out;
    EXPECT_TRUE(MediumBytes() == before);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatRefusals,
                         ::testing::Values(Refusal{"BatteryLow", "battery=good", "battery=low",
                                                   "Battery is low, replace it before formatting."},
                                           Refusal{"UnknownMediumSize", "nand-id=standard",
                                                   "nand-id=0x98:0x12", "No media"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FormatCommand, AnUnknownOptionIsAUsageError) {
    auto result = Rpxsim("format --fast");
    EXPECT_EQ(result.status, 2) << result.out;
}

}  // namespace
