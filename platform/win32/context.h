// What every Win32 call needs: the calling thread's machine, process and thread, and the
// last-error value.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace w32::detail {

platform::SchedulerThread* Thread();
platform::Process* CurrentProcess();
platform::Platform* CurrentPlatform();

// Sets the last error and returns the given failure value, for one-line failure paths.
template <typename T>
T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

template <typename T>
std::shared_ptr<T> LookupHandle(HANDLE handle) {
    auto* process = CurrentProcess();
    return process != nullptr ? process->LookupAs<T>(handle) : nullptr;
}

std::optional<std::uint64_t> TimeoutNs(DWORD milliseconds);

}  // namespace w32::detail
