// The I/O manager: device stacks, completion walking upwards, the namespace, opens and closes,
// and requests that drivers build.
#include "platform/tests/kernel_test_drivers.h"
#include "platform/win32/win32.h"

namespace kernel_test {
namespace {

using ::testing::ElementsAre;

using KernelIo = KernelTest;

struct ReadResult {
    DWORD error = 0xFFFF;
    DWORD bytes = 0;
    DWORD thread = 0;
};

void RecordRead(DWORD error, DWORD bytes, w32::LPOVERLAPPED overlapped) {
    auto* result =
        static_cast<ReadResult*>(overlapped->hEvent);  // the caller's own word, as the library uses it
    result->error = error;
    result->bytes = bytes;
    result->thread = w32::GetCurrentThreadId();
}

TEST_F(KernelIo, UpperTakesTheReadBackAndCompletesItAgainFromADpc) {
    AttachUpper();
    HANDLE file =
        w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ | w32::GENERIC_WRITE, w32::FILE_SHARE_READ,
                         nullptr, w32::OPEN_EXISTING, w32::FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, w32::INVALID_HANDLE_VALUE);
    char buffer[64] = {};
    ReadResult result;
    w32::OVERLAPPED overlapped{};
    overlapped.hEvent = &result;
    ASSERT_TRUE(w32::ReadFileEx(file, buffer, sizeof buffer, &overlapped, RecordRead));
    EXPECT_EQ(ParkedReads(), 1);

    CompleteParkedRead("hello");
    EXPECT_EQ(w32::SleepEx(w32::INFINITE, TRUE), w32::WAIT_IO_COMPLETION);
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 5u);
    EXPECT_EQ(std::string(buffer), "hello");
    EXPECT_EQ(overlapped.InternalHigh, 5u);
    w32::CloseHandle(file);
    EXPECT_THAT(log_, ElementsAre("upper completion", "upper re-complete at IRQL 2", "cleanup", "close"));
}

