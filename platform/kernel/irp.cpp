// Requests and their stack locations: allocation, sending down, completion walking upwards
// through the completion routines, and the I/O manager's own final step for the requests it
// builds (buffers copied back, the issuer told, the request freed).
#include <algorithm>
#include <cstring>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;
using namespace kernel_detail;

namespace {

constexpr std::size_t kFreedIrpsKept = 1024;

const char* MajorName(UCHAR major) {
    static constexpr const char* kNames[] = {"IRP_MJ_CREATE",
                                             "IRP_MJ_CREATE_NAMED_PIPE",
                                             "IRP_MJ_CLOSE",
                                             "IRP_MJ_READ",
                                             "IRP_MJ_WRITE",
                                             "IRP_MJ_QUERY_INFORMATION",
                                             "IRP_MJ_SET_INFORMATION",
                                             "IRP_MJ_QUERY_EA",
                                             "IRP_MJ_SET_EA",
                                             "IRP_MJ_FLUSH_BUFFERS",
                                             "IRP_MJ_QUERY_VOLUME_INFORMATION",
                                             "IRP_MJ_SET_VOLUME_INFORMATION",
                                             "IRP_MJ_DIRECTORY_CONTROL",
                                             "IRP_MJ_FILE_SYSTEM_CONTROL",
                                             "IRP_MJ_DEVICE_CONTROL",
                                             "IRP_MJ_INTERNAL_DEVICE_CONTROL",
                                             "IRP_MJ_SHUTDOWN",
                                             "IRP_MJ_LOCK_CONTROL",
                                             "IRP_MJ_CLEANUP",
                                             "IRP_MJ_CREATE_MAILSLOT",
                                             "IRP_MJ_QUERY_SECURITY",
                                             "IRP_MJ_SET_SECURITY",
                                             "IRP_MJ_POWER",
                                             "IRP_MJ_SYSTEM_CONTROL",
                                             "IRP_MJ_DEVICE_CHANGE",
                                             "IRP_MJ_QUERY_QUOTA",
                                             "IRP_MJ_SET_QUOTA",
                                             "IRP_MJ_PNP"};
    return major < std::size(kNames) ? kNames[major] : "IRP_MJ_(unknown)";
}

int LocationIndex(const IRP* irp, const IO_STACK_LOCATION* location) {
    return static_cast<int>(irp->Tracking->IndexOf(location));
}

}  // namespace

std::string Kernel::DescribeIrp(const IRP* irp) {
    if (irp == nullptr) {
        return "IRP (null)";
    }
    std::string text = "IRP " + Hex(irp);
    const IrpTracking& tracking = *irp->Tracking;
    // The major function of the lowest location that was used tells what the request is.
    for (std::size_t i = 1; i < tracking.stack.size(); ++i) {
        if (tracking.stack[i].DeviceObject != nullptr) {
            return text + " (" + MajorName(tracking.stack[i].MajorFunction) + ")";
        }
    }
    return text + " (not sent)";
}

IRP* Kernel::AllocateIrp(int stackSize) {
    if (stackSize < 1 || stackSize > 127 || platform_.Faults().Hit("IoAllocateIrp")) {
        return nullptr;
    }
    auto* tracking = new IrpTracking;
    tracking->stack.assign(static_cast<std::size_t>(stackSize) + 1, IO_STACK_LOCATION{});
    tracking->pendingMarked.assign(static_cast<std::size_t>(stackSize), false);
    tracking->completionOwner.assign(static_cast<std::size_t>(stackSize), nullptr);
    IRP& irp = tracking->irp;
    irp.Type = IO_TYPE_IRP;
    irp.Size = static_cast<USHORT>(sizeof(IRP) + stackSize * sizeof(IO_STACK_LOCATION));
    irp.StackCount = static_cast<CCHAR>(stackSize);
    irp.CurrentLocation = static_cast<CCHAR>(stackSize + 1);
    irp.Tail.Overlay.CurrentStackLocation = tracking->Locations() + stackSize;
    irp.RequestorMode = KernelMode;
    irp.Tracking = tracking;
    InitializeListHead(&irp.Tail.Overlay.ListEntry);
    std::lock_guard lock(irpMutex_);
    tracking->serial = nextIrpSerial_++;
    liveIrps_.insert(tracking);
    return &irp;
}

