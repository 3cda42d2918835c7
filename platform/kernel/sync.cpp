// Kernel events and mutexes bound to driver memory, waits and delays in the machine clock,
// system time, the IRQL of each thread and spin locks.
#include <thread>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;

WaitableObject* Kernel::BoundObject(const void* address) const {
    std::lock_guard lock(objectsMutex_);
    auto found = boundObjects_.find(address);
    return found != boundObjects_.end() ? found->second.get() : nullptr;
}

void Kernel::ForgetBoundObjects(const void* begin, std::size_t bytes) {
    const auto* first = static_cast<const char*>(begin);
    std::lock_guard lock(objectsMutex_);
    auto it = boundObjects_.lower_bound(first);
    while (it != boundObjects_.end() && static_cast<const char*>(it->first) < first + bytes) {
        it = boundObjects_.erase(it);
    }
}

std::int64_t Kernel::SystemTime() const {
    // The machine boots at 2004-06-01 00:00 UTC: 100 ns units since 1601.
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    constexpr std::int64_t kBootUnixSeconds = 1086048000;
    return kUnixEpoch + kBootUnixSeconds * 10'000'000 + static_cast<std::int64_t>(Sched().NowNs() / 100);
}

}  // namespace platform

namespace wdm {

using platform::Kernel;
using platform::WaitOutcome;

namespace {

// The IRQL of host threads outside every machine.
thread_local int outsideIrql = PASSIVE_LEVEL;

int& IrqlSlot() {
    platform::SchedulerThread* thread = platform::Scheduler::CurrentThread();
    return thread != nullptr ? thread->irql : outsideIrql;
}

std::string Caller() {
    return Kernel::DriverName(platform::DriverCall::Current());
}

// The wait time of a kernel time-out: relative (negative) or absolute system time (positive).
std::optional<std::uint64_t> TimeoutNs(const Kernel& kernel, const LARGE_INTEGER* timeout) {
    if (timeout == nullptr) {
        return std::nullopt;
    }
    std::int64_t units = timeout->QuadPart;
    if (units > 0) {
        units = std::max<std::int64_t>(0, units - kernel.SystemTime());
    } else {
        units = -units;
    }
    return static_cast<std::uint64_t>(units) * 100;
}

// Waiting at DISPATCH_LEVEL is allowed only as a test that does not block.
bool WaitAllowed(Kernel& kernel, const std::optional<std::uint64_t>& ns, const char* what) {
    if ((ns && *ns == 0) || KeGetCurrentIrql() < DISPATCH_LEVEL) {
        return true;
    }
    kernel.Bugcheck("IRQL_NOT_LESS_OR_EQUAL",
                    std::string(what) + " with a time-out at DISPATCH_LEVEL by " + Caller());
    return false;
}

NTSTATUS StatusOf(const WaitOutcome& outcome) {
    switch (outcome.kind) {
        case WaitOutcome::Kind::Object:
            return static_cast<NTSTATUS>(STATUS_WAIT_0 + static_cast<NTSTATUS>(outcome.index));
        case WaitOutcome::Kind::Timeout:
            return STATUS_TIMEOUT;
        case WaitOutcome::Kind::Apc:
            return STATUS_USER_APC;
        case WaitOutcome::Kind::Failed:
            break;
    }
    return STATUS_UNSUCCESSFUL;  // the machine stopped
}

template <typename T>
T* Bound(Kernel& kernel, const void* address, const char* what) {
    auto* object = dynamic_cast<T*>(kernel.BoundObject(address));
    if (object == nullptr) {
        kernel.Bugcheck("DISPATCHER_OBJECT_NOT_INITIALIZED",
                        std::string(what) + " on " + platform::kernel_detail::Hex(address) +
                            ", which was never initialised, by " + Caller());
    }
    return object;
}

}  // namespace

void KeInitializeEvent(KEVENT* event, EVENT_TYPE type, BOOLEAN state) {
    if (Kernel* kernel = Kernel::Current()) {
        event->Header.Type = static_cast<UCHAR>(type);
        event->Header.Object =
            kernel->BindObject<platform::EventObject>(event, type == NotificationEvent, state != 0, "KEVENT");
    }
}

LONG KeSetEvent(KEVENT* event, KPRIORITY, BOOLEAN) {
    Kernel* kernel = Kernel::Current();
    auto* object = kernel != nullptr ? Bound<platform::EventObject>(*kernel, event, "KeSetEvent") : nullptr;
    if (object == nullptr) {
        return 0;
    }
    LONG previous = object->IsSet() ? 1 : 0;
    object->Set();
    return previous;
}

LONG KeResetEvent(KEVENT* event) {
    Kernel* kernel = Kernel::Current();
    auto* object = kernel != nullptr ? Bound<platform::EventObject>(*kernel, event, "KeResetEvent") : nullptr;
    if (object == nullptr) {
        return 0;
    }
    LONG previous = object->IsSet() ? 1 : 0;
    object->Reset();
    return previous;
}

void KeClearEvent(KEVENT* event) {
    KeResetEvent(event);
}

LONG KeReadStateEvent(KEVENT* event) {
    Kernel* kernel = Kernel::Current();
    auto* object =
        kernel != nullptr ? Bound<platform::EventObject>(*kernel, event, "KeReadStateEvent") : nullptr;
    return object != nullptr && object->IsSet() ? 1 : 0;
}

void KeInitializeMutex(KMUTEX* mutex, ULONG) {
    if (Kernel* kernel = Kernel::Current()) {
        mutex->Header.Type = 2;
        mutex->Header.Object = kernel->BindObject<platform::MutexObject>(mutex, "kernel mutex", "KMUTEX");
    }
}

LONG KeReleaseMutex(KMUTEX* mutex, BOOLEAN) {
    Kernel* kernel = Kernel::Current();
    auto* object =
        kernel != nullptr ? Bound<platform::MutexObject>(*kernel, mutex, "KeReleaseMutex") : nullptr;
    if (object == nullptr) {
        return 0;
    }
    if (!object->Release(*platform::Scheduler::CurrentThread())) {
        kernel->Bugcheck("MUTANT_NOT_OWNED",
                         "KeReleaseMutex of a mutex the thread does not own, by " + Caller());
    }
    return 0;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               LARGE_INTEGER* timeout) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    platform::WaitableObject* waitable =
        Bound<platform::WaitableObject>(*kernel, object, "KeWaitForSingleObject");
    auto ns = TimeoutNs(*kernel, timeout);
    if (waitable == nullptr || !WaitAllowed(*kernel, ns, "KeWaitForSingleObject")) {
        return STATUS_INVALID_PARAMETER;
    }
    platform::WaitableObject* objects[] = {waitable};
    // Only a user-mode wait can be alerted by user APCs; they then run in user mode.
    return StatusOf(kernel->Sched().Wait(objects, false, ns, alertable != 0 && mode == UserMode,
                                         "KeWaitForSingleObject"));
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, LARGE_INTEGER* interval) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || interval == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto ns = TimeoutNs(*kernel, interval);
    if (!WaitAllowed(*kernel, ns, "KeDelayExecutionThread")) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status =
        StatusOf(kernel->Sched().Sleep(*ns, alertable != 0 && mode == UserMode, "KeDelayExecutionThread"));
    return status == STATUS_TIMEOUT ? STATUS_SUCCESS : status;
}

