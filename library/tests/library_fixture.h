// A machine with a player plugged in through the bench link, the test thread attached as a process
// of it, and the library's channel closed at the end.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "library/VxMp3.h"
#include "machine/machine.h"
#include "player/tests/test_support.h"

namespace vxmp3_test {

class PlayerScenario : public ::testing::Test {
  protected:
    void Boot(platform::OsFlavour flavour, player::PlayerOptions options = {},
              player::PlayerSettings settings = {}, std::uint32_t megabytes = 16) {
        machine::MachineOptions machineOptions;
        machineOptions.os = flavour;
        std::string error;
        machine_ = machine::Machine::Boot(machineOptions, &error);
        ASSERT_TRUE(machine_) << error;
        auto attached = std::make_unique<player::Player>(
            player::testing::MakePlayer(folder_, megabytes, std::move(options), std::move(settings)));
        player_ = attached.get();
        ASSERT_TRUE(machine_->AttachPlayer(std::move(attached), &error)) << error;
        scope_ = std::make_unique<platform::ProcessScope>(machine_->Pc(), "tool");
    }

    void TearDown() override {
        if (scope_) {
            VxMp3CloseDriver();
        }
        scope_.reset();
    }

    std::uint64_t NowMs() { return machine_->Pc().Sched().NowMs(); }

    player::testing::TempFolder folder_;
    std::unique_ptr<machine::Machine> machine_;
    player::Player* player_ = nullptr;
    std::unique_ptr<platform::ProcessScope> scope_;
};

}  // namespace vxmp3_test