NTSTATUS CallerDone(DEVICE_OBJECT* device, IRP* irp, PVOID context) {
    auto* log = static_cast<std::vector<std::string>*>(context);
    Log(log, device == nullptr ? "caller" : "caller, unexpected device");
    Log(log,
        "status " + std::to_string(irp->IoStatus.Status) + ", " + std::to_string(irp->IoStatus.Information));
    IoFreeIrp(irp);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

TEST_F(KernelIo, CompletionRoutinesRunFromTheLowestUpwardsWithTheirOwnDevice) {
    AttachUpper();
    DEVICE_OBJECT* top = IoGetAttachedDevice(LowerDevice());
    ASSERT_EQ(top->StackSize, 2);
    IRP* irp = IoAllocateIrp(top->StackSize, FALSE);
    ASSERT_NE(irp, nullptr);
    IO_STACK_LOCATION* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_WRITE;
    next->Parameters.Write.Length = 12;
    IoSetCompletionRoutine(irp, CallerDone, &log_, TRUE, TRUE, TRUE);
    EXPECT_EQ(IoCallDriver(top, irp), STATUS_SUCCESS);
    EXPECT_THAT(log_, ElementsAre("upper", "caller", "status 0, 12"));
    EXPECT_EQ(Lower()->lastMode, KernelMode);
}

struct InvokeCase {
    const char* name;
    NTSTATUS status;
    bool cancel;
    BOOLEAN onSuccess, onError, onCancel;
    bool invoked;
};

class CompletionInvoke : public KernelTest, public ::testing::WithParamInterface<InvokeCase> {};

NTSTATUS Mark(DEVICE_OBJECT*, IRP* irp, PVOID context) {
    *static_cast<bool*>(context) = true;
    IoFreeIrp(irp);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// A request completed by the caller's own driver runs its routine only for the chosen outcomes.
TEST_P(CompletionInvoke, FollowsTheInvokeFlags) {
    const InvokeCase& c = GetParam();
    bool invoked = false;
    IRP* irp = IoAllocateIrp(2, FALSE);
    IoSetNextIrpStackLocation(irp);  // the caller's own location
    IoSetCompletionRoutine(irp, Mark, &invoked, c.onSuccess, c.onError, c.onCancel);
    IoSetNextIrpStackLocation(irp);
    irp->Cancel = c.cancel ? TRUE : FALSE;
    irp->IoStatus.Status = c.status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    EXPECT_EQ(invoked, c.invoked);
    if (!invoked) {
        // Without the routine completion ran to the top of a driver's request: that is a bugcheck.
        EXPECT_THAT(Kern().LastBugcheck(), ::testing::HasSubstr("DRIVER_IRP_COMPLETED_TO_IO_MANAGER"));
        expectBugcheck_ = true;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompletionInvoke,
    ::testing::Values(InvokeCase{"SuccessOnSuccess", STATUS_SUCCESS, false, TRUE, FALSE, FALSE, true},
                      InvokeCase{"SuccessNotOnError", STATUS_SUCCESS, false, FALSE, TRUE, TRUE, false},
                      InvokeCase{"ErrorOnError", STATUS_INVALID_PARAMETER, false, FALSE, TRUE, FALSE, true},
                      InvokeCase{"ErrorNotOnSuccess", STATUS_INVALID_PARAMETER, false, TRUE, FALSE, FALSE,
                                 false},
                      InvokeCase{"CancelOnCancel", STATUS_CANCELLED, true, FALSE, FALSE, TRUE, true}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(KernelIo, AnAbsentNameFailsWithFileNotFound) {
    HANDLE file =
        w32::CreateFileA("\\\\.\\Nobody0", w32::GENERIC_READ, 0, nullptr, w32::OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, w32::INVALID_HANDLE_VALUE);
    EXPECT_EQ(w32::GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Lower()->creates, 0);
}

TEST_F(KernelIo, TheCreateCarriesAccessShareAndModeAndCloseSendsCleanupThenClose) {
    HANDLE file =
        w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ | w32::GENERIC_WRITE, w32::FILE_SHARE_READ,
                         nullptr, w32::OPEN_EXISTING, w32::FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, w32::INVALID_HANDLE_VALUE);
    EXPECT_EQ(Lower()->creates, 1);
    EXPECT_EQ(Lower()->lastMode, UserMode);
    EXPECT_EQ(Lower()->lastAccess & (FILE_READ_DATA | FILE_WRITE_DATA), FILE_READ_DATA | FILE_WRITE_DATA);
    EXPECT_EQ(Lower()->lastShare, FILE_SHARE_READ);
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(w32::CloseHandle(file));
    EXPECT_THAT(log_, ElementsAre("cleanup", "close"));
}

TEST_F(KernelIo, AReadOnlyHandleRefusesWritesAndWriteAccessCodes) {
    HANDLE file = w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ, w32::FILE_SHARE_READ, nullptr,
                                   w32::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, w32::INVALID_HANDLE_VALUE);
    DWORD done = 99;
    EXPECT_FALSE(w32::WriteFile(file, "abc", 3, &done, nullptr));
    EXPECT_EQ(w32::GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(w32::DeviceIoControl(file, IOCTL_TEST_WRITE_ONLY, nullptr, 0, nullptr, 0, &done, nullptr));
    EXPECT_EQ(w32::GetLastError(), ERROR_ACCESS_DENIED);
    w32::CloseHandle(file);
}

TEST_F(KernelIo, AKernelOpenReachesTheTopOfTheStackAndTheLastReferenceCloses) {
    AttachUpper();
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\Device\\Lower0");
    FILE_OBJECT* file = nullptr;
    DEVICE_OBJECT* device = nullptr;
    ASSERT_EQ(IoGetDeviceObjectPointer(&name, FILE_ALL_ACCESS, &file, &device), STATUS_SUCCESS);
    EXPECT_EQ(device, IoGetAttachedDevice(LowerDevice()));
    EXPECT_NE(device, LowerDevice());
    EXPECT_EQ(Lower()->lastMode, KernelMode);
    EXPECT_THAT(log_, ElementsAre("cleanup"));
    ObDereferenceObject(file);
    EXPECT_THAT(log_, ElementsAre("cleanup", "close"));
}

TEST_F(KernelIo, ADriverBuiltControlRequestIsKernelModeAndCopiesItsOutputBack) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK status{};
    ULONG input = 41;
    ULONG output[2] = {};
    IRP* irp = IoBuildDeviceIoControlRequest(IOCTL_TEST_ECHO, LowerDevice(), &input, sizeof input, output,
                                             sizeof output, TRUE, &event, &status);
    ASSERT_NE(irp, nullptr);
    EXPECT_EQ(IoCallDriver(LowerDevice(), irp), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(status.Status, STATUS_SUCCESS);
    EXPECT_EQ(status.Information, 8u);
    EXPECT_EQ(output[0], 42u);
    EXPECT_EQ(output[1], ~41u);
    EXPECT_EQ(Lower()->lastMode, KernelMode);
    EXPECT_EQ(Lower()->lastMajor, IRP_MJ_INTERNAL_DEVICE_CONTROL);
}

TEST_F(KernelIo, TheNamespaceListsDevicesAndLinksAndRefusesDuplicates) {
    EXPECT_THAT(Kern().Names(), ElementsAre("\\??\\Lower0 -> \\Device\\Lower0", "\\Device\\Lower0"));
    EXPECT_EQ(Kern().CreateSymbolicLink("\\??\\Lower0", "\\Device\\Other"), STATUS_OBJECT_NAME_COLLISION);
    DEVICE_OBJECT* device = nullptr;
    EXPECT_EQ(
        Kern().CreateDevice(lowerDriver_, 0, "\\Device\\Lower0", FILE_DEVICE_UNKNOWN, 0, false, &device),
        STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(Kern().UnloadDriver("Lower"), STATUS_SUCCESS);
    EXPECT_TRUE(Kern().Names().empty());
}

class KernelNinetyEight : public KernelTest {
  protected:
    KernelNinetyEight() : KernelTest(platform::OsFlavour::Win98) {}
};

TEST_F(KernelNinetyEight, LinksLiveInDosDevicesAndThereIsNoQuestionMarkDirectory) {
    EXPECT_THAT(Kern().Names(), ElementsAre("\\Device\\Lower0", "\\DosDevices\\Lower0 -> \\Device\\Lower0"));
    EXPECT_EQ(Kern().CreateSymbolicLink("\\??\\Other0", "\\Device\\Lower0"), STATUS_OBJECT_PATH_NOT_FOUND);
    HANDLE file =
        w32::CreateFileA("\\\\.\\Lower0", w32::GENERIC_READ, 0, nullptr, w32::OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, w32::INVALID_HANDLE_VALUE);
    w32::CloseHandle(file);
}

}  // namespace
}  // namespace kernel_test
