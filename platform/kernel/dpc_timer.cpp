// DPCs, timers and work items, run by the machine's dispatcher thread: a service thread that
// waits on its queue, with the earliest timer's expiry as its time-out, so timers fire in the
// machine clock. DPCs and timer DPCs run at DISPATCH_LEVEL, work items at PASSIVE_LEVEL.
#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;
using namespace kernel_detail;

namespace {

struct ReadyDpc {
    KDPC* dpc;
    PKDEFERRED_ROUTINE routine;
    void* context;
    void* argument1;
    void* argument2;
    DRIVER_OBJECT* owner;
};

}  // namespace

bool Kernel::InsertDpc(KDPC* dpc, void* argument1, void* argument2) {
    {
        std::lock_guard lock(dpcMutex_);
        if (dpc->Inserted) {
            return false;
        }
        dpc->Inserted = TRUE;
        dpc->SystemArgument1 = argument1;
        dpc->SystemArgument2 = argument2;
        dpcQueue_.push_back(dpc);
    }
    dispatcherWake_->Set();
    return true;
}

bool Kernel::RemoveDpc(KDPC* dpc) {
    std::lock_guard lock(dpcMutex_);
    if (!dpc->Inserted) {
        return false;
    }
    std::erase(dpcQueue_, dpc);
    dpc->Inserted = FALSE;
    return true;
}

bool Kernel::SetTimer(KTIMER* timer, std::int64_t dueTime, LONG periodMs, KDPC* dpc) {
    auto* event = dynamic_cast<EventObject*>(BoundObject(timer));
    if (event == nullptr) {
        Bugcheck("DISPATCHER_OBJECT_NOT_INITIALIZED", "KeSetTimer on " + Hex(timer) +
                                                          ", which was never initialised, by " +
                                                          DriverName(DriverCall::Current()));
        return false;
    }
    std::uint64_t now = Sched().NowNs();
    std::uint64_t units = dueTime < 0
                              ? static_cast<std::uint64_t>(-dueTime)
                              : static_cast<std::uint64_t>(std::max<std::int64_t>(0, dueTime - SystemTime()));
    event->Reset();
    bool wasInserted;
    {
        std::lock_guard lock(dpcMutex_);
        wasInserted = timers_.count(timer) != 0;
        timer->DueTimeNs = now + units * 100;
        timer->Dpc = dpc;
        timer->PeriodMs = std::max<LONG>(0, periodMs);
        timer->Inserted = TRUE;
        timers_.insert(timer);
    }
    dispatcherWake_->Set();
    return wasInserted;
}

bool Kernel::CancelTimer(KTIMER* timer) {
    std::lock_guard lock(dpcMutex_);
    timer->Inserted = FALSE;
    return timers_.erase(timer) != 0;
}

void Kernel::QueueWorkItem(std::function<void()> item) {
    {
        std::lock_guard lock(dpcMutex_);
        workItems_.push_back(std::move(item));
    }
    dispatcherWake_->Set();
}

void Kernel::CheckFreedTimersAndDpcs(const void* begin, std::size_t bytes) {
    const auto* first = static_cast<const char*>(begin);
    auto inside = [&](const void* address) {
        const auto* at = static_cast<const char*>(address);
        return at >= first && at < first + bytes;
    };
    std::string found;
    {
        std::lock_guard lock(dpcMutex_);
        if (std::erase_if(timers_, [&](KTIMER* timer) { return inside(timer); }) > 0) {
            found = "a timer still set";
        } else if (std::erase_if(dpcQueue_, [&](KDPC* dpc) { return inside(dpc); }) > 0) {
            found = "a DPC still queued";
        }
    }
    if (!found.empty()) {
        Bugcheck("TIMER_OR_DPC_INVALID", "pool block " + Hex(begin) + " freed by " +
                                             DriverName(DriverCall::Current()) + " holds " + found);
    }
}

