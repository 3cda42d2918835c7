// Handles, last error, time, debugger output, version and virtual memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "platform/win32/context.h"

namespace w32 {

namespace detail {

namespace {
// The last error of host threads that are not machine threads.
thread_local DWORD outsideLastError = 0;
}  // namespace

platform::SchedulerThread* Thread() {
    return platform::Scheduler::CurrentThread();
}

platform::Process* CurrentProcess() {
    auto* thread = Thread();
    return thread != nullptr ? thread->process : nullptr;
}

platform::Platform* CurrentPlatform() {
    return platform::Platform::Current();
}

std::optional<std::uint64_t> TimeoutNs(DWORD milliseconds) {
    if (milliseconds == INFINITE) {
        return std::nullopt;
    }
    return std::uint64_t{milliseconds} * 1'000'000;
}

DWORD& LastErrorSlot() {
    auto* thread = Thread();
    return thread != nullptr ? thread->lastError : outsideLastError;
}

}  // namespace detail

using namespace detail;

DWORD GetLastError() {
    return LastErrorSlot();
}

void SetLastError(DWORD error) {
    LastErrorSlot() = error;
}

BOOL CloseHandle(HANDLE object) {
    auto* process = CurrentProcess();
    if (process == nullptr || !process->Close(object)) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

DWORD GetTickCount() {
    auto* platform = CurrentPlatform();
    return platform != nullptr ? static_cast<DWORD>(platform->Sched().NowMs()) : 0;
}

void OutputDebugStringA(LPCSTR text) {
    auto* platform = CurrentPlatform();
    if (platform != nullptr && text != nullptr) {
        platform->Trace().Write("debug", text);
    }
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr || info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    const auto& version = platform->Version();
    info->dwMajorVersion = version.major;
    info->dwMinorVersion = version.minor;
    info->dwPlatformId = version.platformId;
    // The 9x family carries the major and minor version in the build number's high word.
    info->dwBuildNumber = version.platformId == VER_PLATFORM_WIN32_WINDOWS
                              ? (version.major << 24 | version.minor << 16 | version.build)
                              : version.build;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

namespace {
// Each reservation keeps its length in a header page in front of the pages handed out, so
// VirtualFree(MEM_RELEASE) can unmap it without a table.
std::size_t PageSize() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}
}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD) {
    if (address != nullptr) {
        // Committing inside an earlier reservation: the pages are already usable.
        return (allocationType & MEM_COMMIT) != 0 ? address : Fail(ERROR_INVALID_ADDRESS, LPVOID{nullptr});
    }
    auto* platform = CurrentPlatform();
    if (size == 0 || (allocationType & (MEM_COMMIT | MEM_RESERVE)) == 0) {
        return Fail(ERROR_INVALID_PARAMETER, LPVOID{nullptr});
    }
    if (platform != nullptr && platform->Faults().Hit("VirtualAlloc")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
    }
    std::size_t page = PageSize();
    std::size_t length = (size + page - 1) / page * page + page;
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
    }
    std::memcpy(base, &length, sizeof length);
    return static_cast<std::uint8_t*>(base) + page;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (address == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (freeType == MEM_DECOMMIT) {
        return TRUE;
    }
    if (freeType != MEM_RELEASE || size != 0) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    auto* base = static_cast<std::uint8_t*>(address) - PageSize();
    std::size_t length;
    std::memcpy(&length, base, sizeof length);
    return ::munmap(base, length) == 0 ? TRUE : Fail(ERROR_INVALID_PARAMETER, FALSE);
}

}  // namespace w32
