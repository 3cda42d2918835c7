// Running the rpxsim binary as a user would, for the tests of its subcommands.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

namespace rpxsim::testing {

struct Result {
    int status;
    std::string out;  // standard output and error together
};

inline Result Rpxsim(const std::string& arguments) {
    std::string command = std::string(RPXSIM_PATH) + " " + arguments + " 2>&1";
    Result result{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        result.out.append(buffer.data(), n);
    }
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string WriteTemporary(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace rpxsim::testing