void Kernel::FreeIrp(IRP* irp) {
    if (irp == nullptr) {
        return;
    }
    IrpTracking* tracking = irp->Tracking;
    std::unique_lock lock(irpMutex_);
    if (liveIrps_.erase(tracking) == 0) {
        lock.unlock();
        Bugcheck("IRP_FREED_TWICE", "IoFreeIrp of " + Hex(irp) + ", which is no live request, by " +
                                        DriverName(DriverCall::Current()));
        return;
    }
    tracking->state = IrpTracking::State::Freed;
    // Kept aside for a while: a request used after its end is then caught, not freed memory read.
    freedIrps_.emplace_back(tracking);
    if (freedIrps_.size() > kFreedIrpsKept) {
        freedIrps_.pop_front();
    }
}

NTSTATUS Kernel::CallDriver(DEVICE_OBJECT* device, IRP* irp) {
    if (device == nullptr || irp == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    IrpTracking& tracking = *irp->Tracking;
    auto state = tracking.state.load();
    if (state == IrpTracking::State::Completed || state == IrpTracking::State::Freed) {
        Bugcheck("IRP_USED_AFTER_COMPLETION",
                 DescribeIrp(irp) + " sent to " + DriverName(device->DriverObject) +
                     " after it was completed, by " + DriverName(DriverCall::Current()));
        return STATUS_INVALID_PARAMETER;
    }
    if (irp->CurrentLocation <= 1) {
        Bugcheck("NO_MORE_IRP_STACK_LOCATIONS",
                 DescribeIrp(irp) + " with " + std::to_string(irp->StackCount) +
                     " stack locations sent on to " + DriverName(device->DriverObject) + " by " +
                     DriverName(DriverCall::Current()) + ": none left");
        return STATUS_INTERNAL_ERROR;
    }
    irp->CurrentLocation--;
    IO_STACK_LOCATION* location = --irp->Tail.Overlay.CurrentStackLocation;
    location->DeviceObject = device;
    int index = LocationIndex(irp, location);
    tracking.pendingMarked[static_cast<std::size_t>(index)] = false;
    tracking.state = IrpTracking::State::Dispatched;
    PDRIVER_DISPATCH dispatch = location->MajorFunction <= IRP_MJ_MAXIMUM_FUNCTION
                                    ? device->DriverObject->MajorFunction[location->MajorFunction]
                                    : nullptr;
    NTSTATUS status;
    {
        DriverCall call(device->DriverObject);
        if (dispatch != nullptr) {
            status = dispatch(device, irp);
        } else {
            irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            status = STATUS_INVALID_DEVICE_REQUEST;
        }
    }
    // The request may have ended meanwhile; its tracking record is still readable.
    if (status == STATUS_PENDING && !tracking.pendingMarked[static_cast<std::size_t>(index)]) {
        Bugcheck("PENDING_RETURNED_WITHOUT_MARK", DriverName(device->DriverObject) +
                                                      " returned STATUS_PENDING for " + DescribeIrp(irp) +
                                                      " without IoMarkIrpPending");
    }
    return status;
}

void Kernel::CompleteRequest(IRP* irp) {
    if (irp == nullptr) {
        return;
    }
    IrpTracking& tracking = *irp->Tracking;
    const std::string by = DriverName(DriverCall::Current());
    auto state = tracking.state.load();
    do {
        if (state == IrpTracking::State::Completing || state == IrpTracking::State::Completed ||
            state == IrpTracking::State::Freed) {
            Bugcheck("MULTIPLE_IRP_COMPLETE_REQUESTS", DescribeIrp(irp) + " completed twice, by " + by);
            return;
        }
    } while (!tracking.state.compare_exchange_weak(state, IrpTracking::State::Completing));
    if (irp->IoStatus.Status == STATUS_PENDING) {
        Bugcheck("IRP_COMPLETED_WITH_PENDING_STATUS",
                 DescribeIrp(irp) + " completed with STATUS_PENDING by " + by);
        return;
    }
    if (irp->CancelRoutine != nullptr) {
        Bugcheck("CANCEL_ROUTINE_SET_AT_COMPLETION",
                 DescribeIrp(irp) + " completed by " + by + " while its cancel routine is still set");
        return;
    }
    while (irp->CurrentLocation <= irp->StackCount) {
        IO_STACK_LOCATION* location = irp->Tail.Overlay.CurrentStackLocation;
        std::size_t index = static_cast<std::size_t>(LocationIndex(irp, location));
        irp->CurrentLocation++;
        irp->Tail.Overlay.CurrentStackLocation++;
        irp->PendingReturned = (location->Control & SL_PENDING_RETURNED) != 0;
        NTSTATUS status = irp->IoStatus.Status;
        UCHAR control = location->Control;
        bool invoke = location->CompletionRoutine != nullptr &&
                      ((NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS) != 0) ||
                       (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR) != 0) ||
                       (irp->Cancel && (control & SL_INVOKE_ON_CANCEL) != 0));
        PIO_COMPLETION_ROUTINE routine = location->CompletionRoutine;
        PVOID context = location->Context;
        location->CompletionRoutine = nullptr;
        location->Context = nullptr;
        location->Control = 0;
        bool atTop = irp->CurrentLocation > irp->StackCount;
        if (!invoke) {
            // Pending travels up to the caller's location when nobody above looks at it.
            if (irp->PendingReturned && !atTop) {
                IoMarkIrpPending(irp);
            }
            continue;
        }
        // The routine gets the device of the location above (the one that set it), if any.
        DEVICE_OBJECT* device = atTop ? nullptr : irp->Tail.Overlay.CurrentStackLocation->DeviceObject;
        tracking.state = IrpTracking::State::InCompletionRoutine;
        NTSTATUS result;
        {
            DriverCall call(tracking.completionOwner[index] != nullptr ? tracking.completionOwner[index]
                                                                       : DriverCall::Current());
            result = routine(device, irp, context);
        }
        auto expected = IrpTracking::State::InCompletionRoutine;
        if (result == STATUS_MORE_PROCESSING_REQUIRED) {
            // The request belongs to the routine's driver again; it is not touched any more here.
            tracking.state.compare_exchange_strong(expected, IrpTracking::State::Reclaimed);
            return;
        }
        if (!tracking.state.compare_exchange_strong(expected, IrpTracking::State::Completing)) {
            Bugcheck("MULTIPLE_IRP_COMPLETE_REQUESTS",
                     DescribeIrp(irp) +
                         " completed again while its completion routine ran, then the routine let "
                         "completion go on");
            return;
        }
    }
    tracking.state = IrpTracking::State::Completed;
    FinishRequest(tracking);
}