void Kernel::DispatcherLoop() {
    SchedulerThread* self = Scheduler::CurrentThread();
    for (;;) {
        std::vector<ReadyDpc> ready;
        std::deque<std::function<void()>> work;
        std::vector<EventObject*> expired;
        std::optional<std::uint64_t> nextDue;
        {
            std::lock_guard lock(dpcMutex_);
            std::uint64_t now = Sched().NowNs();
            for (auto it = timers_.begin(); it != timers_.end();) {
                KTIMER* timer = *it;
                if (timer->DueTimeNs > now) {
                    ++it;
                    continue;
                }
                if (auto* event = dynamic_cast<EventObject*>(BoundObject(timer))) {
                    expired.push_back(event);
                }
                if (timer->Dpc != nullptr && !timer->Dpc->Inserted) {
                    timer->Dpc->Inserted = TRUE;
                    timer->Dpc->SystemArgument1 = nullptr;
                    timer->Dpc->SystemArgument2 = nullptr;
                    dpcQueue_.push_back(timer->Dpc);
                }
                if (timer->PeriodMs > 0) {
                    timer->DueTimeNs += static_cast<std::uint64_t>(timer->PeriodMs) * 1'000'000;
                    ++it;
                } else {
                    timer->Inserted = FALSE;
                    it = timers_.erase(it);
                }
            }
            // Routine, context and arguments are taken now: the driver may reuse the DPC once it runs.
            for (KDPC* dpc : dpcQueue_) {
                dpc->Inserted = FALSE;
                ready.push_back({dpc, dpc->DeferredRoutine, dpc->DeferredContext, dpc->SystemArgument1,
                                 dpc->SystemArgument2, static_cast<DRIVER_OBJECT*>(dpc->Owner)});
            }
            dpcQueue_.clear();
            work.swap(workItems_);
            for (KTIMER* timer : timers_) {
                nextDue = std::min(nextDue.value_or(timer->DueTimeNs), timer->DueTimeNs);
            }
        }
        for (EventObject* event : expired) {
            event->Set();
        }
        self->irql = DISPATCH_LEVEL;
        for (auto& dpc : ready) {
            DriverCall call(dpc.owner);
            dpc.routine(dpc.dpc, dpc.context, dpc.argument1, dpc.argument2);
            if (self->irql != DISPATCH_LEVEL) {
                Bugcheck("IRQL_UNEXPECTED_VALUE", "a DPC of " + DriverName(dpc.owner) + " returned at IRQL " +
                                                      std::to_string(self->irql));
                self->irql = DISPATCH_LEVEL;
            }
        }
        self->irql = PASSIVE_LEVEL;
        for (auto& item : work) {
            item();
        }
        if (!ready.empty() || !work.empty() || !expired.empty()) {
            continue;  // what ran may have queued more
        }
        std::optional<std::uint64_t> timeout;
        if (nextDue) {
            std::uint64_t now = Sched().NowNs();
            timeout = *nextDue > now ? *nextDue - now : 0;
        }
        WaitableObject* objects[] = {dispatcherWake_.get()};
        if (Sched().Wait(objects, false, timeout, false, "dispatcher queue").kind ==
            WaitOutcome::Kind::Failed) {
            return;
        }
    }
}

}  // namespace platform

namespace wdm {

using platform::Kernel;

void KeInitializeDpc(KDPC* dpc, PKDEFERRED_ROUTINE routine, PVOID context) {
    dpc->Type = 0x13;
    dpc->Inserted = FALSE;
    dpc->DeferredRoutine = routine;
    dpc->DeferredContext = context;
    dpc->SystemArgument1 = nullptr;
    dpc->SystemArgument2 = nullptr;
    dpc->Owner = platform::DriverCall::Current();
}

BOOLEAN KeInsertQueueDpc(KDPC* dpc, PVOID systemArgument1, PVOID systemArgument2) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->InsertDpc(dpc, systemArgument1, systemArgument2) ? TRUE : FALSE;
}

BOOLEAN KeRemoveQueueDpc(KDPC* dpc) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->RemoveDpc(dpc) ? TRUE : FALSE;
}

void KeInitializeTimerEx(KTIMER* timer, TIMER_TYPE type) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr) {
        return;
    }
    kernel->CancelTimer(timer);
    timer->Header.Type = static_cast<UCHAR>(8 + type);
    timer->Header.Object =
        kernel->BindObject<platform::EventObject>(timer, type == NotificationTimer, false, "KTIMER");
    timer->DueTimeNs = 0;
    timer->Dpc = nullptr;
    timer->PeriodMs = 0;
    timer->Inserted = FALSE;
}

void KeInitializeTimer(KTIMER* timer) {
    KeInitializeTimerEx(timer, NotificationTimer);
}

BOOLEAN KeSetTimer(KTIMER* timer, LARGE_INTEGER dueTime, KDPC* dpc) {
    return KeSetTimerEx(timer, dueTime, 0, dpc);
}

BOOLEAN KeSetTimerEx(KTIMER* timer, LARGE_INTEGER dueTime, LONG periodMs, KDPC* dpc) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->SetTimer(timer, dueTime.QuadPart, periodMs, dpc) ? TRUE : FALSE;
}

BOOLEAN KeCancelTimer(KTIMER* timer) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->CancelTimer(timer) ? TRUE : FALSE;
}

BOOLEAN KeReadStateTimer(KTIMER* timer) {
    Kernel* kernel = Kernel::Current();
    auto* event =
        kernel != nullptr ? dynamic_cast<platform::EventObject*>(kernel->BoundObject(timer)) : nullptr;
    return event != nullptr && event->IsSet() ? TRUE : FALSE;
}

}  // namespace wdm
