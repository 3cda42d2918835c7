// Threads, events, mutexes, critical sections, waits and user APCs.
#include <vector>

#include "platform/win32/context.h"

namespace w32 {

using namespace detail;

namespace {

HANDLE const kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(~std::uintptr_t{1});

class Win32Event : public platform::HandleObject {
  public:
    Win32Event(platform::Scheduler& scheduler, bool manualReset, bool initialState, std::string name)
        : event(scheduler, manualReset, initialState, std::move(name)) {}
    const char* TypeName() const override { return "Event"; }
    platform::WaitableObject* Waitable() override { return &event; }
    platform::EventObject event;
};

class Win32Mutex : public platform::HandleObject {
  public:
    Win32Mutex(platform::Scheduler& scheduler, std::string name)
        : mutex(scheduler, "mutex", std::move(name)) {}
    const char* TypeName() const override { return "Mutant"; }
    platform::WaitableObject* Waitable() override { return &mutex; }
    platform::MutexObject mutex;
};

class Win32Thread : public platform::HandleObject {
  public:
    explicit Win32Thread(std::shared_ptr<platform::ThreadObject> object) : thread(std::move(object)) {}
    const char* TypeName() const override { return "Thread"; }
    platform::WaitableObject* Waitable() override { return thread.get(); }
    std::shared_ptr<platform::ThreadObject> thread;
};

// Creates a named or unnamed object, or opens the existing one of that name (ERROR_ALREADY_EXISTS).
template <typename T, typename Make>
HANDLE CreateNamed(LPCSTR name, Make make, bool* existed) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr) {
        return nullptr;
    }
    *existed = false;
    std::shared_ptr<T> object;
    if (name != nullptr && *name != '\0') {
        auto found = platform->FindNamedObject(name);
        if (found) {
            object = std::dynamic_pointer_cast<T>(found);
            if (!object) {
                return Fail(ERROR_INVALID_HANDLE, HANDLE{nullptr});  // the name belongs to another type
            }
            *existed = true;
        }
    }
    if (!object) {
        object = make(*platform);
        if (name != nullptr && *name != '\0') {
            platform->AddNamedObject(name, object);
        }
    }
    HANDLE handle = CurrentProcess()->Insert(object);
    SetLastError(*existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

template <typename T>
HANDLE OpenNamed(LPCSTR name) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr || name == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    }
    auto object = std::dynamic_pointer_cast<T>(platform->FindNamedObject(name));
    if (!object) {
        return Fail(ERROR_FILE_NOT_FOUND, HANDLE{nullptr});
    }
    return CurrentProcess()->Insert(object);
}

platform::MutexObject* SectionMutex(CRITICAL_SECTION* section) {
    return section != nullptr ? static_cast<platform::MutexObject*>(section->impl) : nullptr;
}

}  // namespace

