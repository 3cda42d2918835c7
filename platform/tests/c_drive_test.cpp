// Files on the C: drive: Windows paths onto a host folder, names matched without regard to case.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using namespace w32;

class CDriveTest : public ::testing::Test {
  protected:
    platform::Platform machine;
    platform::ProcessScope process{machine, "test"};
};

TEST_F(CDriveTest, CreateWriteReadAndSizeThroughAnyCase) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Program Files", nullptr));
    EXPECT_FALSE(CreateDirectoryA("c:\\PROGRAM FILES", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE file =
        CreateFileA("C:\\Program Files\\Player.hex", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "S0030000FC\n", 11, &written, nullptr));
    EXPECT_EQ(written, 11u);
    CloseHandle(file);

    // The host file carries the name as created; another case finds it.
    EXPECT_TRUE(std::filesystem::exists(machine.Drive().Root() / "Program Files" / "Player.hex"));
    file = CreateFileA("c:/program files/PLAYER.HEX", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 11u);
    EXPECT_EQ(high, 0u);
    char text[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, text, sizeof text, &read, nullptr));
    EXPECT_EQ(read, 11u);
    EXPECT_STREQ(text, "S0030000FC\n");
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));  // opened for reading only
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    ASSERT_TRUE(ReadFile(file, text, 2, &read, nullptr));
    EXPECT_EQ(std::string(text, 2), "03");
    CloseHandle(file);

    EXPECT_TRUE(DeleteFileA("C:\\PROGRAM FILES\\player.hex"));
    EXPECT_FALSE(DeleteFileA("C:\\PROGRAM FILES\\player.hex"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(CDriveTest, OpenErrorsAndPathsOffTheDrive) {
    EXPECT_EQ(CreateFileA("C:\\missing.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("D:\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileA("C:\\..\\..\\etc\\passwd", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileA("\\\\.\\ZPRPX73u0", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE file = CreateFileA("C:\\once.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(file);
    EXPECT_EQ(CreateFileA("C:\\ONCE.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(GetFileAttributesA("c:\\"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(CDriveTest, KernelPathsReachTheSameFolder) {
    auto host = machine.Drive().Resolve("\\DosDevices\\C:\\Windows\\vxscsi.dcc");
    ASSERT_TRUE(host);
    EXPECT_EQ(*host, machine.Drive().Root() / "Windows" / "vxscsi.dcc");
    EXPECT_EQ(machine.Drive().Resolve("\\??\\c:\\a\\..\\b"), machine.Drive().Root() / "b");
}

}  // namespace
