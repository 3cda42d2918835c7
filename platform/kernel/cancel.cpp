// Cancellation: the cancel flag, cancel routines and the cancel spin lock that guards them.
#include "platform/kernel/internal.h"

namespace platform {

using namespace wdm;

bool Kernel::CancelIrp(IRP* irp) {
    if (irp == nullptr) {
        return false;
    }
    auto state = irp->Tracking->state.load();
    if (state == IrpTracking::State::Completed || state == IrpTracking::State::Freed) {
        return false;  // it ended before the cancel reached it
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (routine == nullptr) {
        IoReleaseCancelSpinLock(irql);
        return false;
    }
    // The routine releases the cancel spin lock itself, with the IRQL saved in the request.
    irp->CancelIrql = irql;
    IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(irp);
    DEVICE_OBJECT* device = location->DeviceObject;
    DriverCall call(device != nullptr ? device->DriverObject : DriverCall::Current());
    routine(device, irp);
    return true;
}

}  // namespace platform

namespace wdm {

using platform::Kernel;

BOOLEAN IoCancelIrp(IRP* irp) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->CancelIrp(irp) ? TRUE : FALSE;
}

PDRIVER_CANCEL IoSetCancelRoutine(IRP* irp, PDRIVER_CANCEL routine) {
    return std::atomic_ref<PDRIVER_CANCEL>(irp->CancelRoutine).exchange(routine);
}

void IoAcquireCancelSpinLock(KIRQL* irql) {
    if (Kernel* kernel = Kernel::Current()) {
        KeAcquireSpinLock(&kernel->CancelSpinLock(), irql);
    }
}

void IoReleaseCancelSpinLock(KIRQL irql) {
    if (Kernel* kernel = Kernel::Current()) {
        KeReleaseSpinLock(&kernel->CancelSpinLock(), irql);
    }
}

}  // namespace wdm