void Kernel::FinishRequest(IrpTracking& tracking) {
    IRP& irp = tracking.irp;
    if (!tracking.builtByIoManager) {
        Bugcheck("DRIVER_IRP_COMPLETED_TO_IO_MANAGER",
                 DescribeIrp(&irp) +
                     ", allocated by a driver, completed past its last stack location: its "
                     "completion routine must return STATUS_MORE_PROCESSING_REQUIRED and free it");
        return;
    }
    if (tracking.copyBackTo != nullptr) {
        irp.IoStatus.Information = std::min<ULONG_PTR>(irp.IoStatus.Information, tracking.copyBackLimit);
        if (!IsError(irp.IoStatus.Status) && irp.IoStatus.Information > 0) {
            std::memcpy(tracking.copyBackTo, tracking.systemBuffer.data(), irp.IoStatus.Information);
        }
    }
    if (tracking.ownsMdl && irp.MdlAddress != nullptr) {
        IoFreeMdl(irp.MdlAddress);
        irp.MdlAddress = nullptr;
    }
    // The request lets go of its file before its issuer learns of the completion, as the completion
    // on the issuing thread does on Windows: a handle closed right after the issuer's completion
    // routine then sends its close request at once, not later from whichever thread completed.
    if (FILE_OBJECT* file = irp.Tail.Overlay.OriginalFileObject; file != nullptr) {
        irp.Tail.Overlay.OriginalFileObject = nullptr;
        DereferenceFile(file);
    }
    if (tracking.finish) {
        auto finish = std::move(tracking.finish);
        finish(irp);
    }
    FreeIrp(&irp);
}

