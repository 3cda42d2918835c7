// Device files from user mode: reads, writes and control requests become requests to the
// device's driver (requestor mode UserMode); synchronous handles wait for them, overlapped
// handles report through OVERLAPPED, its event and completion routines queued as user APCs to the
// issuing thread; CancelIo cancels the caller's pending requests.
#include "platform/win32/device_io.h"

#include "platform/kernel/kernel.h"
#include "platform/win32/context.h"

namespace w32 {

using namespace detail;
using platform::DeviceFileHandle;
using platform::FileRequest;
using platform::RequestResult;

namespace {

constexpr bool IsError(NTSTATUS status) {
    return (static_cast<std::uint32_t>(status) >> 30) == 3;
}

std::int64_t OffsetOf(const OVERLAPPED* overlapped) {
    return overlapped != nullptr
               ? static_cast<std::int64_t>(std::uint64_t{overlapped->OffsetHigh} << 32 | overlapped->Offset)
               : 0;
}

// Where an overlapped request's end is reported.
struct Report {
    LPOVERLAPPED overlapped = nullptr;
    std::shared_ptr<platform::HandleObject> event;  // the OVERLAPPED's event, kept while in flight
    LPOVERLAPPED_COMPLETION_ROUTINE routine = nullptr;
    // Shared: the completion may come after the issuing thread has ended, and its APC is then
    // dropped (QueueUserApc refuses an ended thread) instead of reaching freed memory.
    std::shared_ptr<platform::SchedulerThread> issuer;
};

BOOL IssueSynchronous(DeviceFileHandle& device, const FileRequest& request, DWORD* transferred) {
    RequestResult result =
        device.OwningKernel().SendFileRequestAndWait(device.File(), wdm::UserMode, request, "device request");
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(result.information);
    }
    if (!NT_SUCCESS(result.status)) {
        return Fail(wdm::RtlNtStatusToDosError(result.status), FALSE);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL IssueOverlapped(const std::shared_ptr<DeviceFileHandle>& device, const FileRequest& request,
                     DWORD* transferred, Report report) {
    auto& scheduler = device->OwningKernel().Sched();
    auto* event = report.event ? dynamic_cast<platform::EventObject*>(report.event->Waitable()) : nullptr;
    if (report.event && event == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (event != nullptr) {
        event->Reset();
    }
    report.overlapped->Internal = static_cast<ULONG_PTR>(STATUS_PENDING);
    report.overlapped->InternalHigh = 0;
    auto irpSlot = std::make_shared<wdm::IRP*>(nullptr);
    auto done = [device, irpSlot, report, event, &scheduler](const RequestResult& result) {
        device->Untrack(*irpSlot);
        report.overlapped->Internal = static_cast<ULONG_PTR>(static_cast<std::uint32_t>(result.status));
        report.overlapped->InternalHigh = result.information;
        // A request that failed at once is only the call's result: no event, no completion routine.
        if (IsError(result.status) && !result.pendingReturned) {
            return;
        }
        if (event != nullptr) {
            event->Set();
        }
        if (report.routine != nullptr) {
            DWORD error = wdm::RtlNtStatusToDosError(result.status);
            auto bytes = static_cast<DWORD>(result.information);
            scheduler.QueueUserApc(*report.issuer,
                                   [routine = report.routine, error, bytes, overlapped = report.overlapped] {
                                       routine(error, bytes, overlapped);
                                   });
        }
    };
    NTSTATUS status = device->OwningKernel().StartFileRequest(device->File(), wdm::UserMode, request, done,
                                                              [&](wdm::IRP* irp) {
                                                                  *irpSlot = irp;
                                                                  device->Track(irp, report.issuer.get());
                                                              });
    if (status == STATUS_PENDING) {
        return report.routine != nullptr ? TRUE : Fail(ERROR_IO_PENDING, FALSE);
    }
    auto finalStatus = static_cast<NTSTATUS>(static_cast<std::uint32_t>(report.overlapped->Internal));
    NTSTATUS outcome = status == STATUS_INSUFFICIENT_RESOURCES ? status : finalStatus;
    if (!NT_SUCCESS(outcome)) {
        return Fail(wdm::RtlNtStatusToDosError(outcome), FALSE);
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(report.overlapped->InternalHigh);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// One road for every device request: checks, then the synchronous or the overlapped way.
BOOL Issue(HANDLE handle, const FileRequest& request, DWORD* transferred, LPOVERLAPPED overlapped,
           LPOVERLAPPED_COMPLETION_ROUTINE routine, bool extended) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    auto device = LookupHandle<DeviceFileHandle>(handle);
    if (!device) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (extended && (routine == nullptr || overlapped == nullptr || !device->Overlapped())) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if ((request.inputBuffer == nullptr && request.inputLength > 0) ||
        (request.outputBuffer == nullptr && request.outputLength > 0)) {
        return Fail(ERROR_NOACCESS, FALSE);
    }
    // Without an OVERLAPPED record the request waits for its completion, also on a handle opened
    // for overlapped I/O: the control requests the system sends that way complete at once.
    if (!device->Overlapped() || overlapped == nullptr) {
        return IssueSynchronous(*device, request, transferred);
    }
    Report report;
    report.overlapped = overlapped;
    report.routine = routine;
    report.issuer = device->OwningKernel().Sched().CurrentThreadRef();
    if (!report.issuer) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!extended && overlapped->hEvent != nullptr) {
        report.event = CurrentProcess()->Lookup(overlapped->hEvent);
        if (!report.event) {
            return Fail(ERROR_INVALID_HANDLE, FALSE);
        }
    }
    return IssueOverlapped(device, request, transferred, std::move(report));
}

FileRequest Transfer(bool write, void* buffer, DWORD length, const OVERLAPPED* overlapped) {
    FileRequest request;
    request.majorFunction = write ? wdm::IRP_MJ_WRITE : wdm::IRP_MJ_READ;
    (write ? request.inputBuffer : request.outputBuffer) = buffer;
    (write ? request.inputLength : request.outputLength) = length;
    request.byteOffset = OffsetOf(overlapped);
    return request;
}

BOOL TransferEx(HANDLE file, bool write, void* buffer, DWORD length, LPOVERLAPPED overlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE routine) {
    auto device = LookupHandle<DeviceFileHandle>(file);
    if (device) {
        if (write ? !device->CanWrite() : !device->CanRead()) {
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        }
        return Issue(file, Transfer(write, buffer, length, overlapped), nullptr, overlapped, routine, true);
    }
    // A file on the C: drive completes at once; its routine still runs as an APC.
    if (routine == nullptr || overlapped == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD done = 0;
    BOOL ok = write ? WriteFile(file, buffer, length, &done, overlapped)
                    : ReadFile(file, buffer, length, &done, overlapped);
    if (!ok) {
        return FALSE;
    }
    overlapped->Internal = 0;
    overlapped->InternalHigh = done;
    CurrentPlatform()->Sched().QueueUserApc(*Thread(),
                                            [routine, done, overlapped] { routine(0, done, overlapped); });
    return TRUE;
}

}  // namespace

namespace detail {

std::optional<BOOL> DeviceTransfer(HANDLE file, bool write, void* buffer, DWORD length, DWORD* transferred,
                                   LPOVERLAPPED overlapped) {
    auto device = LookupHandle<DeviceFileHandle>(file);
    if (!device) {
        return std::nullopt;
    }
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (write ? !device->CanWrite() : !device->CanRead()) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    return Issue(file, Transfer(write, buffer, length, overlapped), transferred, overlapped, nullptr, false);
}

}  // namespace detail

BOOL ReadFileEx(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPOVERLAPPED overlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE completionRoutine) {
    return TransferEx(file, false, buffer, bytesToRead, overlapped, completionRoutine);
}

BOOL WriteFileEx(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPOVERLAPPED overlapped,
                 LPOVERLAPPED_COMPLETION_ROUTINE completionRoutine) {
    // The request only reads the caller's data.
    return TransferEx(file, true, const_cast<LPVOID>(buffer), bytesToWrite, overlapped, completionRoutine);
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, DWORD* bytesReturned, LPOVERLAPPED overlapped) {
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    auto object = LookupHandle<DeviceFileHandle>(device);
    if (!object) {
        return Fail(
            LookupHandle<platform::HandleObject>(device) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE,
            FALSE);
    }
    DWORD access = wdm::ACCESS_FROM_CTL_CODE(ioControlCode);
    if (((access & FILE_READ_ACCESS) != 0 && !object->CanRead()) ||
        ((access & FILE_WRITE_ACCESS) != 0 && !object->CanWrite())) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    FileRequest request;
    request.majorFunction = wdm::IRP_MJ_DEVICE_CONTROL;
    request.ioControlCode = ioControlCode;
    request.inputBuffer = inBuffer;
    request.inputLength = inBufferSize;
    request.outputBuffer = outBuffer;
    request.outputLength = outBufferSize;
    return Issue(device, request, bytesReturned, overlapped, nullptr, false);
}

BOOL CancelIo(HANDLE file) {
    auto device = LookupHandle<DeviceFileHandle>(file);
    if (!device) {
        return LookupHandle<platform::HandleObject>(file) ? TRUE : Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    for (wdm::IRP* irp : device->InFlight(Thread())) {
        device->OwningKernel().CancelIrp(irp);
    }
    return TRUE;
}

}  // namespace w32
