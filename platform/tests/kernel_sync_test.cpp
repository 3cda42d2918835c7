// Executive services in the machine clock: waits with time-outs, delays, system time, DPCs and
// timers on the dispatcher thread, IRQL and spin locks, kernel mutexes.
#include "platform/tests/kernel_test_drivers.h"

namespace kernel_test {
namespace {

using ExecutiveServices = KernelTest;

struct Synchronous {
    KEVENT done;
    NTSTATUS status = STATUS_PENDING;
};

NTSTATUS SignalDone(DEVICE_OBJECT*, IRP* irp, PVOID context) {
    auto* request = static_cast<Synchronous*>(context);
    request->status = irp->IoStatus.Status;
    KeSetEvent(&request->done, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

TEST_F(ExecutiveServices, ASynchronousRequestTimesOutAfterExactlyTwoSecondsAndIsThenCancelled) {
    Synchronous request;
    KeInitializeEvent(&request.done, NotificationEvent, FALSE);
    char buffer[64];
    IRP* irp = IoAllocateIrp(LowerDevice()->StackSize, FALSE);
    irp->MdlAddress = IoAllocateMdl(buffer, sizeof buffer, FALSE, FALSE, nullptr);
    MmBuildMdlForNonPagedPool(irp->MdlAddress);
    IO_STACK_LOCATION* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_READ;
    next->Parameters.Read.Length = sizeof buffer;
    IoSetCompletionRoutine(irp, SignalDone, &request, TRUE, TRUE, TRUE);
    ASSERT_EQ(IoCallDriver(LowerDevice(), irp), STATUS_PENDING);

    LARGE_INTEGER timeout;
    timeout.QuadPart = -20'000'000;
    EXPECT_EQ(KeWaitForSingleObject(&request.done, Executive, KernelMode, FALSE, &timeout), STATUS_TIMEOUT);
    EXPECT_EQ(NowMs(), 2000u);
    EXPECT_TRUE(IoCancelIrp(irp));
    EXPECT_EQ(KeWaitForSingleObject(&request.done, Executive, KernelMode, FALSE, &timeout), STATUS_SUCCESS);
    EXPECT_EQ(request.status, STATUS_CANCELLED);
    EXPECT_EQ(NowMs(), 2000u);
    IoFreeMdl(irp->MdlAddress);
    IoFreeIrp(irp);
}

TEST_F(ExecutiveServices, DelaysAndSystemTimeFollowTheMachineClock) {
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    KeQuerySystemTime(&before);
    LARGE_INTEGER delay;
    delay.QuadPart = -2'750'000;  // 275 ms
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &delay), STATUS_SUCCESS);
    KeQuerySystemTime(&after);
    EXPECT_EQ(after.QuadPart - before.QuadPart, 2'750'000);
    EXPECT_EQ(NowMs(), 275u);
    // An absolute time-out is a system time.
    KEVENT never;
    KeInitializeEvent(&never, SynchronizationEvent, FALSE);
    LARGE_INTEGER deadline;
    deadline.QuadPart = after.QuadPart + 1'000'000;
    EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &deadline), STATUS_TIMEOUT);
    EXPECT_EQ(NowMs(), 375u);
}

TEST_F(ExecutiveServices, EventsReportTheirPreviousState) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    EXPECT_EQ(KeSetEvent(&event, IO_NO_INCREMENT, FALSE), 0);
    EXPECT_EQ(KeSetEvent(&event, IO_NO_INCREMENT, FALSE), 1);
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    EXPECT_EQ(KeResetEvent(&event), 1);
    KeClearEvent(&event);
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    LARGE_INTEGER poll{};
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
    KEVENT automatic;
    KeInitializeEvent(&automatic, SynchronizationEvent, TRUE);
    EXPECT_EQ(KeWaitForSingleObject(&automatic, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&automatic), 0) << "a synchronization event is taken by its waiter";
}

struct DpcRecord {
    KDPC dpc;
    KEVENT ran;
    int runs = 0;
    KIRQL irql = 0xFF;
    DWORD thread = 0;
    PVOID argument = nullptr;
};

void RecordDpc(KDPC*, PVOID context, PVOID argument1, PVOID) {
    auto* record = static_cast<DpcRecord*>(context);
    ++record->runs;
    record->irql = KeGetCurrentIrql();
    record->thread = platform::Scheduler::CurrentThread()->id;
    record->argument = argument1;
    KeSetEvent(&record->ran, IO_NO_INCREMENT, FALSE);
}

