#include "platform/base/dispatcher_objects.h"

namespace platform {

EventObject::EventObject(Scheduler& scheduler, bool manualReset, bool initialState, std::string name)
    : WaitableObject(scheduler, manualReset ? "manual-reset event" : "auto-reset event", std::move(name)),
      manualReset_(manualReset),
      signaled_(initialState) {}

void EventObject::Set() {
    auto lock = scheduler_.LockedSection();
    signaled_ = true;
    scheduler_.WakeSatisfiedWaiters(*this);
}

void EventObject::Reset() {
    auto lock = scheduler_.LockedSection();
    signaled_ = false;
}

void EventObject::Pulse() {
    auto lock = scheduler_.LockedSection();
    signaled_ = true;
    scheduler_.WakeSatisfiedWaiters(*this);
    signaled_ = false;
}

bool EventObject::IsSet() const {
    auto lock = scheduler_.LockedSection();
    return signaled_;
}

bool EventObject::IsSignaledFor(const SchedulerThread&) const {
    return signaled_;
}

void EventObject::Acquire(SchedulerThread&) {
    if (!manualReset_) {
        signaled_ = false;
    }
}

MutexObject::MutexObject(Scheduler& scheduler, std::string kind, std::string name)
    : WaitableObject(scheduler, std::move(kind), std::move(name)) {}

void MutexObject::TakeOwnership(SchedulerThread& thread) {
    auto lock = scheduler_.LockedSection();
    if (IsSignaledFor(thread)) {
        Acquire(thread);
    }
}

bool MutexObject::Release(SchedulerThread& thread) {
    auto lock = scheduler_.LockedSection();
    if (owner_ != &thread) {
        return false;
    }
    if (--recursion_ == 0) {
        owner_ = nullptr;
        scheduler_.WakeSatisfiedWaiters(*this);
    }
    return true;
}

bool MutexObject::OwnedBy(const SchedulerThread& thread) const {
    auto lock = scheduler_.LockedSection();
    return owner_ == &thread;
}

bool MutexObject::IsSignaledFor(const SchedulerThread& thread) const {
    return owner_ == nullptr || owner_ == &thread;
}

void MutexObject::Acquire(SchedulerThread& thread) {
    owner_ = &thread;
    ++recursion_;
}

ThreadObject::ThreadObject(Scheduler& scheduler, std::shared_ptr<SchedulerThread> thread)
    : WaitableObject(scheduler, "thread", thread->name), thread_(std::move(thread)) {}

void ThreadObject::MarkExited(std::uint32_t exitCode) {
    auto lock = scheduler_.LockedSection();
    exited_ = true;
    exitCode_ = exitCode;
    scheduler_.WakeSatisfiedWaiters(*this);
}

bool ThreadObject::Exited() const {
    auto lock = scheduler_.LockedSection();
    return exited_;
}

std::uint32_t ThreadObject::ExitCode() const {
    auto lock = scheduler_.LockedSection();
    return exitCode_;
}

bool ThreadObject::IsSignaledFor(const SchedulerThread&) const {
    return exited_;
}

}  // namespace platform
