// The machine clock and the scheduler every platform wait goes through.
//
// Virtual mode: time stands still while any machine thread runs; when every machine thread is
// blocked in a platform wait, the clock jumps to the earliest deadline and wakes that waiter.
// Every thread blocked with no deadline is a deadlock: the scheduler halts with a report naming
// each thread and what it waits on, and every wait then fails instead of hanging.
// Real mode: the clock follows the wall clock (optionally sped up) and deadlines are real.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

class Scheduler;
class WaitableObject;
struct WaitRecord;
class Process;

enum class ClockMode { Virtual, Real };

// A thread the scheduler knows: the host thread that runs it binds to it for its lifetime.
struct SchedulerThread {
    std::string name;
    std::uint32_t id = 0;
    bool daemon = false;  // a service thread of the machine: idle waits of daemons are no deadlock
    Process* process = nullptr;
    std::uint32_t lastError = 0;
    int irql = 0;  // the kernel's interrupt request level of this thread

    // Guarded by the scheduler lock.
    std::condition_variable wakeUp;
    WaitRecord* wait = nullptr;
    std::deque<std::function<void()>> userApcs;
    bool exited = false;
};

struct WaitOutcome {
    enum class Kind { Object, Timeout, Apc, Failed };
    Kind kind = Kind::Failed;
    std::size_t index = 0;  // which object satisfied a wait for any

    static WaitOutcome Object(std::size_t i) { return {Kind::Object, i}; }
    static WaitOutcome Timeout() { return {Kind::Timeout, 0}; }
    static WaitOutcome Apc() { return {Kind::Apc, 0}; }
    static WaitOutcome Failed() { return {Kind::Failed, 0}; }
};

// A dispatcher object: something a thread can wait on. State changes happen under the scheduler
// lock (LockedSection) and end with WakeSatisfiedWaiters.
class WaitableObject {
  public:
    WaitableObject(Scheduler& scheduler, std::string kind, std::string name);
    virtual ~WaitableObject();
    WaitableObject(const WaitableObject&) = delete;
    WaitableObject& operator=(const WaitableObject&) = delete;

    Scheduler& OwningScheduler() const { return scheduler_; }
    std::string Description() const;

  protected:
    friend class Scheduler;
    // Both are called with the scheduler lock held.
    virtual bool IsSignaledFor(const SchedulerThread& thread) const = 0;
    virtual void Acquire(SchedulerThread& /*thread*/) {}

    Scheduler& scheduler_;
    std::string kind_;
    std::string name_;
    std::vector<WaitRecord*> waiters_;
};

class Scheduler {
  public:
    using HaltHandler = std::function<void(const std::string& report)>;

    explicit Scheduler(ClockMode mode, double realSpeed = 1.0);
    ~Scheduler();

    ClockMode Mode() const { return mode_; }
    // Nanoseconds since boot.
    std::uint64_t NowNs() const;
    std::uint64_t NowMs() const { return NowNs() / 1'000'000; }

    // Threads. A new thread counts as running from the moment it is registered, so time cannot
    // jump between its creation and its first instruction.
    std::shared_ptr<SchedulerThread> RegisterThread(std::string name, bool daemon, Process* process);
    // Binds the calling host thread to a registered thread (nullptr unbinds).
    static void BindCurrentThread(SchedulerThread* thread);
    static SchedulerThread* CurrentThread();
    // The current thread as a shared reference, for records that may outlive the thread (the
    // issuer of a request still in flight); nullptr outside the machine.
    std::shared_ptr<SchedulerThread> CurrentThreadRef() const;
    // The thread leaves the machine: it no longer counts as running.
    void UnregisterThread(SchedulerThread& thread);

    // Blocks the current thread until the objects are signalled (any or all), the time-out passes,
    // or (alertable) a user APC is queued to it. A time-out of 0 only tests; nullopt waits forever.
    WaitOutcome Wait(std::span<WaitableObject* const> objects, bool waitAll,
                     std::optional<std::uint64_t> timeoutNs, bool alertable, const char* what);
    // Sleeps for a time without objects.
    WaitOutcome Sleep(std::uint64_t ns, bool alertable, const char* what = "Sleep");

    // User APCs: queued to a thread, run only by that thread inside an alertable wait.
    bool QueueUserApc(SchedulerThread& thread, std::function<void()> apc);
    // Runs every APC queued to the current thread; true when any ran.
    bool RunUserApcs();

    // Everything that changes a dispatcher object's state holds this lock.
    std::unique_lock<std::mutex> LockedSection() { return std::unique_lock<std::mutex>(mutex_); }
    // With the lock held: wake the waiters of `object` whose wait is now satisfied.
    void WakeSatisfiedWaiters(WaitableObject& object);

    // Stops the machine: every wait fails from now on. The report is kept and handed to the
    // halt handler (once).
    void Halt(const std::string& report);
    // Stops the machine at its end, quietly.
    void Shutdown();
    bool Halted() const { return halted_.load(); }
    std::string HaltReport() const;
    void SetHaltHandler(HaltHandler handler);

    // Names and waits of every thread, for reports.
    std::string DescribeThreads() const;

  private:
    friend class WaitableObject;
    std::optional<WaitOutcome> TrySatisfy(SchedulerThread& thread, std::span<WaitableObject* const> objects,
                                          bool waitAll);
    void Complete(WaitRecord& record, WaitOutcome outcome);
    void AdvanceWhenIdle();
    void HaltLocked(const std::string& report, bool quiet);
    std::string DescribeThreadsLocked() const;
    std::chrono::steady_clock::time_point RealTimeOf(std::uint64_t ns) const;

    const ClockMode mode_;
    const double realSpeed_;
    const std::chrono::steady_clock::time_point realStart_;

    mutable std::mutex mutex_;
    std::atomic<std::uint64_t> virtualNowNs_{0};
    std::vector<std::shared_ptr<SchedulerThread>> threads_;
    std::uint32_t nextThreadId_ = 0x100;
    int running_ = 0;
    int nonDaemonThreads_ = 0;
    std::atomic<bool> halted_{false};
    std::string haltReport_;
    HaltHandler haltHandler_;
};

struct WaitRecord {
    SchedulerThread* thread = nullptr;
    std::span<WaitableObject* const> objects;
    bool waitAll = false;
    bool alertable = false;
    std::optional<std::uint64_t> deadlineNs;
    const char* what = "";
    bool done = false;
    WaitOutcome outcome;
};

}  // namespace platform
