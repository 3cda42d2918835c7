// The verifier: a deliberately wrong driver trips each rule once; the machine stops with a
// bugcheck that names the rule, the driver and the object.
#include "platform/tests/kernel_test_drivers.h"

namespace kernel_test {
namespace {

enum WrongCode : ULONG {
    IOCTL_WRONG_COMPLETE_TWICE = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_PENDING_UNMARKED = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_CANCEL_ROUTINE_LEFT = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x902, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_FORWARD_WITHOUT_LOCATION =
        CTL_CODE(FILE_DEVICE_UNKNOWN, 0x903, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_RELEASE_UNHELD = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x904, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_RELEASE_AT_PASSIVE = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x905, METHOD_BUFFERED, FILE_ANY_ACCESS),
    IOCTL_WRONG_FREE_TWICE = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x906, METHOD_BUFFERED, FILE_ANY_ACCESS),
};

struct WrongExtension {
    DEVICE_OBJECT* lower;
    KDPC waitingDpc;
    KEVENT never;
    KSPIN_LOCK lock;
    void* leaked;
};

void NoCancel(DEVICE_OBJECT*, IRP*) {}

// Waits with a time-out although DPCs run at DISPATCH_LEVEL.
void WaitInDpc(KDPC*, PVOID context, PVOID, PVOID) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -10'000;
    KeWaitForSingleObject(&static_cast<WrongExtension*>(context)->never, Executive, KernelMode, FALSE,
                          &timeout);
}

