// A small control device for the library's failure paths: "\Device\ZPRPX73u0" with the links the
// library opens, answering control codes and reads as the test scripts them and logging what the
// library asked for.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "library/VxMp3.h"
#include "platform/kernel/kernel.h"

namespace vxmp3_test {

using namespace wdm;

struct DeviceScript {
    // IOCTL_VXMP3_GET_DEVICE_STATUS: the value, how many bytes of it come back, or a refusal.
    ULONG deviceStatus = 1;
    ULONG deviceStatusBytes = 4;
    bool refuseDeviceStatus = false;
    bool refuseReconfigure = false;
    bool refuseChipId = false;
    // The reply bytes of every read (cut to the read's length).
    std::vector<UCHAR> reply;
    // What the library sent.
    int creates = 0;
    int reconfigureRequests = 0;
    std::vector<ULONG> readLengths;
    std::vector<ULONG> writeLengths;
};

struct ScriptedExtension {
    DeviceScript* script;
};

inline NTSTATUS ScriptedComplete(IRP* irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

inline NTSTATUS ScriptedControl(DeviceScript& script, IRP* irp, IO_STACK_LOCATION* location) {
    auto& parameters = location->Parameters.DeviceIoControl;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    switch (parameters.IoControlCode) {
        case IOCTL_VXMP3_GET_DEVICE_STATUS:
            if (script.refuseDeviceStatus) {
                return ScriptedComplete(irp, STATUS_INVALID_PARAMETER);
            }
            std::memcpy(buffer, &script.deviceStatus, sizeof script.deviceStatus);
            return ScriptedComplete(irp, STATUS_SUCCESS, script.deviceStatusBytes);
        case IOCTL_VXMP3_RECONFIGURE:
            ++script.reconfigureRequests;
            return ScriptedComplete(irp, script.refuseReconfigure ? STATUS_DEVICE_BUSY : STATUS_SUCCESS);
        case IOCTL_VXMP3_GET_CHIP_ID:
            return ScriptedComplete(irp, script.refuseChipId ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS, 0);
        default:
            return ScriptedComplete(irp, STATUS_INVALID_PARAMETER);
    }
}

inline NTSTATUS ScriptedDispatch(DEVICE_OBJECT* device, IRP* irp) {
    DeviceScript& script = *static_cast<ScriptedExtension*>(device->DeviceExtension)->script;
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    switch (location->MajorFunction) {
        case IRP_MJ_CREATE:
            ++script.creates;
            return ScriptedComplete(irp, STATUS_SUCCESS);
        case IRP_MJ_WRITE:
            script.writeLengths.push_back(location->Parameters.Write.Length);
            return ScriptedComplete(irp, STATUS_SUCCESS, location->Parameters.Write.Length);
        case IRP_MJ_READ: {
            ULONG length = location->Parameters.Read.Length;
            script.readLengths.push_back(length);
            ULONG delivered = std::min<ULONG>(length, static_cast<ULONG>(script.reply.size()));
            auto* target =
                static_cast<UCHAR*>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority));
            std::memcpy(target, script.reply.data(), delivered);
            return ScriptedComplete(irp, STATUS_SUCCESS, delivered);
        }
        case IRP_MJ_DEVICE_CONTROL:
            return ScriptedControl(script, irp, location);
        default:
            return ScriptedComplete(irp, STATUS_SUCCESS);
    }
}

inline NTSTATUS ScriptedEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    for (auto& dispatch : driver->MajorFunction) {
        dispatch = ScriptedDispatch;
    }
    return STATUS_SUCCESS;
}

// Loads the driver in the calling thread's machine and creates its device with the 9x and NT links.
inline bool InstallScriptedDevice(platform::Kernel& kernel, DeviceScript& script) {
    kernel.RegisterDriver("ScriptedDevice", ScriptedEntry);
    DRIVER_OBJECT* driver = nullptr;
    if (!NT_SUCCESS(kernel.LoadDriver("ScriptedDevice", &driver))) {
        return false;
    }
    platform::DriverCall call(driver);
    DEVICE_OBJECT* device = nullptr;
    if (!NT_SUCCESS(kernel.CreateDevice(driver, sizeof(ScriptedExtension), "\\Device\\ZPRPX73u0",
                                        FILE_DEVICE_UNKNOWN, 0, false, &device))) {
        return false;
    }
    device->Flags |= DO_DIRECT_IO;
    static_cast<ScriptedExtension*>(device->DeviceExtension)->script = &script;
    kernel.CreateSymbolicLink("\\DosDevices\\ZPRPX73u0", "\\Device\\ZPRPX73u0");
    kernel.CreateSymbolicLink("\\DosDevices\\ZPRPX73r0", "\\Device\\ZPRPX73u0");
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return true;
}

}  // namespace vxmp3_test
