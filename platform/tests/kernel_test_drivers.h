// Small test drivers that pin down what the kernel sends and does, and the fixture that boots a
// machine for them.
//   Lower: "\Device\Lower0" with the link "Lower0"; direct I/O; parks reads (cancellable),
//          completes writes at once, answers two control codes; counts creates, cleanups, closes.
//   Upper: a filter attached on Lower by AddDevice; forwards everything; its read completion
//          routine takes the request back (more processing required) and completes it again
//          from a DPC; its write completion routine logs and lets completion go on.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/platform.h"

namespace kernel_test {

using namespace wdm;

inline constexpr ULONG IOCTL_TEST_ECHO =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr ULONG IOCTL_TEST_BUSY =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr ULONG IOCTL_TEST_WRITE_ONLY =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_WRITE_ACCESS);

// Driver extensions are zeroed driver memory: plain fields only; the log belongs to the test.
struct LowerExtension {
    LIST_ENTRY parked;
    int creates;
    int cleanups;
    int closes;
    KPROCESSOR_MODE lastMode;
    UCHAR lastMajor;
    ACCESS_MASK lastAccess;
    USHORT lastShare;
    std::vector<std::string>* log;
};

struct UpperExtension {
    DEVICE_OBJECT* lower;
    KDPC recomplete;
    std::vector<std::string>* log;
};

inline void Log(std::vector<std::string>* log, std::string entry) {
    if (log != nullptr) {
        log->push_back(std::move(entry));
    }
}

inline NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

inline void LowerCancel(DEVICE_OBJECT*, IRP* irp) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    Complete(irp, STATUS_CANCELLED);
}

inline NTSTATUS LowerDispatch(DEVICE_OBJECT* device, IRP* irp) {
    auto* extension = static_cast<LowerExtension*>(device->DeviceExtension);
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    extension->lastMode = irp->RequestorMode;
    extension->lastMajor = location->MajorFunction;
    switch (location->MajorFunction) {
        case IRP_MJ_CREATE:
            ++extension->creates;
            extension->lastAccess = location->Parameters.Create.SecurityContext->DesiredAccess;
            extension->lastShare = location->Parameters.Create.ShareAccess;
            return Complete(irp, STATUS_SUCCESS);
        case IRP_MJ_CLEANUP:
            ++extension->cleanups;
            Log(extension->log, "cleanup");
            return Complete(irp, STATUS_SUCCESS);
        case IRP_MJ_CLOSE:
            ++extension->closes;
            Log(extension->log, "close");
            return Complete(irp, STATUS_SUCCESS);
        case IRP_MJ_WRITE:
            return Complete(irp, STATUS_SUCCESS, location->Parameters.Write.Length);
        case IRP_MJ_READ: {
            KIRQL irql;
            IoAcquireCancelSpinLock(&irql);
            IoSetCancelRoutine(irp, LowerCancel);
            if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
                IoReleaseCancelSpinLock(irql);
                return Complete(irp, STATUS_CANCELLED);
            }
            IoMarkIrpPending(irp);
            InsertTailList(&extension->parked, &irp->Tail.Overlay.ListEntry);
            IoReleaseCancelSpinLock(irql);
            return STATUS_PENDING;
        }
        case IRP_MJ_DEVICE_CONTROL:
        case IRP_MJ_INTERNAL_DEVICE_CONTROL: {
            auto& parameters = location->Parameters.DeviceIoControl;
            switch (parameters.IoControlCode) {
                case IOCTL_TEST_ECHO: {
                    if (parameters.InputBufferLength < 4 || parameters.OutputBufferLength < 8) {
                        return Complete(irp, STATUS_INVALID_PARAMETER);
                    }
                    auto* words = static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer);
                    ULONG value = words[0];
                    words[0] = value + 1;
                    words[1] = ~value;
                    return Complete(irp, STATUS_SUCCESS, 8);
                }
                case IOCTL_TEST_BUSY:
                    return Complete(irp, STATUS_DEVICE_BUSY);
                case IOCTL_TEST_WRITE_ONLY:
                    return Complete(irp, STATUS_SUCCESS);
                default:
                    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
            }
        }
        default:
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

inline void LowerUnload(DRIVER_OBJECT* driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, u"\\DosDevices\\Lower0");
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(driver->DeviceObject);
}

inline NTSTATUS LowerEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&name, u"\\Device\\Lower0");
    RtlInitUnicodeString(&link, u"\\DosDevices\\Lower0");
    DEVICE_OBJECT* device = nullptr;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(LowerExtension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    device->Flags |= DO_DIRECT_IO;
    InitializeListHead(&static_cast<LowerExtension*>(device->DeviceExtension)->parked);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    for (auto& dispatch : driver->MajorFunction) {
        dispatch = LowerDispatch;
    }
    driver->DriverUnload = LowerUnload;
    return STATUS_SUCCESS;
}

inline void UpperRecomplete(KDPC*, PVOID context, PVOID argument1, PVOID) {
    auto* extension = static_cast<UpperExtension*>(context);
    Log(extension->log, "upper re-complete at IRQL " + std::to_string(KeGetCurrentIrql()));
    IoCompleteRequest(static_cast<IRP*>(argument1), IO_NO_INCREMENT);
}

