#include "platform/base/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace platform {

namespace {
thread_local SchedulerThread* currentThread = nullptr;
}

WaitableObject::WaitableObject(Scheduler& scheduler, std::string kind, std::string name)
    : scheduler_(scheduler), kind_(std::move(kind)), name_(std::move(name)) {}

WaitableObject::~WaitableObject() = default;

std::string WaitableObject::Description() const {
    return name_.empty() ? kind_ : kind_ + " \"" + name_ + "\"";
}

Scheduler::Scheduler(ClockMode mode, double realSpeed)
    : mode_(mode),
      realSpeed_(realSpeed > 0 ? realSpeed : 1.0),
      realStart_(std::chrono::steady_clock::now()) {}

Scheduler::~Scheduler() = default;

std::uint64_t Scheduler::NowNs() const {
    if (mode_ == ClockMode::Virtual) {
        return virtualNowNs_.load(std::memory_order_acquire);
    }
    auto elapsed = std::chrono::steady_clock::now() - realStart_;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    return static_cast<std::uint64_t>(static_cast<double>(ns) * realSpeed_);
}

std::chrono::steady_clock::time_point Scheduler::RealTimeOf(std::uint64_t ns) const {
    auto real = std::chrono::nanoseconds(static_cast<std::int64_t>(static_cast<double>(ns) / realSpeed_));
    return realStart_ + real;
}

std::shared_ptr<SchedulerThread> Scheduler::RegisterThread(std::string name, bool daemon, Process* process) {
    auto thread = std::make_shared<SchedulerThread>();
    thread->name = std::move(name);
    thread->daemon = daemon;
    thread->process = process;
    auto lock = LockedSection();
    thread->id = nextThreadId_;
    nextThreadId_ += 4;
    threads_.push_back(thread);
    ++running_;
    if (!daemon) {
        ++nonDaemonThreads_;
    }
    return thread;
}

void Scheduler::BindCurrentThread(SchedulerThread* thread) {
    currentThread = thread;
}

SchedulerThread* Scheduler::CurrentThread() {
    return currentThread;
}

std::shared_ptr<SchedulerThread> Scheduler::CurrentThreadRef() const {
    std::lock_guard lock(mutex_);
    for (auto& thread : threads_) {
        if (thread.get() == currentThread) {
            return thread;
        }
    }
    return nullptr;
}

void Scheduler::UnregisterThread(SchedulerThread& thread) {
    auto lock = LockedSection();
    auto it = std::find_if(threads_.begin(), threads_.end(), [&](auto& t) { return t.get() == &thread; });
    if (it == threads_.end()) {
        return;
    }
    thread.exited = true;
    auto keepAlive = *it;
    threads_.erase(it);
    --running_;
    if (!thread.daemon) {
        --nonDaemonThreads_;
    }
    AdvanceWhenIdle();
}

std::optional<WaitOutcome> Scheduler::TrySatisfy(SchedulerThread& thread,
                                                 std::span<WaitableObject* const> objects, bool waitAll) {
    if (objects.empty()) {
        return std::nullopt;
    }
    if (!waitAll) {
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->IsSignaledFor(thread)) {
                objects[i]->Acquire(thread);
                return WaitOutcome::Object(i);
            }
        }
        return std::nullopt;
    }
    for (auto* object : objects) {
        if (!object->IsSignaledFor(thread)) {
            return std::nullopt;
        }
    }
    for (auto* object : objects) {
        object->Acquire(thread);
    }
    return WaitOutcome::Object(0);
}

void Scheduler::Complete(WaitRecord& record, WaitOutcome outcome) {
    for (auto* object : record.objects) {
        auto& list = object->waiters_;
        list.erase(std::remove(list.begin(), list.end(), &record), list.end());
    }
    record.done = true;
    record.outcome = outcome;
    record.thread->wait = nullptr;
    ++running_;
    record.thread->wakeUp.notify_one();
}

void Scheduler::WakeSatisfiedWaiters(WaitableObject& object) {
    // Waiters are served in the order they started waiting; a satisfied waiter may consume the
    // signal (auto-reset events, mutexes), which the next test then sees.
    auto waiters = object.waiters_;
    for (auto* record : waiters) {
        if (record->done) {
            continue;
        }
        if (auto outcome = TrySatisfy(*record->thread, record->objects, record->waitAll)) {
            Complete(*record, *outcome);
        }
    }
}