void Kernel::PrepareBuffers(IRP* irp, DEVICE_OBJECT* target, const FileRequest& request) {
    IrpTracking& tracking = *irp->Tracking;
    auto useSystemBuffer = [&](std::size_t size, const void* input, std::size_t inputLength) {
        if (size == 0) {
            return;
        }
        tracking.systemBuffer.assign(size, 0);
        if (input != nullptr && inputLength > 0) {
            std::memcpy(tracking.systemBuffer.data(), input, inputLength);
        }
        irp->AssociatedIrp.SystemBuffer = tracking.systemBuffer.data();
    };
    auto useMdl = [&](void* buffer, ULONG length) {
        if (buffer == nullptr || length == 0) {
            return;
        }
        irp->MdlAddress = IoAllocateMdl(buffer, length, FALSE, FALSE, nullptr);
        if (irp->MdlAddress != nullptr) {
            MmBuildMdlForNonPagedPool(irp->MdlAddress);
            tracking.ownsMdl = true;
        }
    };
    auto copyBack = [&](void* buffer, ULONG length) {
        if (buffer != nullptr && length > 0) {
            tracking.copyBackTo = buffer;
            tracking.copyBackLimit = length;
        }
    };
    switch (request.majorFunction) {
        case IRP_MJ_READ:
        case IRP_MJ_WRITE: {
            bool read = request.majorFunction == IRP_MJ_READ;
            void* buffer = read ? request.outputBuffer : request.inputBuffer;
            ULONG length = read ? request.outputLength : request.inputLength;
            if ((target->Flags & DO_BUFFERED_IO) != 0) {
                useSystemBuffer(length, read ? nullptr : buffer, read ? 0 : length);
                if (read) {
                    copyBack(buffer, length);
                }
            } else if ((target->Flags & DO_DIRECT_IO) != 0) {
                useMdl(buffer, length);
            } else {
                irp->UserBuffer = buffer;
            }
            break;
        }
        case IRP_MJ_DEVICE_CONTROL:
        case IRP_MJ_INTERNAL_DEVICE_CONTROL:
            irp->UserBuffer = request.outputBuffer;
            switch (METHOD_FROM_CTL_CODE(request.ioControlCode)) {
                case METHOD_BUFFERED:
                    useSystemBuffer(std::max(request.inputLength, request.outputLength), request.inputBuffer,
                                    request.inputLength);
                    copyBack(request.outputBuffer, request.outputLength);
                    break;
                case METHOD_IN_DIRECT:
                case METHOD_OUT_DIRECT:
                    useSystemBuffer(request.inputLength, request.inputBuffer, request.inputLength);
                    useMdl(request.outputBuffer, request.outputLength);
                    break;
                default:
                    IoGetNextIrpStackLocation(irp)->Parameters.DeviceIoControl.Type3InputBuffer =
                        request.inputBuffer;
                    break;
            }
            break;
        default:
            break;
    }
}

NTSTATUS Kernel::StartFileRequest(FILE_OBJECT* file, KPROCESSOR_MODE mode, const FileRequest& request,
                                  std::function<void(const RequestResult&)> done,
                                  const std::function<void(IRP*)>& sent) {
    DEVICE_OBJECT* target = IoGetAttachedDevice(file->DeviceObject);
    IRP* irp = AllocateIrp(target->StackSize);
    if (irp == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    IrpTracking& tracking = *irp->Tracking;
    tracking.builtByIoManager = true;
    irp->RequestorMode = mode;
    irp->Tail.Overlay.OriginalFileObject = file;
    IO_STACK_LOCATION* location = IoGetNextIrpStackLocation(irp);
    location->MajorFunction = request.majorFunction;
    location->FileObject = file;
    switch (request.majorFunction) {
        case IRP_MJ_CREATE:
            tracking.securityContext.DesiredAccess = request.desiredAccess;
            location->Parameters.Create.SecurityContext = &tracking.securityContext;
            location->Parameters.Create.ShareAccess = request.shareAccess;
            break;
        case IRP_MJ_READ:
        case IRP_MJ_WRITE:
            // Read and Write share one layout.
            location->Parameters.Read.Length =
                request.majorFunction == IRP_MJ_READ ? request.outputLength : request.inputLength;
            location->Parameters.Read.ByteOffset.QuadPart = request.byteOffset;
            break;
        case IRP_MJ_DEVICE_CONTROL:
        case IRP_MJ_INTERNAL_DEVICE_CONTROL:
            location->Parameters.DeviceIoControl.IoControlCode = request.ioControlCode;
            location->Parameters.DeviceIoControl.InputBufferLength = request.inputLength;
            location->Parameters.DeviceIoControl.OutputBufferLength = request.outputLength;
            break;
        default:
            break;
    }
    PrepareBuffers(irp, target, request);
    ReferenceFile(file);
    tracking.finish = [done = std::move(done)](IRP& finished) {
        done(RequestResult{finished.IoStatus.Status, finished.IoStatus.Information,
                           finished.PendingReturned != 0});
    };
    if (sent) {
        sent(irp);
    }
    return CallDriver(target, irp);
}

RequestResult Kernel::SendFileRequestAndWait(FILE_OBJECT* file, KPROCESSOR_MODE mode,
                                             const FileRequest& request, const char* what) {
    struct Shared {
        explicit Shared(Scheduler& scheduler) : done(scheduler, true, false, "request completion") {}
        EventObject done;
        RequestResult result;
    };
    auto shared = std::make_shared<Shared>(Sched());
    NTSTATUS started = StartFileRequest(file, mode, request, [shared](const RequestResult& result) {
        shared->result = result;
        shared->done.Set();
    });
    if (started == STATUS_INSUFFICIENT_RESOURCES && !shared->done.IsSet()) {
        return RequestResult{started, 0, false};
    }
    WaitableObject* objects[] = {&shared->done};
    if (Sched().Wait(objects, false, std::nullopt, false, what).kind != WaitOutcome::Kind::Object) {
        return RequestResult{STATUS_UNSUCCESSFUL, 0, false};  // the machine stopped
    }
    return shared->result;
}

}  // namespace platform