NTSTATUS WrongDispatch(DEVICE_OBJECT* device, IRP* irp) {
    auto* extension = static_cast<WrongExtension*>(device->DeviceExtension);
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    if (location->MajorFunction != IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        return Complete(irp, STATUS_SUCCESS);
    }
    KIRQL irql;
    switch (location->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_WRONG_COMPLETE_TWICE:
            Complete(irp, STATUS_SUCCESS);
            return Complete(irp, STATUS_SUCCESS);
        case IOCTL_WRONG_PENDING_UNMARKED:
            return STATUS_PENDING;
        case IOCTL_WRONG_CANCEL_ROUTINE_LEFT:
            IoSetCancelRoutine(irp, NoCancel);
            return Complete(irp, STATUS_SUCCESS);
        case IOCTL_WRONG_FORWARD_WITHOUT_LOCATION:
            IoCopyCurrentIrpStackLocationToNext(irp);
            return IoCallDriver(extension->lower, irp);
        case IOCTL_WRONG_RELEASE_UNHELD:
            KeReleaseSpinLock(&extension->lock, PASSIVE_LEVEL);
            return Complete(irp, STATUS_SUCCESS);
        case IOCTL_WRONG_RELEASE_AT_PASSIVE:
            KeAcquireSpinLock(&extension->lock, &irql);
            KeLowerIrql(irql);
            KeReleaseSpinLockFromDpcLevel(&extension->lock);
            return Complete(irp, STATUS_SUCCESS);
        case IOCTL_WRONG_FREE_TWICE: {
            void* block = ExAllocatePoolWithTag(NonPagedPool, 16, MakePoolTag("Twic"));
            ExFreePool(block);
            ExFreePool(block);
            return Complete(irp, STATUS_SUCCESS);
        }
        default:
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

void WrongUnload(DRIVER_OBJECT* driver) {
    IoDeleteDevice(driver->DeviceObject);
}  // the pool block stays

NTSTATUS WrongEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\Device\\Wrong0");
    DEVICE_OBJECT* device = nullptr;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(WrongExtension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* extension = static_cast<WrongExtension*>(device->DeviceExtension);
    UNICODE_STRING lowerName;
    RtlInitUnicodeString(&lowerName, u"\\Device\\Lower0");
    FILE_OBJECT* file = nullptr;
    IoGetDeviceObjectPointer(&lowerName, FILE_ALL_ACCESS, &file, &extension->lower);
    ObDereferenceObject(file);
    KeInitializeDpc(&extension->waitingDpc, WaitInDpc, extension);
    KeInitializeEvent(&extension->never, NotificationEvent, FALSE);
    KeInitializeSpinLock(&extension->lock);
    extension->leaked = ExAllocatePoolWithTag(NonPagedPool, 40, MakePoolTag("Leak"));
    for (auto& dispatch : driver->MajorFunction) {
        dispatch = WrongDispatch;
    }
    driver->DriverUnload = WrongUnload;
    return STATUS_SUCCESS;
}

class Verifier;

struct VerifierCase {
    const char* rule;
    const char* names;  // the driver the report must name
    void (*trip)(Verifier& test);
};

class Verifier : public KernelTest, public ::testing::WithParamInterface<VerifierCase> {
  public:
    Verifier() {
        expectBugcheck_ = true;
        Kern().RegisterDriver("Wrong", WrongEntry);
        EXPECT_EQ(Kern().LoadDriver("Wrong", &wrongDriver_), STATUS_SUCCESS);
    }

    WrongExtension* Wrong() {
        return static_cast<WrongExtension*>(wrongDriver_->DeviceObject->DeviceExtension);
    }

    void Send(ULONG code) {
        DEVICE_OBJECT* device = wrongDriver_->DeviceObject;
        IO_STATUS_BLOCK status{};
        IRP* irp =
            IoBuildDeviceIoControlRequest(code, device, nullptr, 0, nullptr, 0, TRUE, nullptr, &status);
        IoCallDriver(device, irp);
    }

    void LeaveAReadWithLower() {
        IRP* irp = IoAllocateIrp(LowerDevice()->StackSize, FALSE);
        IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
        IoCallDriver(LowerDevice(), irp);
    }

    platform::Kernel& Machine() { return Kern(); }

  private:
    DRIVER_OBJECT* wrongDriver_ = nullptr;
};

TEST_P(Verifier, StopsTheMachineWithAReportNamingTheRule) {
    const VerifierCase& c = GetParam();
    EXPECT_EQ(Kern().LastBugcheck(), "");
    c.trip(*this);
    std::string report = Kern().LastBugcheck();
    EXPECT_THAT(report, ::testing::StartsWith(std::string("BUGCHECK ") + c.rule + ":"));
    EXPECT_THAT(report, ::testing::HasSubstr(c.names));
    EXPECT_TRUE(machine_.Sched().Halted());
    EXPECT_EQ(machine_.Sched().HaltReport(), report);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Verifier,
    ::testing::Values(
        VerifierCase{"MULTIPLE_IRP_COMPLETE_REQUESTS", "by \\Driver\\Wrong",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_COMPLETE_TWICE); }},
        VerifierCase{"PENDING_RETURNED_WITHOUT_MARK", "\\Driver\\Wrong returned STATUS_PENDING for IRP",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_PENDING_UNMARKED); }},
        VerifierCase{"CANCEL_ROUTINE_SET_AT_COMPLETION",
                     "by \\Driver\\Wrong while its cancel routine is still set",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_CANCEL_ROUTINE_LEFT); }},
        VerifierCase{"NO_MORE_IRP_STACK_LOCATIONS", "sent on to \\Driver\\Lower by \\Driver\\Wrong",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_FORWARD_WITHOUT_LOCATION); }},
        VerifierCase{"IRQL_NOT_LESS_OR_EQUAL", "with a time-out at DISPATCH_LEVEL by \\Driver\\Wrong",
                     [](Verifier& test) {
                         KeInsertQueueDpc(&test.Wrong()->waitingDpc, nullptr, nullptr);
                         LARGE_INTEGER second;
                         second.QuadPart = -10'000'000;
                         KeDelayExecutionThread(KernelMode, FALSE, &second);
                     }},
        VerifierCase{"SPIN_LOCK_NOT_OWNED", "released by \\Driver\\Wrong, which does not hold it",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_RELEASE_UNHELD); }},
        VerifierCase{"SPIN_LOCK_RELEASED_AT_WRONG_IRQL", "released at IRQL 0 by \\Driver\\Wrong",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_RELEASE_AT_PASSIVE); }},
        VerifierCase{"BAD_POOL_CALLER", "pool block freed twice",
                     [](Verifier& test) { test.Send(IOCTL_WRONG_FREE_TWICE); }},
        VerifierCase{"DRIVER_UNLOADED_WITHOUT_FREEING_POOL",
                     "\\Driver\\Wrong unloaded with pool still allocated: "
                     "tag 'Leak' 1 block(s) 40 bytes",
                     [](Verifier& test) { test.Machine().UnloadDriver("Wrong"); }},
        VerifierCase{"IRP_NEVER_COMPLETED", "IRP_MJ_READ) held by \\Driver\\Lower",
                     [](Verifier& test) {
                         test.LeaveAReadWithLower();
                         test.Machine().Shutdown();
                     }}),
    [](const auto& testCase) { return std::string(testCase.param.rule); });

}  // namespace
}  // namespace kernel_test