void KeQuerySystemTime(LARGE_INTEGER* currentTime) {
    Kernel* kernel = Kernel::Current();
    currentTime->QuadPart = kernel != nullptr ? kernel->SystemTime() : 0;
}

ULONGLONG KeQueryInterruptTime() {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->Sched().NowNs() / 100 : 0;
}

KIRQL KeGetCurrentIrql() {
    return static_cast<KIRQL>(IrqlSlot());
}

void KeRaiseIrql(KIRQL newIrql, KIRQL* oldIrql) {
    int& irql = IrqlSlot();
    if (newIrql < irql) {
        if (Kernel* kernel = Kernel::Current()) {
            kernel->Bugcheck("IRQL_NOT_GREATER_OR_EQUAL", "KeRaiseIrql to " + std::to_string(newIrql) +
                                                              " from " + std::to_string(irql) + " by " +
                                                              Caller());
        }
    }
    *oldIrql = static_cast<KIRQL>(irql);
    irql = newIrql;
}

void KeLowerIrql(KIRQL newIrql) {
    int& irql = IrqlSlot();
    if (newIrql > irql) {
        if (Kernel* kernel = Kernel::Current()) {
            kernel->Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "KeLowerIrql to " + std::to_string(newIrql) +
                                                           " from " + std::to_string(irql) + " by " +
                                                           Caller());
        }
    }
    irql = newIrql;
}

KIRQL KeRaiseIrqlToDpcLevel() {
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    return old;
}

void KeInitializeSpinLock(KSPIN_LOCK* lock) {
    *lock = 0;
}

void KeAcquireSpinLock(KSPIN_LOCK* lock, KIRQL* oldIrql) {
    KeRaiseIrql(DISPATCH_LEVEL, oldIrql);
    KeAcquireSpinLockAtDpcLevel(lock);
}

void KeAcquireSpinLockAtDpcLevel(KSPIN_LOCK* lock) {
    platform::SchedulerThread* thread = platform::Scheduler::CurrentThread();
    Kernel* kernel = Kernel::Current();
    KSPIN_LOCK self = thread != nullptr ? thread->id : 1;
    std::atomic_ref<KSPIN_LOCK> word(*lock);
    if (word.load() == self && kernel != nullptr) {
        kernel->Bugcheck("SPIN_LOCK_ALREADY_OWNED", "spin lock " + platform::kernel_detail::Hex(lock) +
                                                        " acquired again by its owner, " + Caller());
        return;
    }
    // The owner holds it at DISPATCH_LEVEL, where it cannot block: the wait is short, unless the
    // machine stopped, and then the acquirer unwinds.
    for (KSPIN_LOCK expected = 0; !word.compare_exchange_weak(expected, self); expected = 0) {
        if (kernel != nullptr && kernel->Sched().Halted()) {
            return;
        }
        std::this_thread::yield();
    }
}

void KeReleaseSpinLockFromDpcLevel(KSPIN_LOCK* lock) {
    platform::SchedulerThread* thread = platform::Scheduler::CurrentThread();
    KSPIN_LOCK self = thread != nullptr ? thread->id : 1;
    std::atomic_ref<KSPIN_LOCK> word(*lock);
    Kernel* kernel = Kernel::Current();
    if (word.load() != self) {
        if (kernel != nullptr) {
            kernel->Bugcheck("SPIN_LOCK_NOT_OWNED", "spin lock " + platform::kernel_detail::Hex(lock) +
                                                        " released by " + Caller() +
                                                        ", which does not hold it");
        }
        return;
    }
    if (KeGetCurrentIrql() != DISPATCH_LEVEL && kernel != nullptr) {
        kernel->Bugcheck("SPIN_LOCK_RELEASED_AT_WRONG_IRQL",
                         "spin lock " + platform::kernel_detail::Hex(lock) + " released at IRQL " +
                             std::to_string(KeGetCurrentIrql()) + " by " + Caller());
    }
    word.store(0);
}

void KeReleaseSpinLock(KSPIN_LOCK* lock, KIRQL newIrql) {
    KeReleaseSpinLockFromDpcLevel(lock);
    KeLowerIrql(newIrql);
}

}  // namespace wdm
