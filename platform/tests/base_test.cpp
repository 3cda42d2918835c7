// Strings, GUIDs, endian helpers, fault points, the trace sink and the version per flavour.
#include <gtest/gtest.h>

#include "platform/base/endian.h"
#include "platform/base/guid.h"
#include "platform/base/strings.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

TEST(Strings, AnsiIsCodePage1252) {
    EXPECT_EQ(platform::AnsiToWide("A\x80\xE9"), u"A\u20AC\u00E9");
    EXPECT_EQ(platform::WideToAnsi(u"\u20AC\u00E9\u4E2D"), "\x80\xE9?");
    EXPECT_EQ(platform::AnsiToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(platform::Utf8ToAnsi("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(platform::WideToUtf8(platform::Utf8ToWide("\xF0\x9F\x8E\xB5 ok")), "\xF0\x9F\x8E\xB5 ok");
    EXPECT_EQ(platform::Utf8ToWide("\xC3"), u"\uFFFD");  // a cut sequence is replaced, not over-read
}

TEST(Strings, CaseInsensitiveComparison) {
    EXPECT_TRUE(platform::EqualsIgnoreCase("Install Folder", "INSTALL folder"));
    EXPECT_FALSE(platform::EqualsIgnoreCase("Params", "Param"));
    EXPECT_TRUE(platform::LessIgnoreCase{}("abc", "ABD"));
    EXPECT_FALSE(platform::LessIgnoreCase{}("ABC", "abc"));
}

TEST(Guid, ParseAndFormatRoundTrip) {
    auto guid = platform::ParseGuid("{4d36e97b-e325-11ce-bfc1-08002be10318}");
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->Data1, 0x4D36E97Bu);
    EXPECT_EQ(guid->Data2, 0xE325);
    EXPECT_EQ(guid->Data4[0], 0xBF);
    EXPECT_EQ(guid->Data4[7], 0x18);
    EXPECT_EQ(platform::FormatGuid(*guid), "{4D36E97B-E325-11CE-BFC1-08002BE10318}");
    EXPECT_EQ(platform::ParseGuid("4D36E97B-E325-11CE-BFC1-08002BE10318"), guid);
    for (const char* bad :
         {"", "{4D36E97B-E325-11CE-BFC1-08002BE1031}", "{4D36E97B-E325-11CE-BFC1-08002BE1031G}",
          "{4D36E97BXE325-11CE-BFC1-08002BE10318}", "{4D36E97B-E325-11CE-BFC1-08002BE10318"}) {
        EXPECT_FALSE(platform::ParseGuid(bad)) << bad;
    }
}

TEST(Endian, LittleAndBigWords) {
    std::uint8_t bytes[8] = {};
    platform::StoreLe24(bytes, 0xABCDEF);
    EXPECT_EQ(bytes[0], 0xEF);
    EXPECT_EQ(bytes[2], 0xAB);
    EXPECT_EQ(platform::LoadLe24(bytes), 0xABCDEFu);
    platform::StoreBe32(bytes, 0x12345678);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(platform::LoadLe32(bytes), 0x78563412u);
    platform::StoreLe64(bytes, 0x0102030405060708ull);
    EXPECT_EQ(platform::LoadLe64(bytes), 0x0102030405060708ull);
    EXPECT_EQ(platform::LoadBe16(bytes), 0x0807);
}

TEST(FaultPoints, NthUseFailsForCountUses) {
    platform::FaultPoints faults;
    EXPECT_FALSE(faults.Hit("pool"));
    faults.Arm("pool", 3, 2);
    std::vector<bool> results;
    for (int i = 0; i < 6; ++i)
        results.push_back(faults.Hit("pool"));
    EXPECT_EQ(results, (std::vector<bool>{false, false, true, true, false, false}));
    EXPECT_FALSE(faults.Hit("open"));
    EXPECT_EQ(faults.Uses("pool"), 6u);
    faults.Disarm("pool");
    EXPECT_FALSE(faults.Hit("pool"));
}

TEST(Trace, DebugOutputLandsInTheMachinesSinkWithItsTime) {
    platform::Platform machine;
    platform::ProcessScope process(machine, "test");
    w32::Sleep(1500);
    w32::OutputDebugStringA("Smartmedia DCC Version: 102\n");
    machine.Trace().Write("kernel", "another channel");
    auto lines = machine.Trace().Lines("debug");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Smartmedia DCC Version: 102\n");
    EXPECT_EQ(lines[0].timeNs, 1'500'000'000u);
    EXPECT_EQ(platform::TraceSink::Format(lines[0]), "[     1.500] debug: Smartmedia DCC Version: 102\n");
    EXPECT_FALSE(machine.Trace().Contains("another", "debug"));
    EXPECT_TRUE(machine.Trace().Contains("another"));
}

struct VersionCase {
    platform::OsFlavour flavour;
    win::DWORD major, minor, build, platformId;
};

class VersionPerFlavour : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionPerFlavour, GetVersionExAReportsTheFlavour) {
    const auto& expected = GetParam();
    platform::Platform machine(platform::PlatformConfig::Of(expected.flavour));
    platform::ProcessScope process(machine, "test");
    w32::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(w32::GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, expected.major);
    EXPECT_EQ(info.dwMinorVersion, expected.minor);
    EXPECT_EQ(info.dwBuildNumber & 0xFFFF, expected.build);
    EXPECT_EQ(info.dwPlatformId, expected.platformId);
    w32::OSVERSIONINFOA tooShort{};
    tooShort.dwOSVersionInfoSize = 20;
    EXPECT_FALSE(w32::GetVersionExA(&tooShort));
}

INSTANTIATE_TEST_SUITE_P(Flavours, VersionPerFlavour,
                         ::testing::Values(VersionCase{platform::OsFlavour::Win95, 4, 0, 950, 1},
                                           VersionCase{platform::OsFlavour::Win98, 4, 10, 1998, 1},
                                           VersionCase{platform::OsFlavour::WinMe, 4, 90, 3000, 1},
                                           VersionCase{platform::OsFlavour::Win2000, 5, 0, 2195, 2},
                                           VersionCase{platform::OsFlavour::WinXp, 5, 1, 2600, 2}),
                         [](const auto& testCase) {
                             return std::string("Windows") +
                                    platform::VersionOf(testCase.param.flavour).option;
                         });

TEST(VirtualMemory, AllocateWriteFree) {
    platform::Platform machine;
    platform::ProcessScope process(machine, "test");
    auto* block =
        static_cast<std::uint8_t*>(w32::VirtualAlloc(nullptr, 4096, w32::MEM_COMMIT, w32::PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    block[0] = 1;
    block[4095] = 2;
    EXPECT_TRUE(w32::VirtualFree(block, 0, w32::MEM_RELEASE));
    machine.Faults().Arm("VirtualAlloc", 1);
    EXPECT_EQ(w32::VirtualAlloc(nullptr, 4096, w32::MEM_COMMIT, w32::PAGE_READWRITE), nullptr);
    EXPECT_EQ(w32::GetLastError(), w32::ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace
