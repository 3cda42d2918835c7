// Cancellation: CancelIo from user mode, a driver's one-shot timer that cancels what is still
// outstanding, and cancel routines under the cancel spin lock.
#include "platform/tests/kernel_test_drivers.h"
#include "platform/win32/win32.h"

namespace kernel_test {
namespace {

using Cancel = KernelTest;

struct Outcome {
    int calls = 0;
    DWORD error = 0;
    DWORD bytes = 99;
};

void Record(DWORD error, DWORD bytes, w32::LPOVERLAPPED overlapped) {
    auto* outcome = static_cast<Outcome*>(overlapped->hEvent);
    ++outcome->calls;
    outcome->error = error;
    outcome->bytes = bytes;
}

HANDLE OpenLower() {
    return w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ | w32::GENERIC_WRITE, w32::FILE_SHARE_READ,
                            nullptr, w32::OPEN_EXISTING, w32::FILE_FLAG_OVERLAPPED, nullptr);
}

TEST_F(Cancel, CancelIoEndsThePendingReadWithOperationAborted) {
    HANDLE file = OpenLower();
    char buffer[64];
    Outcome outcome;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &outcome;
    ASSERT_TRUE(w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, Record));
    EXPECT_EQ(w32::SleepEx(1000, TRUE), 0u) << "nothing completes by itself";
    EXPECT_TRUE(w32::CancelIo(file));
    EXPECT_EQ(ParkedReads(), 0);
    EXPECT_EQ(w32::SleepEx(w32::INFINITE, TRUE), w32::WAIT_IO_COMPLETION);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(outcome.bytes, 0u);
    EXPECT_EQ(overlapped.Internal, static_cast<ULONG_PTR>(static_cast<std::uint32_t>(STATUS_CANCELLED)));
    w32::CloseHandle(file);
}

TEST_F(Cancel, CancelIoLeavesOtherThreadsRequestsAlone) {
    HANDLE file = OpenLower();
    char mine[4];
    char theirs[4];
    Outcome myOutcome;
    Outcome theirOutcome;
    w32::OVERLAPPED myOverlapped{};
    myOverlapped.hEvent = &myOutcome;
    w32::OVERLAPPED theirOverlapped{};
    theirOverlapped.hEvent = &theirOutcome;
    HANDLE other = w32::CreateNamedThread("reader", [&] {
        w32::ReadFileEx(file, theirs, sizeof theirs, &theirOverlapped, Record);
        return w32::SleepEx(w32::INFINITE, TRUE);
    });
    w32::Sleep(10);
    ASSERT_TRUE(w32::ReadFileEx(file, mine, sizeof mine, &myOverlapped, Record));
    EXPECT_EQ(ParkedReads(), 2);
    w32::CancelIo(file);
    EXPECT_EQ(ParkedReads(), 1);
    CompleteParkedRead("late");
    EXPECT_EQ(w32::WaitForSingleObject(other, w32::INFINITE), w32::WAIT_OBJECT_0);
    EXPECT_EQ(theirOutcome.error, 0u);
    EXPECT_EQ(theirOutcome.bytes, 4u);
    EXPECT_EQ(w32::SleepEx(0, TRUE), w32::WAIT_IO_COMPLETION);
    EXPECT_EQ(myOutcome.error, ERROR_OPERATION_ABORTED);
    w32::CloseHandle(other);
    w32::CloseHandle(file);
}

// A driver's own transfer, as the miniport sends its packets: a request it builds, a one-shot
// timer whose DPC cancels the request when no answer comes in time.
struct Transfer {
    IRP* irp = nullptr;
    MDL* mdl = nullptr;
    KTIMER timer;
    KDPC timeout;
    KEVENT done;
    NTSTATUS status = STATUS_PENDING;
    std::uint64_t doneAtMs = 0;
    char buffer[64];
};

