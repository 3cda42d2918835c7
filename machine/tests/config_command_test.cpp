// The default configuration of a new machine, and `rpxsim config` over it.
#include <gtest/gtest.h>

#include <cstring>

#include "machine/machine.h"
#include "machine/tests/rpxsim_runner.h"
#include "platform/win32/win32.h"
#include "tools/common/binary_files.h"
#include "tools/common/configuration_store.h"

namespace {

using rpxsim::testing::Rpxsim;
using rpxsim::testing::WriteTemporary;

constexpr const char* kInstallFolder = "C:\\Program Files\\Zephtal\\RPX-7300 MP3 Player";

std::unique_ptr<machine::Machine> BootWith(const std::string& registryFile = {}) {
    machine::MachineOptions options;
    options.registryFile = registryFile;
    std::string error;
    auto pc = machine::Machine::Boot(options, &error);
    EXPECT_TRUE(pc) << error;
    return pc;
}

TEST(DefaultConfiguration, ANewMachineHasTheExampleConfiguration) {
    auto pc = BootWith();
    ASSERT_TRUE(pc);
    platform::ProcessScope process(pc->Pc(), "VxUsbMscUpgrade.exe");

    char folder[260];
    ASSERT_TRUE(tools::ReadInstallFolder(folder, sizeof folder));
    EXPECT_STREQ(folder, kInstallFolder);
    EXPECT_EQ(w32::GetFileAttributesA(folder), w32::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(tools::ReadTotalKiloBytesReserved(), 1024u);
    EXPECT_EQ(tools::ReservedBlockCount(512, 32), 64u);
    EXPECT_TRUE(tools::ReadDefaultQuickUpdate());

    const struct {
        std::uint16_t productId;
        w32::DWORD chipId;
    } identities[] = {{0x0C07, 8200}, {0x0C08, 8210}};
    for (const auto& identity : identities) {
        w32::DWORD chipId = 0;
        EXPECT_TRUE(tools::ReadChipVariantOfUsbId(tools::UsbIdValueName(0x3A6E, identity.productId).c_str(),
                                                  &chipId));
        EXPECT_EQ(chipId, identity.chipId);
    }

    // The example's file sets are the built-in ones, read from the registry.
    for (w32::DWORD chipId : {8200u, 8210u}) {
        _BinaryFilesInformation fromRegistry;
        EXPECT_TRUE(tools::ReadBinaryFilesInformation(chipId, &fromRegistry)) << chipId;
        _BinaryFilesInformation builtIn{};
        tools::SetDefaultBinaryFiles(chipId, &builtIn);
        EXPECT_EQ(std::memcmp(&fromRegistry, &builtIn, sizeof builtIn), 0) << chipId;
    }
    EXPECT_TRUE(pc->Trace().Contains("registry: default configuration", "machine"));
}

TEST(DefaultConfiguration, ARegistryFileMergesOverIt) {
    auto file = WriteTemporary(
        "over-default.reg",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params]\n"
        "\"Install Folder\"=\"C:\\\\RPX\"\n\"TotalKiloBytesReserved\"=dword:00000064\n\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params\\8210]\n");
    auto pc = BootWith(file);
    ASSERT_TRUE(pc);
    platform::ProcessScope process(pc->Pc(), "VxMp3Format.exe");

    char folder[260];
    ASSERT_TRUE(tools::ReadInstallFolder(folder, sizeof folder));
    EXPECT_STREQ(folder, "C:\\RPX");
    EXPECT_EQ(w32::GetFileAttributesA("C:\\RPX"), w32::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(tools::ReservedBlockCount(512, 32), 7u);
    EXPECT_TRUE(tools::ReadDefaultQuickUpdate());
    _BinaryFilesInformation files;
    EXPECT_EQ(tools::ReadBinaryFiles(8210, &files).source, tools::FileSetSource::BUILT_IN);
    EXPECT_EQ(tools::ReadBinaryFiles(8200, &files).source, tools::FileSetSource::REGISTRY);
}

constexpr const char* kConfig8200 =
    "installFolder=C:\\Program Files\\Zephtal\\RPX-7300 MP3 Player\n"
    "totalKiloBytesReserved=1024\n"
    "defaultQuickUpdate=1\n"
    "chipId=8200 (file set of the 8200)\n"
    "source=registry\n"
    "numberOfBinaryFiles=4\n"
    "file1.name=Booty.s\nfile1.description=Boot Manager\nfile1.tag=0x50\nfile1.formatType=1\n"
    "file2.name=Qorvsys.s\nfile2.description=Player\nfile2.tag=0x00\nfile2.formatType=1\n"
    "file3.name=dcc.s\nfile3.description=Recovery\nfile3.tag=0x01\nfile3.formatType=1\n"
    "file4.name=resource.bin\nfile4.description=Resource\nfile4.tag=0x02\nfile4.formatType=0\n"
    "bootManagerFileNumber=1\n"
    "recoveryFileNumber=3\n"
    "playerFileNumber=2\n";

TEST(RpxsimConfig, PrintsWhatTheToolsReadOfTheDefaultConfiguration) {
    auto result = Rpxsim("config");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kConfig8200);
    // Any chip id other than 8210 reads the 8200 set.
    std::string forChipZero = kConfig8200;
    forChipZero.replace(forChipZero.find("chipId=8200"), std::strlen("chipId=8200"), "chipId=0");
    EXPECT_EQ(Rpxsim("config --chip 0").out, forChipZero);
}

TEST(RpxsimConfig, TheChipSelectsTheFileSet) {
    auto result = Rpxsim("config --chip 8210 --os 98");
    EXPECT_EQ(result.status, 0) << result.out;
    for (const char* line :
         {"chipId=8210 (file set of the 8210)\n", "source=registry\n", "numberOfBinaryFiles=5\n",
          "file3.name=usbmsc.s\n", "file3.description=USB MSC\n", "file5.name=dcc_8210.s\n",
          "file5.tag=0x03\n", "recoveryFileNumber=5\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
    }
}

TEST(RpxsimConfig, TellsWhereTheFileSetCameFrom) {
    const std::string params = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params";
    const struct {
        const char* name;
        std::string registry;
        std::vector<std::string> lines;
    } cases[] = {
        {"no-subkey",
         "[-" + params.substr(1) + "\\8200]\n",
         {"source=built-in set\n", "numberOfBinaryFiles=4\n", "file3.name=dcc.s\n"}},
        {"no-key",
         "[-" + params.substr(1) + "]\n",
         {"installFolder=(none)\n", "totalKiloBytesReserved=0\n", "defaultQuickUpdate=1\n",
          "source=built-in set\n"}},
        {"no-tag",
         params + "\\8200]\n\"File2_Tag\"=dword:00000000\n",
         {"source=registry, incomplete: File2_Tag is missing or of the wrong size\n",
          "file2.name=Qorvsys.s\n", "file2.tag=0x00\n", "file2.formatType=0\n", "recoveryFileNumber=0\n"}},
        {"too-many",
         params + "\\8200]\n\"NumberOfBinaryFiles\"=dword:0000000d\n",
         {"source=registry, refused: NumberOfBinaryFiles is above 12\n", "numberOfBinaryFiles=0\n",
          "bootManagerFileNumber=0\n"}},
    };
    for (const auto& entry : cases) {
        auto file =
            WriteTemporary(std::string("config-") + entry.name + ".reg", "REGEDIT4\n\n" + entry.registry);
        auto result = Rpxsim("config --registry " + file);
        EXPECT_EQ(result.status, 0) << entry.name << "\n" << result.out;
        for (const auto& line : entry.lines) {
            EXPECT_NE(result.out.find(line), std::string::npos) << entry.name << ": " << line << result.out;
        }
    }
}

TEST(RpxsimConfig, BadChipIdsAreUsageErrors) {
    for (const char* arguments : {"config --chip eighty", "config --chip 0x100000000", "config extra"}) {
        auto result = Rpxsim(arguments);
        EXPECT_EQ(result.status, 2) << arguments << "\n" << result.out;
        EXPECT_EQ(result.out.rfind("rpxsim: ", 0), 0u) << result.out;
    }
}

}  // namespace
