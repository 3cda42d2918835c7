// A bare simulated PC of one flavour with the test's thread attached as a process, and its
// registry filled from REGEDIT4 text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace tools::testing {

inline constexpr const char* kParamsKey =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params]\n";

class MachineFixture : public ::testing::Test {
  protected:
    explicit MachineFixture(platform::PlatformConfig config = {})
        : pc_(std::move(config)), process_(pc_, "tool") {}

    // Merges REGEDIT4 text (the "REGEDIT4" line is added) into the machine's registry.
    void LoadRegistry(const std::string& text) {
        auto result = pc_.Reg().LoadRegedit4("REGEDIT4\n\n" + text);
        ASSERT_TRUE(result.ok) << result.Message();
    }

    platform::Platform pc_;
    platform::ProcessScope process_;
};

}  // namespace tools::testing