inline NTSTATUS UpperReadDone(DEVICE_OBJECT*, IRP* irp, PVOID context) {
    auto* extension = static_cast<UpperExtension*>(context);
    Log(extension->log, "upper completion");
    KeInsertQueueDpc(&extension->recomplete, irp, nullptr);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

inline NTSTATUS UpperWriteDone(DEVICE_OBJECT* device, IRP* irp, PVOID context) {
    auto* extension = static_cast<UpperExtension*>(context);
    Log(extension->log,
        device != nullptr && device->DeviceExtension == extension ? "upper" : "upper, wrong device");
    if (irp->PendingReturned) {
        IoMarkIrpPending(irp);
    }
    return STATUS_SUCCESS;
}

inline NTSTATUS UpperDispatch(DEVICE_OBJECT* device, IRP* irp) {
    auto* extension = static_cast<UpperExtension*>(device->DeviceExtension);
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
        case IRP_MJ_READ:
            IoMarkIrpPending(irp);
            IoCopyCurrentIrpStackLocationToNext(irp);
            IoSetCompletionRoutine(irp, UpperReadDone, extension, TRUE, TRUE, TRUE);
            IoCallDriver(extension->lower, irp);
            return STATUS_PENDING;
        case IRP_MJ_WRITE:
            IoCopyCurrentIrpStackLocationToNext(irp);
            IoSetCompletionRoutine(irp, UpperWriteDone, extension, TRUE, TRUE, TRUE);
            return IoCallDriver(extension->lower, irp);
        default:
            IoSkipCurrentIrpStackLocation(irp);
            return IoCallDriver(extension->lower, irp);
    }
}

inline NTSTATUS UpperAddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* physicalDevice) {
    DEVICE_OBJECT* device = nullptr;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(UpperExtension), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* extension = static_cast<UpperExtension*>(device->DeviceExtension);
    extension->lower = IoAttachDeviceToDeviceStack(device, physicalDevice);
    KeInitializeDpc(&extension->recomplete, UpperRecomplete, extension);
    device->Flags |= extension->lower->Flags & (DO_DIRECT_IO | DO_BUFFERED_IO);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

inline NTSTATUS UpperEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    for (auto& dispatch : driver->MajorFunction) {
        dispatch = UpperDispatch;
    }
    driver->DriverExtension->AddDevice = UpperAddDevice;
    return STATUS_SUCCESS;
}

// A machine with the test drivers registered and Lower loaded; the test runs as its main thread.
// Every test ends with the machine's end checks and expects no bugcheck unless it says so.
class KernelTest : public ::testing::Test {
  protected:
    explicit KernelTest(platform::OsFlavour flavour = platform::OsFlavour::WinXp)
        : machine_(ConfigOf(flavour)), scope_(machine_, "test") {
        Kern().RegisterDriver("Lower", LowerEntry);
        Kern().RegisterDriver("Upper", UpperEntry);
        EXPECT_EQ(Kern().LoadDriver("Lower", &lowerDriver_), STATUS_SUCCESS);
        Lower()->log = &log_;
    }

    static platform::PlatformConfig ConfigOf(platform::OsFlavour flavour) {
        platform::PlatformConfig config;
        config.flavour = flavour;
        return config;
    }

    void TearDown() override {
        if (!expectBugcheck_) {
            Kern().Shutdown();
            EXPECT_EQ(Kern().LastBugcheck(), "");
        }
    }

    platform::Kernel& Kern() { return machine_.Kern(); }
    DEVICE_OBJECT* LowerDevice() { return lowerDriver_->DeviceObject; }
    LowerExtension* Lower() { return static_cast<LowerExtension*>(LowerDevice()->DeviceExtension); }

    // Loads Upper and attaches it on Lower.
    UpperExtension* AttachUpper() {
        DRIVER_OBJECT* upper = nullptr;
        EXPECT_EQ(Kern().LoadDriver("Upper", &upper), STATUS_SUCCESS);
        EXPECT_EQ(Kern().AddDevice(upper, LowerDevice()), STATUS_SUCCESS);
        auto* extension = static_cast<UpperExtension*>(upper->DeviceObject->DeviceExtension);
        extension->log = &log_;
        return extension;
    }

    int ParkedReads() {
        int count = 0;
        for (LIST_ENTRY* entry = Lower()->parked.Flink; entry != &Lower()->parked; entry = entry->Flink) {
            ++count;
        }
        return count;
    }

    // Completes the oldest parked read with data, as the device would.
    void CompleteParkedRead(std::string_view data) {
        KIRQL irql;
        IoAcquireCancelSpinLock(&irql);
        ASSERT_FALSE(IsListEmpty(&Lower()->parked));
        IRP* irp = CONTAINING_RECORD(RemoveHeadList(&Lower()->parked), IRP, Tail.Overlay.ListEntry);
        IoSetCancelRoutine(irp, nullptr);
        IoReleaseCancelSpinLock(irql);
        ULONG length = std::min<ULONG>(static_cast<ULONG>(data.size()), MmGetMdlByteCount(irp->MdlAddress));
        std::memcpy(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority), data.data(), length);
        Complete(irp, STATUS_SUCCESS, length);
    }

    std::uint64_t NowMs() { return machine_.Sched().NowMs(); }

    platform::Platform machine_;
    platform::ProcessScope scope_;
    DRIVER_OBJECT* lowerDriver_ = nullptr;
    std::vector<std::string> log_;
    bool expectBugcheck_ = false;
};

}  // namespace kernel_test
