// The dispatcher objects the user-mode and kernel faces share: events, mutexes, threads.
#pragma once

#include "platform/base/scheduler.h"

namespace platform {

class EventObject : public WaitableObject {
  public:
    EventObject(Scheduler& scheduler, bool manualReset, bool initialState, std::string name = {});

    void Set();
    void Reset();
    // Wakes the waiters a set would wake, then leaves the event not signalled.
    void Pulse();
    bool IsSet() const;
    bool ManualReset() const { return manualReset_; }

  protected:
    bool IsSignaledFor(const SchedulerThread& thread) const override;
    void Acquire(SchedulerThread& thread) override;

  private:
    const bool manualReset_;
    bool signaled_;
};

// A recursive mutex owned by a thread, as Win32 mutexes, critical sections and kernel mutexes are.
class MutexObject : public WaitableObject {
  public:
    MutexObject(Scheduler& scheduler, std::string kind, std::string name = {});

    // Takes ownership for the current thread when it is free (for an initially owned mutex).
    void TakeOwnership(SchedulerThread& thread);
    // False when the current thread does not own it.
    bool Release(SchedulerThread& thread);
    bool OwnedBy(const SchedulerThread& thread) const;

  protected:
    bool IsSignaledFor(const SchedulerThread& thread) const override;
    void Acquire(SchedulerThread& thread) override;

  private:
    const SchedulerThread* owner_ = nullptr;
    unsigned recursion_ = 0;
};

// Signalled once its thread has ended; carries the exit code.
class ThreadObject : public WaitableObject {
  public:
    ThreadObject(Scheduler& scheduler, std::shared_ptr<SchedulerThread> thread);

    void MarkExited(std::uint32_t exitCode);
    bool Exited() const;
    std::uint32_t ExitCode() const;
    SchedulerThread& Thread() const { return *thread_; }

  protected:
    bool IsSignaledFor(const SchedulerThread& thread) const override;

  private:
    std::shared_ptr<SchedulerThread> thread_;
    bool exited_ = false;
    std::uint32_t exitCode_ = 0;
};

}  // namespace platform
