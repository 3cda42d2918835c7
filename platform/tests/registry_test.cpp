// The registry through the Reg... calls and as REGEDIT4 text.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using namespace w32;

constexpr const char* kParams = "SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params";

class RegistryTest : public ::testing::Test {
  protected:
    HKEY CreateParams() {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParams, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        return key;
    }

    platform::Platform machine;
    platform::ProcessScope process{machine, "test"};
};

TEST_F(RegistryTest, NamesCompareWithoutRegardToCase) {
    HKEY key = CreateParams();
    const char folder[] = "C:\\Program Files\\RPX";
    ASSERT_EQ(RegSetValueExA(key, "Install Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                             sizeof folder),
              ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\ZEPHTAL\\zephtal rpx-7300 mp3 player\\PARAMS", 0,
                            KEY_READ, &again),
              ERROR_SUCCESS);
    char text[64] = {};
    DWORD size = sizeof text;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(again, "INSTALL FOLDER", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof folder);
    EXPECT_STREQ(text, folder);

    // Setting a value under another case replaces it, keeping one value.
    DWORD one = 1;
    RegSetValueExA(again, "install folder", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
    char name[32];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(again, 0, name, &nameSize, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(again, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(again);
}

TEST_F(RegistryTest, QueryReportsMissingValuesAndShortBuffers) {
    HKEY key = CreateParams();
    DWORD reserved = 1024;
    RegSetValueExA(key, "TotalKiloBytesReserved", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&reserved), 4);

    DWORD value = 0;
    DWORD size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "TotalKiloBytesReserved", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 0u);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "TotalKiloBytesReserved", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(key, "TotalKiloBytesReserved", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1024u);
    EXPECT_EQ(
        RegQueryValueExA(key, "DefaultQuickUpdate", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_FILE_NOT_FOUND);
    HKEY missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "8230", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(std::uintptr_t{0x4444}), "x", nullptr, nullptr, nullptr,
                               &size),
              ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubkeysAndDeletesPerFamily) {
    for (auto flavour : {platform::OsFlavour::Win98, platform::OsFlavour::WinXp}) {
        platform::Platform pc(platform::PlatformConfig::Of(flavour));
        platform::ProcessScope scope(pc, "test");
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\8210\\Inner", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        RegCloseKey(key);
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\8200", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
        HKEY test = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, &test), ERROR_SUCCESS);
        char name[8];
        DWORD size = sizeof name;
        ASSERT_EQ(RegEnumKeyExA(test, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_STREQ(name, "8200");
        EXPECT_EQ(size, 4u);
        size = 4;  // no room for the terminating NUL
        EXPECT_EQ(RegEnumKeyExA(test, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
        size = sizeof name;
        EXPECT_EQ(RegEnumKeyExA(test, 2, name, &size, nullptr, nullptr, nullptr, nullptr),
                  ERROR_NO_MORE_ITEMS);

        // The 9x family deletes the whole subtree; the NT family refuses a key with subkeys.
        bool nt = flavour == platform::OsFlavour::WinXp;
        EXPECT_EQ(RegDeleteKeyA(test, "8210"), nt ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(test, "8200"), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(test, "8200"), ERROR_FILE_NOT_FOUND);
        RegCloseKey(test);
    }
}

TEST_F(RegistryTest, Regedit4RoundTrip) {
    const char* text =
        "REGEDIT4\r\n"
        "\r\n"
        "; the product's configuration\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params]\r\n"
        "\"Install Folder\"=\"C:\\\\Program Files\\\\Zephtal \\\"RPX\\\"\"\r\n"
        "\"TotalKiloBytesReserved\"=dword:00000400\r\n"
        "\"Blob\"=hex:01,02,ff,\\\r\n"
        "  00\r\n"
        "\"Files\"=hex(7):61,00,62,00,00\r\n"
        "@=\"default\"\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params\\8200]\r\n"
        "\"NumberOfBinaryFiles\"=dword:00000003\r\n"
        "\r\n";
    auto result = machine.Reg().LoadRegedit4(text);
    ASSERT_TRUE(result.ok) << result.Message();

    auto params =
        machine.Reg().OpenPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params");
    ASSERT_TRUE(params);
    EXPECT_EQ(machine.Reg().QueryValue(params, "install folder")->AsString(),
              "C:\\Program Files\\Zephtal \"RPX\"");
    EXPECT_EQ(machine.Reg().QueryValue(params, "TotalKiloBytesReserved")->AsDword(), 1024u);
    EXPECT_EQ(machine.Reg().QueryValue(params, "Blob")->data, (std::vector<std::uint8_t>{1, 2, 0xFF, 0}));
    EXPECT_EQ(machine.Reg().QueryValue(params, "Files")->type, REG_MULTI_SZ);
    // The kernel's name for the same tree.
    EXPECT_EQ(
        machine.Reg().OpenPath("\\Registry\\Machine\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params"),
        params);

    std::string saved = machine.Reg().SaveRegedit4("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal");
    platform::Platform other;
    auto reload = other.Reg().LoadRegedit4(saved);
    ASSERT_TRUE(reload.ok) << reload.Message() << "\n" << saved;
    EXPECT_EQ(other.Reg().SaveRegedit4("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal"), saved);
    EXPECT_NE(saved.find("\"TotalKiloBytesReserved\"=dword:00000400\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("@=\"default\"\r\n"), std::string::npos) << saved;
}

TEST_F(RegistryTest, Regedit4DeletesKeysAndValues) {
    ASSERT_TRUE(machine.Reg()
                    .LoadRegedit4("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n")
                    .ok);
    ASSERT_TRUE(machine.Reg().LoadRegedit4("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\A\\B]\n\"x\"=-\n").ok);
    auto b = machine.Reg().OpenPath("HKEY_CURRENT_USER\\Software\\A\\B");
    ASSERT_TRUE(b);
    EXPECT_FALSE(machine.Reg().QueryValue(b, "x"));
    EXPECT_TRUE(machine.Reg().QueryValue(b, "y"));
    ASSERT_TRUE(machine.Reg().LoadRegedit4("REGEDIT4\n[-HKEY_CURRENT_USER\\Software\\A]\n").ok);
    EXPECT_FALSE(machine.Reg().OpenPath("HKEY_CURRENT_USER\\Software\\A"));
    EXPECT_TRUE(b->Deleted());
}

struct MalformedCase {
    const char* text;
    int line;
    const char* reason;
};

class Regedit4Malformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(Regedit4Malformed, IsRejectedWithItsLineAndNothingLoaded) {
    platform::Platform machine;
    const auto& bad = GetParam();
    auto result = machine.Reg().LoadRegedit4(bad.text);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, bad.line) << result.Message();
    EXPECT_NE(result.reason.find(bad.reason), std::string::npos) << result.Message();
    EXPECT_FALSE(machine.Reg().OpenPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Good"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Regedit4Malformed,
    ::testing::Values(
        MalformedCase{"Windows Registry Editor\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n", 1, "REGEDIT4"},
        MalformedCase{"", 1, "REGEDIT4"},
        MalformedCase{
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"a\"=\"1\"\n\n\"b\"=dword:1234567890\n", 5,
            "dword"},
        MalformedCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"a\"=hex:1,02\n", 3, "hex"},
        MalformedCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"a\"=\"open\n", 3, "quote"},
        MalformedCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"a\" \"1\"\n", 3, "'='"},
        MalformedCase{"REGEDIT4\n\"a\"=\"1\"\n", 2, "outside"},
        MalformedCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n[HKEY_NOWHERE\\X]\n", 3, "root"},
        MalformedCase{"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good\n", 2, "']'"}),
    [](const auto& testCase) {
        return "Line" + std::to_string(testCase.param.line) + "Case" + std::to_string(testCase.index);
    });

}  // namespace
