// Device files from user mode: control requests with buffered semantics, overlapped reads with
// events and completion routines, and where the completion routines run.
#include "platform/tests/kernel_test_drivers.h"
#include "platform/win32/win32.h"

namespace kernel_test {
namespace {

class UserIo : public KernelTest {
  protected:
    HANDLE Open(DWORD flags) {
        HANDLE file = w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ | w32::GENERIC_WRITE,
                                       w32::FILE_SHARE_READ, nullptr, w32::OPEN_EXISTING, flags, nullptr);
        EXPECT_NE(file, w32::INVALID_HANDLE_VALUE);
        return file;
    }
};

struct ControlCase {
    const char* name;
    DWORD code;
    DWORD inputLength;
    DWORD outputLength;
    BOOL result;
    DWORD error;  // when the call fails
    DWORD bytes;
};

class DeviceControl : public UserIo, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(DeviceControl, CopiesInAndOutAndReportsTheDriversStatus) {
    const ControlCase& c = GetParam();
    HANDLE file = Open(0);
    std::uint32_t buffer[4] = {7, 0xAAAAAAAA, 0xBBBBBBBB, 0xCCCCCCCC};
    DWORD bytes = 1234;
    BOOL result =
        w32::DeviceIoControl(file, c.code, buffer, c.inputLength, buffer, c.outputLength, &bytes, nullptr);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(bytes, c.bytes);
    if (c.result) {
        EXPECT_EQ(buffer[0], 8u);
        EXPECT_EQ(buffer[1], ~7u);
        EXPECT_EQ(buffer[2], 0xBBBBBBBB) << "beyond the returned count the caller's buffer stays";
    } else {
        EXPECT_EQ(w32::GetLastError(), c.error);
        EXPECT_EQ(buffer[0], 7u);
    }
    EXPECT_EQ(Lower()->lastMode, UserMode);
    EXPECT_EQ(Lower()->lastMajor, IRP_MJ_DEVICE_CONTROL);
    w32::CloseHandle(file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceControl,
    ::testing::Values(ControlCase{"Exact", IOCTL_TEST_ECHO, 4, 8, TRUE, 0, 8},
                      ControlCase{"LargerOutput", IOCTL_TEST_ECHO, 4, 16, TRUE, 0, 8},
                      ControlCase{"ShortInput", IOCTL_TEST_ECHO, 3, 8, FALSE, ERROR_INVALID_PARAMETER, 0},
                      ControlCase{"ShortOutput", IOCTL_TEST_ECHO, 4, 7, FALSE, ERROR_INVALID_PARAMETER, 0},
                      ControlCase{"Busy", IOCTL_TEST_BUSY, 4, 8, FALSE, ERROR_BUSY, 0},
                      ControlCase{"UnknownCode", IOCTL_TEST_ECHO + 0x100, 4, 8, FALSE, ERROR_INVALID_FUNCTION,
                                  0}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(UserIo, ANullBufferWithALengthIsRefusedBeforeTheDriver) {
    HANDLE file = Open(0);
    DWORD bytes = 0;
    EXPECT_FALSE(w32::DeviceIoControl(file, IOCTL_TEST_ECHO, nullptr, 4, nullptr, 8, &bytes, nullptr));
    EXPECT_EQ(w32::GetLastError(), ERROR_NOACCESS);
    EXPECT_EQ(Lower()->lastMajor, IRP_MJ_CREATE);
    w32::CloseHandle(file);
}

TEST_F(UserIo, ASynchronousWriteReturnsItsCount) {
    HANDLE file = Open(0);
    DWORD bytes = 0;
    EXPECT_TRUE(w32::WriteFile(file, "command", 7, &bytes, nullptr));
    EXPECT_EQ(bytes, 7u);
    w32::CloseHandle(file);
}

TEST_F(UserIo, AnOverlappedReadIsPendingUntilTheDeviceAnswersAndThenSetsItsEvent) {
    HANDLE file = Open(w32::FILE_FLAG_OVERLAPPED);
    HANDLE event = w32::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    char buffer[8] = {};
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD bytes = 77;
    EXPECT_FALSE(w32::ReadFile(file, buffer, sizeof buffer, &bytes, &overlapped));
    EXPECT_EQ(w32::GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(w32::WaitForSingleObject(event, 0), w32::WAIT_TIMEOUT) << "the start resets the event";
    EXPECT_EQ(overlapped.Internal, static_cast<ULONG_PTR>(STATUS_PENDING));
    CompleteParkedRead("abc");
    EXPECT_EQ(w32::WaitForSingleObject(event, 0), w32::WAIT_OBJECT_0);
    EXPECT_EQ(overlapped.Internal, 0u);
    EXPECT_EQ(overlapped.InternalHigh, 3u);
    EXPECT_EQ(std::string(buffer), "abc");
    w32::CloseHandle(event);
    w32::CloseHandle(file);
}

struct Delivery {
    int calls = 0;
    DWORD thread = 0;
};

void Delivered(DWORD, DWORD, w32::LPOVERLAPPED overlapped) {
    auto* delivery = static_cast<Delivery*>(overlapped->hEvent);
    ++delivery->calls;
    delivery->thread = w32::GetCurrentThreadId();
}

TEST_F(UserIo, TheCompletionRoutineRunsOnlyOnTheIssuingThreadInAnAlertableWait) {
    HANDLE file = Open(w32::FILE_FLAG_OVERLAPPED);
    char buffer[4];
    Delivery delivery;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &delivery;
    ASSERT_TRUE(w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, Delivered));
    // Another thread completes the read and then waits alertably: the routine is not its own.
    DWORD otherResult = 0;
    HANDLE other = w32::CreateNamedThread("device", [&] {
        CompleteParkedRead("data");
        otherResult = w32::SleepEx(50, TRUE);
        return DWORD{0};
    });
    w32::Sleep(100);  // not alertable: nothing runs here either
    EXPECT_EQ(delivery.calls, 0);
    EXPECT_EQ(otherResult, 0u);
    EXPECT_EQ(w32::SleepEx(1000, TRUE), w32::WAIT_IO_COMPLETION);
    EXPECT_EQ(delivery.calls, 1);
    EXPECT_EQ(delivery.thread, w32::GetCurrentThreadId());
    EXPECT_EQ(NowMs(), 100u) << "the alertable wait returned at once";
    EXPECT_EQ(w32::WaitForSingleObject(other, w32::INFINITE), w32::WAIT_OBJECT_0);
    w32::CloseHandle(other);
    w32::CloseHandle(file);
}

TEST_F(UserIo, AnImmediateFailureOfReadFileExQueuesNoRoutine) {
    HANDLE file = Open(w32::FILE_FLAG_OVERLAPPED);
    Delivery delivery;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &delivery;
    char buffer[4];
    EXPECT_FALSE(w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, nullptr));
    EXPECT_EQ(w32::GetLastError(), ERROR_INVALID_PARAMETER);
    HANDLE synchronous = Open(0);
    EXPECT_FALSE(w32::ReadFileEx(synchronous, buffer, sizeof buffer, &overlapped, Delivered));
    EXPECT_EQ(w32::GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(w32::SleepEx(0, TRUE), 0u);
    EXPECT_EQ(delivery.calls, 0);
    w32::CloseHandle(synchronous);
    w32::CloseHandle(file);
}

TEST_F(UserIo, ACompletionAfterItsThreadEndedIsDropped) {
    HANDLE file = Open(w32::FILE_FLAG_OVERLAPPED);
    Delivery delivery;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &delivery;
    char buffer[8];
    // The issuing thread ends with its read still parked in the device.
    HANDLE issuer = w32::CreateNamedThread("issuer", [&] {
        return w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, Delivered) ? DWORD{0} : DWORD{1};
    });
    EXPECT_EQ(w32::WaitForSingleObject(issuer, INFINITE), w32::WAIT_OBJECT_0);
    DWORD code = 9;
    w32::GetExitCodeThread(issuer, &code);
    EXPECT_EQ(code, 0u);
    w32::CloseHandle(issuer);
    CompleteParkedRead("late");
    EXPECT_EQ(w32::SleepEx(10, TRUE), 0u);
    EXPECT_EQ(delivery.calls, 0);
    EXPECT_EQ(overlapped.InternalHigh, 4u);  // the request itself completed
    w32::CloseHandle(file);
}

}  // namespace
}  // namespace kernel_test
