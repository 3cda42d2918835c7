// The verifier: bugcheck reports, the driver whose code runs, and the checks at the machine's end.
#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;

namespace {
thread_local DRIVER_OBJECT* currentDriver = nullptr;
}

DriverCall::DriverCall(DRIVER_OBJECT* driver) : previous_(currentDriver) {
    currentDriver = driver;
}

DriverCall::~DriverCall() {
    currentDriver = previous_;
}

DRIVER_OBJECT* DriverCall::Current() {
    return currentDriver;
}

void Kernel::Bugcheck(const std::string& rule, const std::string& detail) {
    std::string report = "BUGCHECK " + rule + ": " + detail;
    {
        std::lock_guard lock(verifierMutex_);
        bugchecks_.push_back(report);
    }
    platform_.Trace().Write("kernel", report);
    Sched().Halt(report);
}

std::string Kernel::LastBugcheck() const {
    std::lock_guard lock(verifierMutex_);
    return bugchecks_.empty() ? std::string() : bugchecks_.back();
}

std::vector<std::string> Kernel::Bugchecks() const {
    std::lock_guard lock(verifierMutex_);
    return bugchecks_;
}

void Kernel::Shutdown() {
    std::vector<std::string> pending;
    {
        std::lock_guard lock(irpMutex_);
        if (shutDown_) {
            return;
        }
        shutDown_ = true;
        for (IrpTracking* tracking : liveIrps_) {
            if (tracking->state == IrpTracking::State::Dispatched) {
                IO_STACK_LOCATION* location = IoGetCurrentIrpStackLocation(&tracking->irp);
                DEVICE_OBJECT* device = location->DeviceObject;
                pending.push_back(DescribeIrp(&tracking->irp) + " held by " +
                                  DriverName(device != nullptr ? device->DriverObject : nullptr));
            }
        }
    }
    if (pending.empty()) {
        return;
    }
    std::string detail = std::to_string(pending.size()) + " request(s) never completed at shutdown:";
    for (auto& text : pending) {
        detail += " " + text + ";";
    }
    Bugcheck("IRP_NEVER_COMPLETED", detail);
}

}  // namespace platform
