#include "machine/bench_link/bench_link.h"

#include <cstring>
#include <string>

#include "library/VxMp3.h"
#include "platform/platform.h"

namespace machine {

namespace {

using namespace wdm;

constexpr ULONG kUnitLimit = 100;

// The device extension is driver memory: plain fields, set up by Attach.
struct LinkDevice {
    player::Player* player;
    unsigned unit;
    bool unplugged;
    ULONG userData[3];  // exclusiveAccess, mediaChanged, removalAllowed
    LIST_ENTRY queue;   // requests waiting for the player
    IRP* current;       // the request whose simulated time is running
    LIST_ENTRY parked;  // reads the player does not answer: they wait until cancelled
    KTIMER timer;
    KDPC done;
};

LinkDevice* LinkOf(DEVICE_OBJECT* device) {
    return static_cast<LinkDevice*>(device->DeviceExtension);
}

std::string DeviceName(unsigned unit) {
    return "\\Device\\ZPRPX73u" + std::to_string(unit);
}
std::string LinkName(const char* prefix, unsigned unit) {
    return "\\DosDevices\\" + std::string(prefix) + std::to_string(unit);
}

NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void* BufferOf(IRP* irp) {
    return MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
}

// Requests that wait (queued or parked) can be cancelled; the cancel spin lock guards the lists.
void CancelWaiting(DEVICE_OBJECT*, IRP* irp) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    Complete(irp, STATUS_CANCELLED);
}

// Hands the request to the player now and starts its simulated time; with the cancel lock held.
// Returns false for a read the player leaves unanswered (it is parked instead).
bool StartOnPlayer(LinkDevice& link, IRP* irp, LONGLONG* dueNs) {
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    player::ElapsedTime time;
    if (location->MajorFunction == IRP_MJ_WRITE) {
        ULONG length = location->Parameters.Write.Length;
        auto result = link.player->HandleBulkOut({static_cast<const std::uint8_t*>(BufferOf(irp)), length});
        if (!result.accepted) {
            return false;  // a device that is off never acknowledges: the write waits
        }
        irp->IoStatus.Information = length;
        time = result.time;
    } else {
        ULONG length = location->Parameters.Read.Length;
        auto result = link.player->HandleBulkIn(length);
        if (!result.answered) {
            return false;
        }
        ULONG delivered = static_cast<ULONG>(std::min<std::size_t>(result.data.size(), length));
        std::memcpy(BufferOf(irp), result.data.data(), delivered);
        irp->IoStatus.Information = delivered;
        time = result.time;
    }
    *dueNs = time.Total().count();
    return true;
}

// Starts the next queued request, when none runs. With the cancel spin lock held.
void StartNext(LinkDevice& link) {
    while (link.current == nullptr && !IsListEmpty(&link.queue)) {
        IRP* irp = CONTAINING_RECORD(RemoveHeadList(&link.queue), IRP, Tail.Overlay.ListEntry);
        IoSetCancelRoutine(irp, nullptr);
        LONGLONG dueNs = 0;
        if (!StartOnPlayer(link, irp, &dueNs)) {
            IoSetCancelRoutine(irp, CancelWaiting);
            InsertTailList(&link.parked, &irp->Tail.Overlay.ListEntry);
            continue;
        }
        link.current = irp;
        LARGE_INTEGER due;
        due.QuadPart = -((dueNs + 99) / 100);  // relative, in 100 ns units
        if (due.QuadPart == 0) {
            due.QuadPart = -1;
        }
        KeSetTimer(&link.timer, due, &link.done);
    }
}

// The simulated time of the current request has passed: it completes, and the next one starts.
void TransferDone(KDPC*, PVOID context, PVOID, PVOID) {
    auto& link = *static_cast<LinkDevice*>(context);
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    IRP* irp = link.current;
    link.current = nullptr;
    StartNext(link);
    IoReleaseCancelSpinLock(irql);
    if (irp != nullptr) {
        Complete(irp, STATUS_SUCCESS, irp->IoStatus.Information);
    }
}

// An idle link called at PASSIVE_LEVEL serves the request on the caller's thread: the player
// answers now and the caller waits out the simulated time itself. That is the same duration in
// the machine's clock without a hand-over to the dispatcher thread and back, which is what keeps
// long media operations cheap on the host. With the cancel spin lock held on entry; released.
NTSTATUS TransferOnCallersThread(LinkDevice& link, IRP* irp, KIRQL irql) {
    LONGLONG dueNs = 0;
    if (!StartOnPlayer(link, irp, &dueNs)) {
        IoMarkIrpPending(irp);
        IoSetCancelRoutine(irp, CancelWaiting);
        InsertTailList(&link.parked, &irp->Tail.Overlay.ListEntry);
        IoReleaseCancelSpinLock(irql);
        return STATUS_PENDING;
    }
    link.current = irp;  // requests arriving meanwhile queue behind it
    IoReleaseCancelSpinLock(irql);
    LARGE_INTEGER delay;
    delay.QuadPart = -((dueNs + 99) / 100);
    if (delay.QuadPart != 0) {
        KeDelayExecutionThread(KernelMode, FALSE, &delay);
    }
    IoAcquireCancelSpinLock(&irql);
    link.current = nullptr;
    StartNext(link);
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_SUCCESS, irp->IoStatus.Information);
}