HANDLE CreateNamedThread(const char* name, std::function<DWORD()> body, DWORD* threadId) {
    auto* process = CurrentProcess();
    if (process == nullptr || !body) {
        return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    }
    auto object =
        process->OwningPlatform().StartThread(*process, name != nullptr ? name : "thread", std::move(body));
    if (threadId != nullptr) {
        *threadId = object->Thread().id;
    }
    return process->Insert(std::make_shared<Win32Thread>(object));
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    DWORD* threadId) {
    if (start == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    }
    return CreateNamedThread(
        "thread", [start, parameter] { return start(parameter); }, threadId);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    auto object = LookupHandle<Win32Thread>(thread);
    if (!object || exitCode == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    *exitCode = object->thread->Exited() ? object->thread->ExitCode() : STILL_ACTIVE;
    return TRUE;
}

HANDLE GetCurrentThread() {
    return kCurrentThreadPseudoHandle;
}

HANDLE OpenThread(DWORD, BOOL, DWORD threadId) {
    auto* platform = CurrentPlatform();
    auto object = platform != nullptr ? platform->FindThread(threadId) : nullptr;
    if (!object) {
        return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    }
    return CurrentProcess()->Insert(std::make_shared<Win32Thread>(object));
}

DWORD GetCurrentThreadId() {
    auto* thread = Thread();
    return thread != nullptr ? thread->id : 0;
}

DWORD GetCurrentProcessId() {
    auto* process = CurrentProcess();
    return process != nullptr ? process->Id() : 0;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    bool existed = false;
    return CreateNamed<Win32Event>(
        name,
        [&](platform::Platform& platform) {
            return std::make_shared<Win32Event>(platform.Sched(), manualReset != FALSE, initialState != FALSE,
                                                name != nullptr ? name : "");
        },
        &existed);
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
    return OpenNamed<Win32Event>(name);
}

BOOL SetEvent(HANDLE event) {
    auto object = LookupHandle<Win32Event>(event);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    object->event.Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = LookupHandle<Win32Event>(event);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    object->event.Reset();
    return TRUE;
}

BOOL PulseEvent(HANDLE event) {
    auto object = LookupHandle<Win32Event>(event);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    object->event.Pulse();
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    bool existed = false;
    HANDLE handle = CreateNamed<Win32Mutex>(
        name,
        [&](platform::Platform& platform) {
            return std::make_shared<Win32Mutex>(platform.Sched(), name != nullptr ? name : "");
        },
        &existed);
    // An existing mutex is opened, not taken: the initial owner applies only to a new one.
    if (handle != nullptr && initialOwner && !existed) {
        LookupHandle<Win32Mutex>(handle)->mutex.TakeOwnership(*Thread());
    }
    return handle;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
    return OpenNamed<Win32Mutex>(name);
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = LookupHandle<Win32Mutex>(mutex);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!object->mutex.Release(*Thread())) {
        return Fail(ERROR_NOT_OWNER, FALSE);
    }
    return TRUE;
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    auto* platform = CurrentPlatform();
    if (section != nullptr && platform != nullptr) {
        section->impl = new platform::MutexObject(platform->Sched(), "critical section");
    }
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    if (section != nullptr) {
        delete SectionMutex(section);
        section->impl = nullptr;
    }
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
    auto* mutex = SectionMutex(section);
    if (mutex == nullptr) {
        return;
    }
    platform::WaitableObject* objects[] = {mutex};
    mutex->OwningScheduler().Wait(objects, false, std::nullopt, false, "EnterCriticalSection");
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
    auto* mutex = SectionMutex(section);
    if (mutex == nullptr) {
        return FALSE;
    }
    platform::WaitableObject* objects[] = {mutex};
    return mutex->OwningScheduler().Wait(objects, false, 0, false, "TryEnterCriticalSection").kind ==
                   platform::WaitOutcome::Kind::Object
               ? TRUE
               : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
    auto* mutex = SectionMutex(section);
    if (mutex != nullptr && Thread() != nullptr) {
        mutex->Release(*Thread());
    }
}

DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                               BOOL alertable) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    // The handle objects stay alive for the whole wait even if another thread closes a handle.
    std::vector<std::shared_ptr<platform::HandleObject>> held;
    std::vector<platform::WaitableObject*> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = CurrentProcess()->Lookup(handles[i]);
        if (!object || object->Waitable() == nullptr) {
            return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        }
        objects.push_back(object->Waitable());
        held.push_back(std::move(object));
    }
    auto outcome =
        platform->Sched().Wait(objects, waitAll != FALSE, TimeoutNs(milliseconds), alertable != FALSE,
                               count == 1 ? "WaitForSingleObject" : "WaitForMultipleObjects");
    switch (outcome.kind) {
        case platform::WaitOutcome::Kind::Object:
            return WAIT_OBJECT_0 + static_cast<DWORD>(outcome.index);
        case platform::WaitOutcome::Kind::Timeout:
            return WAIT_TIMEOUT;
        case platform::WaitOutcome::Kind::Apc:
            platform->Sched().RunUserApcs();
            return WAIT_IO_COMPLETION;
        case platform::WaitOutcome::Kind::Failed:
            break;
    }
    return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    return WaitForMultipleObjectsEx(count, handles, waitAll, milliseconds, FALSE);
}

DWORD WaitForSingleObjectEx(HANDLE object, DWORD milliseconds, BOOL alertable) {
    return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, alertable);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, FALSE);
}

DWORD SleepEx(DWORD milliseconds, BOOL alertable) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr) {
        return 0;
    }
    auto outcome = platform->Sched().Wait({}, false, TimeoutNs(milliseconds), alertable != FALSE, "Sleep");
    if (outcome.kind == platform::WaitOutcome::Kind::Apc) {
        platform->Sched().RunUserApcs();
        return WAIT_IO_COMPLETION;
    }
    return 0;
}

void Sleep(DWORD milliseconds) {
    SleepEx(milliseconds, FALSE);
}

DWORD QueueUserAPC(PAPCFUNC function, HANDLE thread, ULONG_PTR data) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr || function == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
    }
    platform::SchedulerThread* target = nullptr;
    if (thread == kCurrentThreadPseudoHandle) {
        target = Thread();
    } else if (auto object = LookupHandle<Win32Thread>(thread)) {
        target = &object->thread->Thread();
    }
    if (target == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, DWORD{0});
    }
    return platform->Sched().QueueUserApc(*target, [function, data] { function(data); }) ? 1 : 0;
}

}  // namespace w32
