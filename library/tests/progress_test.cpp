// The progress state: the phase handshake in virtual time, the clamp at 100, and the reads.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>

#include "library/VxMp3.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using namespace w32;

class ProgressTest : public ::testing::Test {
  protected:
    ProgressTest() : scope_(machine_, "tool") { VxMp3SetPhase(0, 0.0, nullptr); }
    ~ProgressTest() override {
        if (event_ != nullptr) {
            CloseHandle(event_);
        }
    }

    HANDLE Event() {
        // Signalled at the start, so that only the handshake's reset explains a full wait.
        event_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        EXPECT_NE(event_, nullptr);
        return event_;
    }

    double Progress() {
        double progress = -1.0;
        EXPECT_EQ(VxMp3GetProgress(&progress, nullptr), 1);
        return progress;
    }

    ULONG Phase() {
        ULONG phase = 0xFFFFFFFF;
        EXPECT_EQ(VxMp3GetProgress(nullptr, &phase), 1);
        return phase;
    }

    platform::Platform machine_;
    platform::ProcessScope scope_;
    HANDLE event_ = nullptr;
};

TEST_F(ProgressTest, PhaseWithoutMonitorWaitsTwoSeconds) {
    HANDLE event = Event();
    DWORD start = GetTickCount();
    EXPECT_EQ(VxMp3SetPhase(3, 0.0, event), 1);
    EXPECT_EQ(GetTickCount() - start, 2000u);
    EXPECT_EQ(Phase(), 3u);
    EXPECT_EQ(Progress(), 0.0);
}

TEST_F(ProgressTest, PhaseReturnsOnceTheMonitorHasPolled) {
    HANDLE event = Event();
    std::atomic<bool> stop{false};
    std::atomic<ULONG> seenPhase{0};
    // The tool's monitor: poll, then set the handshake event, every 100 ms.
    HANDLE monitor = CreateNamedThread("monitor", [&]() -> DWORD {
        while (!stop) {
            Sleep(100);
            ULONG phase = 0;
            VxMp3GetProgress(nullptr, &phase);
            seenPhase = phase;
            SetEvent(event);
        }
        return 0;
    });
    ASSERT_NE(monitor, nullptr);
    Sleep(30);  // the announcement falls between two polls

    DWORD start = GetTickCount();
    EXPECT_EQ(VxMp3SetPhase(3, 0.0, event), 1);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GT(elapsed, 0u);
    EXPECT_LE(elapsed, 100u);
    EXPECT_EQ(seenPhase, 3u);

    stop = true;
    EXPECT_EQ(WaitForSingleObject(monitor, INFINITE), WAIT_OBJECT_0);
    CloseHandle(monitor);
}

TEST_F(ProgressTest, PhaseWithoutEventDoesNotWait) {
    DWORD start = GetTickCount();
    EXPECT_EQ(VxMp3SetPhase(9, 0.0, nullptr), 1);
    EXPECT_EQ(GetTickCount() - start, 0u);
    EXPECT_EQ(Phase(), 9u);
}

struct ProgressCase {
    const char* name;
    double start;
    bool announce;  // announce phase 7 with `percent` instead of adding it
    double percent;
    double expected;
};

class ProgressRule : public ProgressTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressRule, AddsAndClamps) {
    const ProgressCase& c = GetParam();
    VxMp3SetProgress(c.start);
    ASSERT_EQ(Progress(), c.start);
    EXPECT_EQ(c.announce ? VxMp3SetPhase(7, c.percent, nullptr) : VxMp3SetProgress(c.percent), 1);
    EXPECT_EQ(Progress(), c.expected);
    EXPECT_EQ(Phase(), c.announce ? 7u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressRule,
                         ::testing::Values(ProgressCase{"AddBelowTheTop", 30.0, false, 20.0, 50.0},
                                           ProgressCase{"AddPastTheTopStopsAt100", 99.5, false, 1.0, 100.0},
                                           ProgressCase{"PhaseWith100AfterProgress30", 30.0, true, 100.0,
                                                        100.0},
                                           ProgressCase{"PhaseWithSomeProgressAdds", 30.0, true, 25.0, 55.0},
                                           ProgressCase{"PhaseWith0Restarts", 30.0, true, 0.0, 0.0},
                                           ProgressCase{"NegativeStopsAt0", 30.0, false, -50.0, 0.0},
                                           ProgressCase{"NotANumberIsIgnored", 30.0, false,
                                                        std::numeric_limits<double>::quiet_NaN(), 30.0}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(ProgressTest, GetProgressFillsOnlyTheGivenPointers) {
    VxMp3SetPhase(5, 40.0, nullptr);
    ULONG phase = 0;
    EXPECT_EQ(VxMp3GetProgress(nullptr, &phase), 1);
    EXPECT_EQ(phase, 5u);
    double progress = 0.0;
    EXPECT_EQ(VxMp3GetProgress(&progress, nullptr), 1);
    EXPECT_EQ(progress, 40.0);
    EXPECT_EQ(VxMp3GetProgress(nullptr, nullptr), 1);
}

}  // namespace