NTSTATUS TransferDone(DEVICE_OBJECT*, IRP* irp, PVOID context) {
    auto* transfer = static_cast<Transfer*>(context);
    transfer->status = irp->IoStatus.Status;
    KeCancelTimer(&transfer->timer);
    IoFreeMdl(transfer->mdl);
    IoFreeIrp(irp);
    transfer->doneAtMs = KeQueryInterruptTime() / 10'000;
    KeSetEvent(&transfer->done, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void TransferTimedOut(KDPC*, PVOID context, PVOID, PVOID) {
    IoCancelIrp(static_cast<Transfer*>(context)->irp);
}

void StartTransfer(DEVICE_OBJECT* device, Transfer& transfer) {
    KeInitializeTimer(&transfer.timer);
    KeInitializeDpc(&transfer.timeout, TransferTimedOut, &transfer);
    KeInitializeEvent(&transfer.done, NotificationEvent, FALSE);
    transfer.irp = IoAllocateIrp(static_cast<CCHAR>(device->StackSize + 1), FALSE);
    IoSetNextIrpStackLocation(transfer.irp);
    transfer.mdl = IoAllocateMdl(transfer.buffer, sizeof transfer.buffer, FALSE, FALSE, nullptr);
    MmBuildMdlForNonPagedPool(transfer.mdl);
    transfer.irp->MdlAddress = transfer.mdl;
    IO_STACK_LOCATION* next = IoGetNextIrpStackLocation(transfer.irp);
    next->MajorFunction = IRP_MJ_READ;
    next->Parameters.Read.Length = sizeof transfer.buffer;
    IoSetCompletionRoutine(transfer.irp, TransferDone, &transfer, TRUE, TRUE, TRUE);
    LARGE_INTEGER twoSeconds;
    twoSeconds.QuadPart = -20'000'000;
    KeSetTimer(&transfer.timer, twoSeconds, &transfer.timeout);
    EXPECT_EQ(IoCallDriver(device, transfer.irp), STATUS_PENDING);
}

TEST_F(Cancel, ADriversOneShotTimerCancelsAnUnansweredRequestAfterTwoSeconds) {
    Transfer transfer;
    StartTransfer(LowerDevice(), transfer);
    EXPECT_EQ(KeWaitForSingleObject(&transfer.done, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(transfer.status, STATUS_CANCELLED);
    EXPECT_EQ(transfer.doneAtMs, 2000u);
    EXPECT_EQ(NowMs(), 2000u);
    EXPECT_EQ(ParkedReads(), 0);
}

TEST_F(Cancel, AnAnswerInTimeStopsTheTimer) {
    Transfer transfer;
    StartTransfer(LowerDevice(), transfer);
    LARGE_INTEGER halfSecond;
    halfSecond.QuadPart = -5'000'000;
    KeDelayExecutionThread(KernelMode, FALSE, &halfSecond);
    CompleteParkedRead("answer");
    EXPECT_EQ(transfer.status, STATUS_SUCCESS);
    EXPECT_EQ(transfer.doneAtMs, 500u);
    LARGE_INTEGER fiveSeconds;
    fiveSeconds.QuadPart = -50'000'000;
    KeDelayExecutionThread(KernelMode, FALSE, &fiveSeconds);
    EXPECT_EQ(std::string(transfer.buffer, 6), "answer");
    EXPECT_EQ(Kern().PoolByTag(MakePoolTag("Mdl ")).blocks, 0u);
}

TEST_F(Cancel, ClosingTheHandleCancelsWhatTheDriverStillHolds) {
    HANDLE file = OpenLower();
    char buffer[4];
    Outcome outcome;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &outcome;
    ASSERT_TRUE(w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, Record));
    w32::CloseHandle(file);
    EXPECT_EQ(ParkedReads(), 0);
    EXPECT_EQ(w32::SleepEx(0, TRUE), w32::WAIT_IO_COMPLETION);
    EXPECT_EQ(outcome.error, ERROR_OPERATION_ABORTED);
    EXPECT_THAT(log_, ::testing::ElementsAre("cleanup", "close"));
}

}  // namespace
}  // namespace kernel_test
