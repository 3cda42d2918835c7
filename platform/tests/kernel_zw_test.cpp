// The registry and the C: drive as drivers see them.
#include <fstream>

#include "platform/tests/kernel_test_drivers.h"

namespace kernel_test {
namespace {

class Zw : public KernelTest {
  protected:
    Zw() {
        auto& registry = machine_.Reg();
        auto key = registry.Create(registry.RootByName("HKEY_LOCAL_MACHINE"), "SOFTWARE\\Zephtal\\Params");
        registry.SetValue(key, platform::RegistryValue::Dword("TotalKiloBytesReserved", 512));
        registry.SetValue(key, platform::RegistryValue::String("Install Folder", "C:\\RPX"));
    }

    HANDLE OpenKey(const char16_t* path, NTSTATUS expected = STATUS_SUCCESS) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, path);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                                   nullptr);
        HANDLE key = nullptr;
        EXPECT_EQ(ZwOpenKey(&key, KEY_READ, &attributes), expected);
        return key;
    }

    HANDLE OpenFile(const char16_t* path, NTSTATUS expected = STATUS_SUCCESS) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, path);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                                   nullptr);
        HANDLE file = nullptr;
        IO_STATUS_BLOCK status{};
        EXPECT_EQ(ZwCreateFile(&file, FILE_GENERIC_READ, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                               FILE_SHARE_READ, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0),
                  expected);
        return file;
    }
};

TEST_F(Zw, QueriesAValueAsPartialInformation) {
    HANDLE key = OpenKey(u"\\Registry\\Machine\\SOFTWARE\\zephtal\\PARAMS");
    UNICODE_STRING value;
    RtlInitUnicodeString(&value, u"TotalKiloBytesReserved");
    alignas(8) UCHAR buffer[32];
    ULONG length = 0;
    ASSERT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer, sizeof buffer, &length),
              STATUS_SUCCESS);
    auto* partial = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(partial->Type, REG_DWORD);
    EXPECT_EQ(partial->DataLength, 4u);
    ULONG data;
    std::memcpy(&data, partial->Data, 4);
    EXPECT_EQ(data, 512u);
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(key), STATUS_INVALID_HANDLE);
}

TEST_F(Zw, StringsComeBackInUtf16AndShortBuffersSayHowMuchIsNeeded) {
    HANDLE key = OpenKey(u"\\Registry\\Machine\\SOFTWARE\\Zephtal\\Params");
    UNICODE_STRING value;
    RtlInitUnicodeString(&value, u"Install Folder");
    alignas(8) UCHAR buffer[64];
    ULONG length = 0;
    EXPECT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer, 8, &length),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 12u + 14u);
    EXPECT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer, 20, &length),
              STATUS_BUFFER_OVERFLOW);
    auto* partial = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
    EXPECT_EQ(partial->Type, REG_SZ);
    EXPECT_EQ(partial->DataLength, 14u);
    ASSERT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer, sizeof buffer, &length),
              STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(partial->Data)), u"C:\\RPX");
    RtlInitUnicodeString(&value, u"Missing");
    EXPECT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer, sizeof buffer, &length),
              STATUS_OBJECT_NAME_NOT_FOUND);
    RtlInitUnicodeString(&value, u"Install Folder");
    EXPECT_EQ(ZwQueryValueKey(key, &value, KeyValueFullInformation, buffer, sizeof buffer, &length),
              STATUS_INVALID_INFO_CLASS);
    ZwClose(key);
    OpenKey(u"\\Registry\\Machine\\SOFTWARE\\Nobody", STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(Zw, ReadsAFileOnTheCDriveWithItsSize) {
    std::filesystem::create_directories(machine_.Drive().Root() / "RPX");
    std::ofstream(machine_.Drive().Root() / "RPX" / "dcc.bin", std::ios::binary) << "0123456789";
    HANDLE file = OpenFile(u"\\DosDevices\\C:\\rpx\\DCC.BIN");
    IO_STATUS_BLOCK status{};
    FILE_STANDARD_INFORMATION standard{};
    ASSERT_EQ(ZwQueryInformationFile(file, &status, &standard, sizeof standard, FileStandardInformation),
              STATUS_SUCCESS);
    EXPECT_EQ(standard.EndOfFile.QuadPart, 10);
    EXPECT_FALSE(standard.Directory);
    char buffer[8] = {};
    LARGE_INTEGER offset;
    offset.QuadPart = 6;
    EXPECT_EQ(ZwReadFile(file, nullptr, nullptr, nullptr, &status, buffer, 8, &offset, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(status.Information, 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(ZwReadFile(file, nullptr, nullptr, nullptr, &status, buffer, 8, nullptr, nullptr),
              STATUS_END_OF_FILE);
    EXPECT_EQ(status.Information, 0u);
    EXPECT_EQ(ZwQueryInformationFile(file, &status, &standard, 8, FileStandardInformation),
              STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(ZwClose(file), STATUS_SUCCESS);
    file = OpenFile(u"\\??\\C:\\RPX\\dcc.bin");
    ZwClose(file);
    OpenFile(u"\\DosDevices\\C:\\RPX\\none.bin", STATUS_OBJECT_NAME_NOT_FOUND);
    OpenFile(u"\\DosDevices\\D:\\x.bin", STATUS_OBJECT_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace kernel_test
