// The values directly under the Params key: install folder, reserved kilobytes, quick update and
// the chip variant of a USB identity.
#include "tools/common/configuration_store.h"

#include <cstring>

#include "tools/common/tests/machine_fixture.h"

namespace tools {
namespace {

using namespace win;
using testing::kParamsKey;

struct InstallFolderCase {
    const char* name;
    std::string registry;  // values under the Params key; "-" for no key at all
    bool read;
    std::string folder;
};

class InstallFolderTest : public testing::MachineFixture,
                          public ::testing::WithParamInterface<InstallFolderCase> {};

TEST_P(InstallFolderTest, ReadsTheFolderOrFails) {
    if (GetParam().registry != "-") {
        LoadRegistry(kParamsKey + GetParam().registry);
    }
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(ReadInstallFolder(buffer, sizeof buffer), GetParam().read);
    if (GetParam().read) {
        EXPECT_EQ(std::string(buffer), GetParam().folder);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallFolderTest,
    ::testing::Values(
        InstallFolderCase{"Present", "\"Install Folder\"=\"C:\\\\Program Files\\\\RPX\"\n", true,
                          "C:\\Program Files\\RPX"},
        InstallFolderCase{"NoKey", "-", false, {}},
        InstallFolderCase{"NoValue", "\"TotalKiloBytesReserved\"=dword:00000400\n", false, {}},
        InstallFolderCase{"Of259Characters", "\"Install Folder\"=\"C:\\\\" + std::string(256, 'f') + "\"\n",
                          true, "C:\\" + std::string(256, 'f')},
        InstallFolderCase{
            "Of260Characters", "\"Install Folder\"=\"C:\\\\" + std::string(257, 'f') + "\"\n", false, {}},
        InstallFolderCase{"Empty", "\"Install Folder\"=\"\"\n", false, {}},
        InstallFolderCase{"NotAString", "\"Install Folder\"=dword:00000001\n", false, {}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

using ConfigurationStoreTest = testing::MachineFixture;

TEST_F(ConfigurationStoreTest, AStringWithoutItsNulIsTerminated) {
    LoadRegistry(kParamsKey + std::string("\"Install Folder\"=hex(1):43,3a,5c,52\n"));
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(ReadInstallFolder(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "C:\\R");
    EXPECT_FALSE(ReadInstallFolder(buffer, 4));  // "C:\R" and no room for its NUL
    EXPECT_FALSE(ReadInstallFolder(nullptr, 260));
}

struct ReservedCase {
    const char* registry;
    DWORD kiloBytes;
    std::uint32_t pagesPerBlock;
    std::uint32_t blocks;
};

class ReservedTest : public testing::MachineFixture, public ::testing::WithParamInterface<ReservedCase> {};

TEST_P(ReservedTest, KiloBytesBecomeWholeBlocksRoundedUp) {
    LoadRegistry(kParamsKey + std::string(GetParam().registry));
    EXPECT_EQ(ReadTotalKiloBytesReserved(), GetParam().kiloBytes);
    EXPECT_EQ(ReservedBlockCount(512, GetParam().pagesPerBlock), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReservedTest,
    ::testing::Values(ReservedCase{"\"TotalKiloBytesReserved\"=dword:00000064\n", 100, 32, 7},
                      ReservedCase{"\"TotalKiloBytesReserved\"=dword:00000400\n", 1024, 32, 64},
                      ReservedCase{"\"TotalKiloBytesReserved\"=dword:000003e8\n", 1000, 32, 63},
                      ReservedCase{"\"TotalKiloBytesReserved\"=dword:00000064\n", 100, 16, 13},
                      ReservedCase{"\"TotalKiloBytesReserved\"=dword:00000064\n", 100, 0, 0},
                      ReservedCase{"\"TotalKiloBytesReserved\"=dword:00000000\n", 0, 32, 0},
                      ReservedCase{"\"TotalKiloBytesReserved\"=hex:64\n", 0, 32, 0},
                      ReservedCase{"", 0, 32, 0}));

TEST_F(ConfigurationStoreTest, WithoutTheKeyNothingIsReservedAndQuickUpdateIsOn) {
    EXPECT_EQ(ReadTotalKiloBytesReserved(), 0u);
    EXPECT_EQ(ReservedBlockCount(512, 32), 0u);
    EXPECT_TRUE(ReadDefaultQuickUpdate());
}

TEST_F(ConfigurationStoreTest, DefaultQuickUpdateIsOnUnlessZero) {
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"", true},
                 {"\"DefaultQuickUpdate\"=dword:00000000\n", false},
                 {"\"DefaultQuickUpdate\"=dword:00000001\n", true},
                 {"\"DefaultQuickUpdate\"=dword:00000005\n", true}};
    for (const auto& entry : cases) {
        LoadRegistry("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal]\n" + std::string(kParamsKey) + entry.value);
        EXPECT_EQ(ReadDefaultQuickUpdate(), entry.on) << entry.value;
    }
}

TEST_F(ConfigurationStoreTest, UsbIdValueNamesUseFourLowerCaseHexDigits) {
    EXPECT_EQ(UsbIdValueName(0x2F4D, 0x8210), "VID_2f4d&PID_8210");
    EXPECT_EQ(UsbIdValueName(0x3A6E, 0x0C07), "VID_3a6e&PID_0c07");
    EXPECT_EQ(UsbIdValueName(0, 1), "VID_0000&PID_0001");
}

TEST_F(ConfigurationStoreTest, TheChipVariantOfAUsbIdIsItsValue) {
    LoadRegistry(kParamsKey + std::string("\"VID_3a6e&PID_0c08\"=dword:00002012\n"));
    DWORD chipId = 0x3A6E0C08;
    EXPECT_TRUE(ReadChipVariantOfUsbId(UsbIdValueName(0x3A6E, 0x0C08).c_str(), &chipId));
    EXPECT_EQ(chipId, 8210u);
}

TEST_F(ConfigurationStoreTest, AMissingUsbIdValueLeavesTheChipIdAsItWas) {
    LoadRegistry(kParamsKey + std::string("\"VID_3a6e&PID_0c07\"=hex:08,20\n"));
    for (const char* name : {"VID_3a6e&PID_0c07", "VID_1234&PID_5678"}) {
        DWORD chipId = 0x3A6E0C07;
        EXPECT_FALSE(ReadChipVariantOfUsbId(name, &chipId)) << name;
        EXPECT_EQ(chipId, 0x3A6E0C07u) << name;
    }
}

TEST_F(ConfigurationStoreTest, WithoutTheKeyEveryUsbIdIsAn8210) {
    DWORD chipId = 0x3A6E0C07;
    EXPECT_FALSE(ReadChipVariantOfUsbId("VID_3a6e&PID_0c07", &chipId));
    EXPECT_EQ(chipId, 8210u);
    EXPECT_FALSE(ReadChipVariantOfUsbId(nullptr, &chipId));
}

}  // namespace
}  // namespace tools