// Queues the recorded DPC twice from inside a DPC: the dispatcher is busy running this one, so the
// second insert certainly finds the first still queued.
struct DoubleInsert {
    KDPC dpc;
    DpcRecord* target;
    PVOID argument;
    BOOLEAN first;
    BOOLEAN second;
};

void InsertTwiceDpc(KDPC*, PVOID context, PVOID, PVOID) {
    auto* insert = static_cast<DoubleInsert*>(context);
    insert->first = KeInsertQueueDpc(&insert->target->dpc, insert->argument, nullptr);
    insert->second = KeInsertQueueDpc(&insert->target->dpc, nullptr, nullptr);
}

TEST_F(ExecutiveServices, ADpcRunsOnceOnTheDispatcherThreadAtDispatchLevel) {
    DpcRecord record;
    KeInitializeEvent(&record.ran, NotificationEvent, FALSE);
    KeInitializeDpc(&record.dpc, RecordDpc, &record);
    int marker = 0;
    DoubleInsert insert{{}, &record, &marker, FALSE, FALSE};
    KeInitializeDpc(&insert.dpc, InsertTwiceDpc, &insert);
    EXPECT_TRUE(KeInsertQueueDpc(&insert.dpc, nullptr, nullptr));
    EXPECT_EQ(KeWaitForSingleObject(&record.ran, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_TRUE(insert.first);
    EXPECT_FALSE(insert.second) << "already queued";
    EXPECT_EQ(record.runs, 1);
    EXPECT_EQ(record.irql, DISPATCH_LEVEL);
    EXPECT_NE(record.thread, platform::Scheduler::CurrentThread()->id);
    EXPECT_EQ(record.argument, &marker);
    EXPECT_EQ(NowMs(), 0u);
}

TEST_F(ExecutiveServices, ACancelledTimerNeverRunsItsDpcAndASetOneSignalsItself) {
    DpcRecord record;
    KeInitializeEvent(&record.ran, NotificationEvent, FALSE);
    KeInitializeDpc(&record.dpc, RecordDpc, &record);
    KTIMER cancelled;
    KeInitializeTimer(&cancelled);
    LARGE_INTEGER oneSecond;
    oneSecond.QuadPart = -10'000'000;
    EXPECT_FALSE(KeSetTimer(&cancelled, oneSecond, &record.dpc));
    EXPECT_TRUE(KeCancelTimer(&cancelled));
    EXPECT_FALSE(KeCancelTimer(&cancelled));
    KTIMER plain;
    KeInitializeTimer(&plain);
    LARGE_INTEGER threeSeconds;
    threeSeconds.QuadPart = -30'000'000;
    KeSetTimer(&plain, threeSeconds, nullptr);
    EXPECT_EQ(KeWaitForSingleObject(&plain, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 3000u);
    EXPECT_TRUE(KeReadStateTimer(&plain));
    EXPECT_EQ(record.runs, 0);
}

TEST_F(ExecutiveServices, SpinLocksRaiseToDispatchLevelAndRestoreTheCallersLevel) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    LARGE_INTEGER poll{};
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, TRUE);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS)
        << "a zero time-out is allowed at DISPATCH_LEVEL";
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_EQ(lock, 0u);
}

TEST_F(ExecutiveServices, KernelMutexesAreRecursiveAndOwnedByAThread) {
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    NTSTATUS other = STATUS_PENDING;
    auto* process = platform::Scheduler::CurrentThread()->process;
    auto thread = machine_.StartThread(*process, "contender", [&] {
        LARGE_INTEGER wait;
        wait.QuadPart = -1'000'000;
        other = KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &wait);
        return 0u;
    });
    machine_.JoinThread(*thread);
    EXPECT_EQ(other, STATUS_TIMEOUT);
    KeReleaseMutex(&mutex, FALSE);
    KeReleaseMutex(&mutex, FALSE);
}

TEST_F(ExecutiveServices, DebugPrintsLandInTheKernelTrace) {
    DbgPrint("Smartmedia DCC Version: %x\n", 0x1234);
    EXPECT_TRUE(machine_.Trace().Contains("Smartmedia DCC Version: 1234", "kernel"));
}

}  // namespace
}  // namespace kernel_test
