// The main of every test program: each process gets a temporary folder of its own, so test cases
// that CTest runs side by side in separate processes never share the files they make there
// (::testing::TempDir() reads TEST_TMPDIR). The folder goes when the process ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "rpx-test-XXXXXX").string();
    const char* folder = ::mkdtemp(pattern.data());
    if (folder != nullptr) {
        ::setenv("TEST_TMPDIR", folder, 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (folder != nullptr) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    return result;
}
