// The rpxsim command line and the machine it boots.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "machine/machine.h"
#include "machine/tests/rpxsim_runner.h"
#include "platform/win32/win32.h"

namespace {

using rpxsim::testing::Rpxsim;
using rpxsim::testing::WriteTemporary;

TEST(Rpxsim, BootStartsTheDefaultMachineAndPrintsItsTrace) {
    auto result = Rpxsim("boot");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("machine: booting Windows XP 5.1.2600 (NT family)"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("machine: ready"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("benchlink: player attached as \\Device\\ZPRPX73u0"), std::string::npos)
        << result.out;
}

TEST(Rpxsim, OptionsStandBeforeOrAfterTheSubcommand) {
    for (const char* arguments : {"--os 98 boot", "boot --os 98", "boot --os=98"}) {
        auto result = Rpxsim(arguments);
        EXPECT_EQ(result.status, 0) << arguments << "\n" << result.out;
        EXPECT_NE(result.out.find("booting Windows 98 4.10.1998 (9x family)"), std::string::npos)
            << result.out;
    }
}

TEST(Rpxsim, HelpAndVersion) {
    auto help = Rpxsim("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: rpxsim"), std::string::npos);
    EXPECT_NE(help.out.find("--registry FILE.reg"), std::string::npos);
    auto version = Rpxsim("boot --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rpxsim 0.1.0\n");
}

struct UsageCase {
    const char* arguments;
    const char* message;
};

class RpxsimUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(RpxsimUsage, BadCommandLinesGetOneLineAndStatusTwo) {
    auto result = Rpxsim(GetParam().arguments);
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_EQ(result.out.rfind("rpxsim: ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find(GetParam().message), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RpxsimUsage,
    ::testing::Values(UsageCase{"--os vista", "--os takes"},
                      UsageCase{"frobnicate", "unknown subcommand 'frobnicate'"},
                      UsageCase{"boot p.nand extra", "unexpected argument 'extra'"},
                      UsageCase{"--os", "--os needs a value"}, UsageCase{"--user root", "--user takes"},
                      UsageCase{"--registry /nonexistent/x.reg", "cannot read registry file"}),
    [](const auto& testCase) { return "Case" + std::to_string(testCase.index); });

TEST(Rpxsim, RegistryFileIsMergedOrRejectedWithItsLine) {
    auto good = WriteTemporary("good.reg",
                               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n\"A\"=dword:00000001\n");
    auto merged = Rpxsim("boot --registry " + good);
    EXPECT_EQ(merged.status, 0) << merged.out;
    EXPECT_NE(merged.out.find("registry: merged " + good), std::string::npos) << merged.out;

    auto bad =
        WriteTemporary("bad.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n\"A\"=dword:xyz\n");
    auto rejected = Rpxsim("--registry " + bad);
    EXPECT_EQ(rejected.status, 2);
    EXPECT_NE(rejected.out.find(bad + ": line 4: a dword takes"), std::string::npos) << rejected.out;
}

TEST(Rpxsim, DebugPrintsTheTraceAsItComes) {
    auto result = Rpxsim("--debug");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("] machine: booting Windows XP"), std::string::npos) << result.out;
}

TEST(Machine, BootsWithTheRegistryFileVisibleToPrograms) {
    auto file = WriteTemporary(
        "params.reg",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params]\n"
        "\"TotalKiloBytesReserved\"=dword:00000400\n");
    machine::MachineOptions options;
    options.os = platform::OsFlavour::WinMe;
    options.registryFile = file;
    std::string error;
    auto pc = machine::Machine::Boot(options, &error);
    ASSERT_TRUE(pc) << error;
    platform::ProcessScope process(pc->Pc(), "VxMp3Format.exe");
    w32::HKEY key = nullptr;
    ASSERT_EQ(
        w32::RegOpenKeyExA(w32::HKEY_LOCAL_MACHINE, "SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params",
                           0, w32::KEY_READ, &key),
        w32::ERROR_SUCCESS);
    w32::DWORD value = 0;
    w32::DWORD size = sizeof value;
    EXPECT_EQ(w32::RegQueryValueExA(key, "TotalKiloBytesReserved", nullptr, nullptr,
                                    reinterpret_cast<w32::BYTE*>(&value), &size),
              w32::ERROR_SUCCESS);
    EXPECT_EQ(value, 1024u);
    w32::RegCloseKey(key);
    EXPECT_TRUE(pc->Trace().Contains("booting Windows Me 4.90.3000 (9x family)", "machine"));
}

}  // namespace

namespace {

TEST(RpxsimPlayer, NewInfoAndDiskOfAFactoryFreshPlayer) {
    std::string folder = ::testing::TempDir() + "/rpxsim-player";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string medium = folder + "/p.nand";
    auto created = Rpxsim("player new " + medium + " --size 16 --variant 8200 --bad 0,7");
    ASSERT_EQ(created.status, 0) << created.out;
    EXPECT_EQ(std::filesystem::file_size(medium), 1024u * 32 * 528);

    auto info = Rpxsim("player info " + medium);
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("Bad blocks: 2 (0, 7)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("variant 8200"), std::string::npos) << info.out;

    // A medium with no system blocks keeps its whole disk; every sector of a fresh one is unmapped.
    auto disk = Rpxsim("player disk " + medium + " " + folder + "/d.img --reserved-kb 1024");
    EXPECT_EQ(disk.status, 0) << disk.out;
    EXPECT_NE(disk.out.find("wrote 32000 sectors"), std::string::npos) << disk.out;
    EXPECT_EQ(std::filesystem::file_size(folder + "/d.img"), 32000u * 512);

    std::filesystem::remove_all(folder);
}

TEST(RpxsimPlayer, BadPlayerCommandLines) {
    EXPECT_EQ(Rpxsim("player").status, 2);
    EXPECT_EQ(Rpxsim("player grow x").status, 2);
    EXPECT_EQ(Rpxsim("player new x.nand").status, 2);
    EXPECT_EQ(Rpxsim("player new x.nand --size 64 --variant 8300").status, 2);
    EXPECT_EQ(Rpxsim("player new x.nand --size sixty").status, 2);
    auto odd = Rpxsim("player new " + ::testing::TempDir() + "/odd.nand --size 20");
    EXPECT_EQ(odd.status, 1) << odd.out;
    auto missing = Rpxsim("player info /nonexistent/p.nand");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out.rfind("rpxsim: ", 0), 0u) << missing.out;
}

}  // namespace