WaitOutcome Scheduler::Wait(std::span<WaitableObject* const> objects, bool waitAll,
                            std::optional<std::uint64_t> timeoutNs, bool alertable, const char* what) {
    SchedulerThread* self = currentThread;
    if (self == nullptr) {
        std::fprintf(stderr, "platform: %s from a thread the machine does not know\n", what);
        return WaitOutcome::Failed();
    }
    auto lock = LockedSection();
    if (halted_) {
        return WaitOutcome::Failed();
    }
    if (alertable && !self->userApcs.empty()) {
        return WaitOutcome::Apc();
    }
    if (auto outcome = TrySatisfy(*self, objects, waitAll)) {
        return *outcome;
    }
    if (timeoutNs && *timeoutNs == 0) {
        return WaitOutcome::Timeout();
    }

    WaitRecord record;
    record.thread = self;
    record.objects = objects;
    record.waitAll = waitAll;
    record.alertable = alertable;
    record.what = what;
    if (timeoutNs) {
        record.deadlineNs = NowNs() + *timeoutNs;
    }
    for (auto* object : objects) {
        object->waiters_.push_back(&record);
    }
    self->wait = &record;
    --running_;
    AdvanceWhenIdle();

    while (!record.done) {
        if (mode_ == ClockMode::Real && record.deadlineNs) {
            if (self->wakeUp.wait_until(lock, RealTimeOf(*record.deadlineNs)) == std::cv_status::timeout &&
                !record.done) {
                Complete(record, WaitOutcome::Timeout());
            }
        } else {
            self->wakeUp.wait(lock);
        }
    }
    return record.outcome;
}

WaitOutcome Scheduler::Sleep(std::uint64_t ns, bool alertable, const char* what) {
    return Wait({}, false, ns, alertable, what);
}

void Scheduler::AdvanceWhenIdle() {
    // Called with the lock held whenever a thread stops running.
    while (running_ == 0 && !halted_) {
        // With only the machine's service threads left there is nobody to serve: time stands
        // still until a thread that does work joins again.
        if (nonDaemonThreads_ == 0) {
            return;
        }
        std::optional<std::uint64_t> earliest;
        for (auto& thread : threads_) {
            if (thread->wait != nullptr && thread->wait->deadlineNs) {
                earliest = std::min(earliest.value_or(*thread->wait->deadlineNs), *thread->wait->deadlineNs);
            }
        }
        if (!earliest) {
            HaltLocked("deadlock: every thread waits and none has a time-out\n" + DescribeThreadsLocked(),
                       false);
            return;
        }
        if (mode_ == ClockMode::Real) {
            return;  // real deadlines expire by themselves
        }
        if (*earliest > virtualNowNs_.load()) {
            virtualNowNs_.store(*earliest, std::memory_order_release);
        }
        for (auto& thread : threads_) {
            if (thread->wait != nullptr && thread->wait->deadlineNs &&
                *thread->wait->deadlineNs <= *earliest) {
                Complete(*thread->wait, WaitOutcome::Timeout());
            }
        }
    }
}

bool Scheduler::QueueUserApc(SchedulerThread& thread, std::function<void()> apc) {
    auto lock = LockedSection();
    if (thread.exited || halted_) {
        return false;
    }
    thread.userApcs.push_back(std::move(apc));
    if (thread.wait != nullptr && thread.wait->alertable) {
        Complete(*thread.wait, WaitOutcome::Apc());
    }
    return true;
}

bool Scheduler::RunUserApcs() {
    SchedulerThread* self = currentThread;
    if (self == nullptr) {
        return false;
    }
    bool ran = false;
    for (;;) {
        std::function<void()> apc;
        {
            auto lock = LockedSection();
            if (self->userApcs.empty()) {
                break;
            }
            apc = std::move(self->userApcs.front());
            self->userApcs.pop_front();
        }
        apc();
        ran = true;
    }
    return ran;
}

void Scheduler::HaltLocked(const std::string& report, bool quiet) {
    if (halted_) {
        return;
    }
    halted_ = true;
    haltReport_ = report;
    for (auto& thread : threads_) {
        if (thread->wait != nullptr) {
            Complete(*thread->wait, WaitOutcome::Failed());
        }
    }
    if (!quiet && haltHandler_) {
        haltHandler_(report);
    } else if (!quiet) {
        std::fprintf(stderr, "machine halted: %s\n", report.c_str());
    }
}

void Scheduler::Halt(const std::string& report) {
    auto lock = LockedSection();
    HaltLocked(report, false);
}

void Scheduler::Shutdown() {
    auto lock = LockedSection();
    HaltLocked("", true);
}

std::string Scheduler::HaltReport() const {
    std::lock_guard lock(mutex_);
    return haltReport_;
}

void Scheduler::SetHaltHandler(HaltHandler handler) {
    std::lock_guard lock(mutex_);
    haltHandler_ = std::move(handler);
}

std::string Scheduler::DescribeThreadsLocked() const {
    std::ostringstream text;
    for (auto& thread : threads_) {
        text << "  thread \"" << thread->name << "\"" << (thread->daemon ? " (service)" : "");
        if (thread->wait == nullptr) {
            text << " running\n";
            continue;
        }
        text << " in " << thread->wait->what;
        if (thread->wait->objects.empty()) {
            text << " (no object)";
        }
        for (std::size_t i = 0; i < thread->wait->objects.size(); ++i) {
            text << (i == 0 ? " on " : (thread->wait->waitAll ? " and " : " or "))
                 << thread->wait->objects[i]->Description();
        }
        if (thread->wait->deadlineNs) {
            text << " until " << *thread->wait->deadlineNs / 1'000'000 << " ms";
        } else {
            text << ", no time-out";
        }
        text << "\n";
    }
    return text.str();
}

std::string Scheduler::DescribeThreads() const {
    std::lock_guard lock(mutex_);
    return DescribeThreadsLocked();
}

}  // namespace platform