namespace wdm {

using platform::Kernel;

PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->AllocateIrp(stackSize) : nullptr;
}

void IoFreeIrp(IRP* irp) {
    if (Kernel* kernel = Kernel::Current()) {
        kernel->FreeIrp(irp);
    }
}

PIRP IoBuildDeviceIoControlRequest(ULONG ioControlCode, DEVICE_OBJECT* device, PVOID inputBuffer,
                                   ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength,
                                   BOOLEAN internalDeviceIoControl, KEVENT* event,
                                   IO_STATUS_BLOCK* ioStatus) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || device == nullptr) {
        return nullptr;
    }
    IRP* irp = kernel->AllocateIrp(device->StackSize);
    if (irp == nullptr) {
        return nullptr;
    }
    platform::IrpTracking& tracking = *irp->Tracking;
    tracking.builtByIoManager = true;
    irp->RequestorMode = KernelMode;
    irp->UserIosb = ioStatus;
    irp->UserEvent = event;
    IO_STACK_LOCATION* location = IoGetNextIrpStackLocation(irp);
    location->MajorFunction =
        internalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    location->Parameters.DeviceIoControl.IoControlCode = ioControlCode;
    location->Parameters.DeviceIoControl.InputBufferLength = inputBufferLength;
    location->Parameters.DeviceIoControl.OutputBufferLength = outputBufferLength;
    platform::FileRequest request;
    request.majorFunction = location->MajorFunction;
    request.ioControlCode = ioControlCode;
    request.inputBuffer = inputBuffer;
    request.inputLength = inputBufferLength;
    request.outputBuffer = outputBuffer;
    request.outputLength = outputBufferLength;
    kernel->PrepareBuffers(irp, device, request);
    tracking.finish = [](IRP& finished) {
        if (finished.UserIosb != nullptr) {
            *finished.UserIosb = finished.IoStatus;
        }
        if (finished.UserEvent != nullptr) {
            KeSetEvent(finished.UserEvent, IO_NO_INCREMENT, FALSE);
        }
    };
    return irp;
}

NTSTATUS IoCallDriver(DEVICE_OBJECT* device, IRP* irp) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->CallDriver(device, irp) : STATUS_UNSUCCESSFUL;
}

void IoCompleteRequest(IRP* irp, KPRIORITY) {
    if (Kernel* kernel = Kernel::Current()) {
        kernel->CompleteRequest(irp);
    }
}

void IoMarkIrpPending(IRP* irp) {
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    location->Control |= SL_PENDING_RETURNED;
    auto index = static_cast<std::size_t>(irp->Tracking->IndexOf(location));
    if (index < irp->Tracking->pendingMarked.size()) {
        irp->Tracking->pendingMarked[index] = true;
    }
}

void IoCopyCurrentIrpStackLocationToNext(IRP* irp) {
    IO_STACK_LOCATION* current = IoGetCurrentIrpStackLocation(irp);
    IO_STACK_LOCATION* next = IoGetNextIrpStackLocation(irp);
    *next = *current;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
    next->Control = 0;
}

void IoSetCompletionRoutine(IRP* irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN invokeOnSuccess,
                            BOOLEAN invokeOnError, BOOLEAN invokeOnCancel) {
    IO_STACK_LOCATION* next = IoGetNextIrpStackLocation(irp);
    next->CompletionRoutine = routine;
    next->Context = context;
    next->Control = static_cast<UCHAR>((invokeOnSuccess ? SL_INVOKE_ON_SUCCESS : 0) |
                                       (invokeOnError ? SL_INVOKE_ON_ERROR : 0) |
                                       (invokeOnCancel ? SL_INVOKE_ON_CANCEL : 0));
    auto index = static_cast<std::size_t>(irp->Tracking->IndexOf(next));
    if (index < irp->Tracking->completionOwner.size()) {
        irp->Tracking->completionOwner[index] = platform::DriverCall::Current();
    }
}

}  // namespace wdm
