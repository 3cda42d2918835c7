// The real tools that judge the volumes the library writes: dosfstools' fsck.fat (and mtools),
// found in the system folders, run on an image, their report read back.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace vxmp3::testing {

// The path of a host tool, or empty when it is not installed.
inline std::string HostTool(const char* name) {
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}) {
        std::string candidate = std::string(folder) + "/" + name;
        if (std::filesystem::exists(candidate)) {
            return candidate;
        }
    }
    return "";
}

struct CommandResult {
    int status = -1;  // the exit status; -1 when the command did not end normally
    std::string output;
};

// Runs a shell command with its output (both streams) in `outputFile`, and reads that back.
inline CommandResult RunCommand(const std::string& command, const std::string& outputFile) {
    CommandResult result;
    int status = std::system((command + " > " + outputFile + " 2>&1").c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream output(outputFile);
    result.output.assign(std::istreambuf_iterator<char>(output), std::istreambuf_iterator<char>());
    return result;
}

// `fsck.fat -n` on a FAT image must report the volume with `summary` in its last line and
// nothing else wrong. The one remark allowed is on the volume label of eleven spaces that the
// library's formats write: fsck.fat 4.2 would rather see "NO NAME" and exits with 1 for it.
inline void ExpectFsckAccepts(const std::string& image, const std::string& summary,
                              const std::string& reportFile) {
    std::string fsck = HostTool("fsck.fat");
    ASSERT_FALSE(fsck.empty()) << "fsck.fat (dosfstools) is needed to judge the volume and was not found";
    CommandResult result = RunCommand(fsck + " -n " + image, reportFile);
    EXPECT_GE(result.status, 0) << result.output;
    EXPECT_LE(result.status, 1) << result.output;
    EXPECT_NE(result.output.find(summary), std::string::npos) << result.output;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        bool allowed =
            line.empty() || line.rfind("fsck.fat ", 0) == 0 || line.find(summary) != std::string::npos ||
            line == "Label '' stored in boot sector is not valid." ||
            line == "  Auto-removing label from boot sector." || line == "Leaving filesystem unchanged.";
        EXPECT_TRUE(allowed) << "fsck.fat: " << line << "\n" << result.output;
    }
}

}  // namespace vxmp3::testing