NTSTATUS QueueTransfer(LinkDevice& link, IRP* irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (link.unplugged) {
        IoReleaseCancelSpinLock(irql);
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    if (irql == PASSIVE_LEVEL && link.current == nullptr && IsListEmpty(&link.queue)) {
        return TransferOnCallersThread(link, irp, irql);
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelWaiting);
    InsertTailList(&link.queue, &irp->Tail.Overlay.ListEntry);
    StartNext(link);
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

NTSTATUS DispatchTransfer(DEVICE_OBJECT* device, IRP* irp) {
    auto& link = *LinkOf(device);
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    ULONG length = location->MajorFunction == IRP_MJ_WRITE ? location->Parameters.Write.Length
                                                           : location->Parameters.Read.Length;
    if (length == 0) {
        return Complete(irp, STATUS_SUCCESS);
    }
    return QueueTransfer(link, irp);
}

// Writes one 32-bit word into a buffered request's output, after the length check.
NTSTATUS AnswerWord(IRP* irp, ULONG outputLength, ULONG value) {
    if (outputLength < sizeof(ULONG)) {
        return Complete(irp, STATUS_INVALID_PARAMETER);
    }
    std::memcpy(irp->AssociatedIrp.SystemBuffer, &value, sizeof value);
    return Complete(irp, STATUS_SUCCESS, sizeof value);
}

NTSTATUS DispatchControl(DEVICE_OBJECT* device, IRP* irp) {
    auto& link = *LinkOf(device);
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    ULONG inputLength = location->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outputLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    auto* buffer = static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer);
    if (link.unplugged) {
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    switch (location->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_VXMP3_GET_STATUS:
            if (outputLength < 4 * sizeof(ULONG)) {
                return Complete(irp, STATUS_INVALID_PARAMETER);
            }
            std::memcpy(buffer, link.userData, sizeof link.userData);
            return Complete(irp, STATUS_SUCCESS, 4 * sizeof(ULONG));
        case IOCTL_VXMP3_SET_STATUS:
            if (inputLength < 4 * sizeof(ULONG)) {
                return Complete(irp, STATUS_INVALID_PARAMETER);
            }
            std::memcpy(link.userData, buffer, sizeof link.userData);
            return Complete(irp, STATUS_SUCCESS);
        case IOCTL_VXMP3_RECONFIGURE: {
            KIRQL irql;
            IoAcquireCancelSpinLock(&irql);
            link.player->HandleReset();
            IoReleaseCancelSpinLock(irql);
            return Complete(irp, STATUS_SUCCESS);
        }
        case IOCTL_VXMP3_GET_DEVICE_VERSION:
            return AnswerWord(irp, outputLength, link.player->ReleaseNumber());
        case IOCTL_VXMP3_GET_DEVICE_STATUS:
            return AnswerWord(irp, outputLength, link.player->InterfaceSubclass());
        case IOCTL_VXMP3_GET_CHIP_ID: {
            auto ids = link.player->NormalModeIds();
            return AnswerWord(irp, outputLength, static_cast<ULONG>(ids.vendorId) << 16 | ids.productId);
        }
        default:
            return Complete(irp, STATUS_INVALID_PARAMETER);
    }
}

NTSTATUS DispatchOpenClose(DEVICE_OBJECT*, IRP* irp) {
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS DispatchOther(DEVICE_OBJECT*, IRP* irp) {
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
}

void BenchLinkUnload(DRIVER_OBJECT*) {}

NTSTATUS BenchLinkEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    for (auto& dispatch : driver->MajorFunction) {
        dispatch = DispatchOther;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_READ] = DispatchTransfer;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchTransfer;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = BenchLinkUnload;
    return STATUS_SUCCESS;
}

bool NeedsNtNames(platform::Platform& pc) {
    return pc.IsNtFamily() || pc.Flavour() == platform::OsFlavour::WinMe;
}

DEVICE_OBJECT* FindUnit(DRIVER_OBJECT* driver, unsigned unit) {
    for (DEVICE_OBJECT* device = driver->DeviceObject; device != nullptr; device = device->NextDevice) {
        if (LinkOf(device)->unit == unit) {
            return device;
        }
    }
    return nullptr;
}

}  // namespace

bool BenchLink::Install(platform::Kernel& kernel) {
    kernel.RegisterDriver(kDriverName, BenchLinkEntry);
    return NT_SUCCESS(kernel.LoadDriver(kDriverName));
}

std::optional<unsigned> BenchLink::Attach(platform::Kernel& kernel, player::Player& player) {
    DRIVER_OBJECT* driver = kernel.FindDriver(kDriverName);
    if (driver == nullptr) {
        return std::nullopt;
    }
    platform::DriverCall call(driver);
    for (unsigned unit = 0; unit < kUnitLimit; ++unit) {
        if (FindUnit(driver, unit) != nullptr) {
            continue;
        }
        DEVICE_OBJECT* device = nullptr;
        if (!NT_SUCCESS(kernel.CreateDevice(driver, sizeof(LinkDevice), DeviceName(unit), FILE_DEVICE_UNKNOWN,
                                            0, false, &device))) {
            return std::nullopt;
        }
        device->Flags |= DO_DIRECT_IO;
        auto& link = *LinkOf(device);
        link.player = &player;
        link.unit = unit;
        link.unplugged = false;
        link.current = nullptr;
        link.userData[0] = 0;
        link.userData[1] = 0;
        link.userData[2] = 1;
        InitializeListHead(&link.queue);
        InitializeListHead(&link.parked);
        KeInitializeTimer(&link.timer);
        KeInitializeDpc(&link.done, TransferDone, &link);
        kernel.CreateSymbolicLink(LinkName("ZPRPX73u", unit), DeviceName(unit));
        if (NeedsNtNames(kernel.OwningPlatform())) {
            kernel.CreateSymbolicLink(LinkName("ZPRPX73r", unit), DeviceName(unit));
        }
        device->Flags &= ~DO_DEVICE_INITIALIZING;
        kernel.OwningPlatform().Trace().Write("benchlink", "player attached as " + DeviceName(unit));
        return unit;
    }
    return std::nullopt;
}

void BenchLink::Unplug(platform::Kernel& kernel, unsigned unit) {
    DRIVER_OBJECT* driver = kernel.FindDriver(kDriverName);
    DEVICE_OBJECT* device = driver != nullptr ? FindUnit(driver, unit) : nullptr;
    if (device == nullptr) {
        return;
    }
    platform::DriverCall call(driver);
    auto& link = *LinkOf(device);
    // Everything still waiting for the player fails; the request whose time runs is cut short.
    LIST_ENTRY failed;
    InitializeListHead(&failed);
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    link.unplugged = true;
    if (link.current != nullptr && KeCancelTimer(&link.timer)) {
        InsertTailList(&failed, &link.current->Tail.Overlay.ListEntry);
        link.current = nullptr;
    }
    for (LIST_ENTRY* list : {&link.queue, &link.parked}) {
        while (!IsListEmpty(list)) {
            IRP* irp = CONTAINING_RECORD(RemoveHeadList(list), IRP, Tail.Overlay.ListEntry);
            IoSetCancelRoutine(irp, nullptr);
            InsertTailList(&failed, &irp->Tail.Overlay.ListEntry);
        }
    }
    IoReleaseCancelSpinLock(irql);
    // A completion whose timer had already fired is on its way in the dispatcher: let it finish
    // before the device goes, so it never touches a deleted device.
    for (;;) {
        IoAcquireCancelSpinLock(&irql);
        bool running = link.current != nullptr;
        IoReleaseCancelSpinLock(irql);
        if (!running) {
            break;
        }
        LARGE_INTEGER oneMillisecond;
        oneMillisecond.QuadPart = -10'000;
        KeDelayExecutionThread(KernelMode, FALSE, &oneMillisecond);
    }
    while (!IsListEmpty(&failed)) {
        IRP* irp = CONTAINING_RECORD(RemoveHeadList(&failed), IRP, Tail.Overlay.ListEntry);
        Complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    kernel.DeleteSymbolicLink(LinkName("ZPRPX73u", unit));
    if (NeedsNtNames(kernel.OwningPlatform())) {
        kernel.DeleteSymbolicLink(LinkName("ZPRPX73r", unit));
    }
    kernel.DeleteDevice(device);
    kernel.OwningPlatform().Trace().Write("benchlink", "player unplugged from " + DeviceName(unit));
}

}  // namespace machine
