// Events, mutexes, critical sections, waits for several objects and user APCs.
#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using namespace w32;

class SyncTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_FALSE(machine.Sched().Halted()) << machine.Sched().HaltReport(); }

    platform::Platform machine;
    platform::ProcessScope process{machine, "test"};
};

std::vector<DWORD> apcLog;
void RecordApc(ULONG_PTR data) {
    apcLog.push_back(static_cast<DWORD>(data) * 1000 + GetCurrentThreadId() % 1000);
}

TEST_F(SyncTest, ApcRunsOnlyOnItsThreadInsideAnAlertableWait) {
    apcLog.clear();
    DWORD mainId = GetCurrentThreadId();
    // The pseudo handle would name the queuer itself there: hand it a real handle.
    HANDLE mainThread = OpenThread(THREAD_SET_CONTEXT, FALSE, mainId);
    HANDLE queued = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE queuer = CreateNamedThread("queuer", [&] {
        QueueUserAPC(RecordApc, mainThread, 7);
        SetEvent(queued);
        return DWORD{0};
    });

    // A wait that is not alertable neither runs the APC nor ends because of it.
    EXPECT_EQ(WaitForSingleObject(queued, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(queuer, INFINITE), WAIT_OBJECT_0);
    Sleep(50);
    EXPECT_TRUE(apcLog.empty());

    // The next alertable wait runs it on this thread and reports the I/O completion.
    EXPECT_EQ(SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
    ASSERT_EQ(apcLog.size(), 1u);
    EXPECT_EQ(apcLog[0], 7000 + mainId % 1000);
    EXPECT_EQ(GetTickCount(), 50u);  // it returned at once, not after the second
    CloseHandle(queuer);
    CloseHandle(queued);
    CloseHandle(mainThread);
}

TEST_F(SyncTest, ApcQueuedDuringAnAlertableWaitEndsIt) {
    apcLog.clear();
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiter = CreateNamedThread("waiter", [&] { return WaitForSingleObjectEx(never, 5000, TRUE); });
    Sleep(300);
    EXPECT_EQ(QueueUserAPC(RecordApc, waiter, 3), 1u);
    EXPECT_EQ(WaitForSingleObject(waiter, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_EQ(code, WAIT_IO_COMPLETION);
    EXPECT_EQ(apcLog.size(), 1u);
    EXPECT_EQ(GetTickCount(), 300u);
    CloseHandle(waiter);
    CloseHandle(never);
}

TEST_F(SyncTest, NamedMutexExistenceAndOwnership) {
    SetLastError(1234);
    HANDLE first = CreateMutexA(nullptr, TRUE, "VxMp3FormatInstance");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE second = CreateMutexA(nullptr, FALSE, "VxMp3FormatInstance");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE other = CreateMutexA(nullptr, FALSE, "vxmp3formatinstance");  // names are case-sensitive
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE unnamed = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // Both handles refer to the one mutex this thread owns: another thread cannot take it.
    DWORD seen = 0;
    HANDLE taker = CreateNamedThread("taker", [&] {
        seen = WaitForSingleObject(second, 100);
        return DWORD{0};
    });
    WaitForSingleObject(taker, INFINITE);
    EXPECT_EQ(seen, WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(other));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(first));

    CloseHandle(first);
    CloseHandle(second);
    // With every handle closed the name is gone.
    HANDLE again = CreateMutexA(nullptr, FALSE, "VxMp3FormatInstance");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "NoSuchMutex"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    for (HANDLE h : {taker, other, unnamed, again})
        CloseHandle(h);
}

TEST_F(SyncTest, AutoResetWakesOneWaiterManualResetWakesAll) {
    for (BOOL manual : {FALSE, TRUE}) {
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
        int woke = 0;
        std::vector<HANDLE> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.push_back(CreateNamedThread("waiter", [&, event] {
                if (WaitForSingleObject(event, 1000) == WAIT_OBJECT_0)
                    ++woke;
                return DWORD{0};
            }));
        }
        Sleep(10);
        SetEvent(event);
        WaitForMultipleObjects(3, waiters.data(), TRUE, INFINITE);
        EXPECT_EQ(woke, manual ? 3 : 1) << (manual ? "manual" : "auto");
        for (HANDLE h : waiters)
            CloseHandle(h);
        CloseHandle(event);
    }
}

TEST_F(SyncTest, WaitForAnyReportsTheFirstSignalledIndex) {
    HANDLE events[3];
    for (auto& e : events)
        e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    HANDLE bogus = reinterpret_cast<HANDLE>(std::uintptr_t{0x7777});
    EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    for (auto& e : events)
        CloseHandle(e);
}

TEST_F(SyncTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    DWORD enteredAt = 0;
    HANDLE other = CreateNamedThread("other", [&] {
        EnterCriticalSection(&section);
        enteredAt = GetTickCount();
        LeaveCriticalSection(&section);
        return DWORD{0};
    });
    Sleep(40);
    LeaveCriticalSection(&section);
    Sleep(40);
    EXPECT_EQ(enteredAt, 0u);  // still held once
    LeaveCriticalSection(&section);
    WaitForSingleObject(other, INFINITE);
    EXPECT_EQ(enteredAt, 80u);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    CloseHandle(other);
}

TEST_F(SyncTest, ThreadExitCodeAndHandles) {
    HANDLE thread = CreateNamedThread("exits", [] { return DWORD{42}; });
    DWORD code = 0;
    WaitForSingleObject(thread, INFINITE);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
