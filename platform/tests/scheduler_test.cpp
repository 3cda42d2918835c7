// Virtual time: the clock moves only when every machine thread waits, and then jumps.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using namespace w32;

class SchedulerTest : public ::testing::Test {
  protected:
    platform::Platform machine;
    platform::ProcessScope process{machine, "test"};
};

TEST_F(SchedulerTest, SleepReturnsAtExactVirtualTimeInLittleRealTime) {
    auto realStart = std::chrono::steady_clock::now();
    Sleep(2750);
    EXPECT_EQ(GetTickCount(), 2750u);
    EXPECT_EQ(machine.Sched().NowNs(), 2'750'000'000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(500));
}

TEST_F(SchedulerTest, TimedWaitEndsWhenAnotherThreadSetsTheEvent) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE setter = CreateNamedThread("setter", [event] {
        Sleep(100);
        SetEvent(event);
        return DWORD{0};
    });
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(GetTickCount(), 100u);
    EXPECT_EQ(WaitForSingleObject(setter, INFINITE), WAIT_OBJECT_0);
    CloseHandle(setter);
    CloseHandle(event);
}

TEST_F(SchedulerTest, TimedWaitTimesOutAtItsDeadline) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Sleep(30);
    EXPECT_EQ(WaitForSingleObject(event, 2000), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount(), 2030u);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount(), 2030u);
    EXPECT_FALSE(machine.Sched().Halted());
}

TEST_F(SchedulerTest, EarliestDeadlineWinsAcrossThreads) {
    DWORD wokeAt[2] = {};
    HANDLE late = CreateNamedThread("late", [&] {
        Sleep(500);
        wokeAt[1] = GetTickCount();
        return DWORD{0};
    });
    HANDLE early = CreateNamedThread("early", [&] {
        Sleep(200);
        wokeAt[0] = GetTickCount();
        return DWORD{0};
    });
    HANDLE both[] = {late, early};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(wokeAt[0], 200u);
    EXPECT_EQ(wokeAt[1], 500u);
    EXPECT_EQ(GetTickCount(), 500u);
    CloseHandle(late);
    CloseHandle(early);
}

TEST_F(SchedulerTest, DeadlockIsReportedWithThreadNamesInsteadOfHanging) {
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, "never set");
    HANDLE worker =
        CreateNamedThread("stuck worker", [never] { return WaitForSingleObject(never, INFINITE); });
    EXPECT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_FAILED);

    ASSERT_TRUE(machine.Sched().Halted());
    std::string report = machine.Sched().HaltReport();
    EXPECT_NE(report.find("deadlock"), std::string::npos) << report;
    EXPECT_NE(report.find("thread \"stuck worker\""), std::string::npos) << report;
    EXPECT_NE(report.find("thread \"main\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"never set\""), std::string::npos) << report;
    EXPECT_NE(report.find("no time-out"), std::string::npos) << report;
    // Once halted every wait fails at once, so the stuck thread has unwound too.
    EXPECT_EQ(WaitForSingleObject(never, 10), WAIT_FAILED);
}

TEST(SchedulerDaemons, IdleServiceThreadsAreNoDeadlockAndDoNotRunTheClock) {
    platform::Platform machine;
    // The service thread's queue outlives the test body: the thread waits on it until shutdown.
    auto work = std::make_shared<platform::EventObject>(machine.Sched(), false, false, "work");
    int ticks = 0;
    {
        platform::ProcessScope process(machine, "test");
        auto& proc = process.Proc();
        machine.StartThread(
            proc, "dispatcher",
            [&machine, work] {
                platform::WaitableObject* objects[] = {work.get()};
                while (machine.Sched().Wait(objects, false, std::nullopt, false, "queue").kind ==
                       platform::WaitOutcome::Kind::Object) {
                }
                return 0u;
            },
            true);
        machine.StartThread(
            proc, "ticker",
            [&] {
                while (machine.Sched().Sleep(10'000'000, false).kind ==
                       platform::WaitOutcome::Kind::Timeout) {
                    ++ticks;
                }
                return 0u;
            },
            true);
        // Threads woken at the same instant run side by side, so look between two ticks.
        w32::Sleep(105);
        EXPECT_EQ(ticks, 10);
    }
    // With only service threads left, time stands still and nothing is reported.
    auto before = machine.Sched().NowNs();
    EXPECT_EQ(machine.Sched().NowNs(), before);
    EXPECT_FALSE(machine.Sched().Halted());
}

TEST(SchedulerRealMode, DeadlinesFollowTheWallClock) {
    platform::PlatformConfig config;
    config.clock = platform::ClockMode::Real;
    config.realSpeed = 100.0;
    platform::Platform machine(config);
    platform::ProcessScope process(machine, "test");
    auto realStart = std::chrono::steady_clock::now();
    w32::Sleep(1000);  // 10 ms of real time at a hundred times the speed
    EXPECT_GE(w32::GetTickCount(), 1000u);
    EXPECT_GE(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(9));
}

}  // namespace
