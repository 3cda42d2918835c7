// One simulated PC's platform: OS flavour, clock and scheduler, trace, fault points, registry,
// C: drive, named objects and processes. The system's code reaches it through the current
// thread (user mode through w32::, drivers through wdm::); several can live in one host process.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/base/dispatcher_objects.h"
#include "platform/base/faults.h"
#include "platform/base/scheduler.h"
#include "platform/base/trace.h"
#include "platform/files/c_drive.h"
#include "platform/process.h"
#include "platform/registry/registry.h"

namespace platform {

class Kernel;

enum class OsFlavour { Win95, Win98, WinMe, Win2000, WinXp };

struct OsVersion {
    const char* name;     // "Windows XP"
    const char* option;   // "xp", as --os takes it
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
    std::uint32_t platformId;  // 1 = the 9x family, 2 = NT
};

inline constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

const OsVersion& VersionOf(OsFlavour flavour);
std::optional<OsFlavour> ParseOsFlavour(std::string_view option);

struct PlatformConfig {
    OsFlavour flavour = OsFlavour::WinXp;
    ClockMode clock = ClockMode::Virtual;
    double realSpeed = 1.0;
    // Host folder of the C: drive; a temporary folder, removed at the end, when empty.
    std::filesystem::path cDrive;
    bool userIsAdministrator = true;

    static PlatformConfig Of(OsFlavour flavour) {
        PlatformConfig config;
        config.flavour = flavour;
        return config;
    }
};

class Platform {
public:
    explicit Platform(PlatformConfig config = {});
    // Stops the machine quietly, waits for its threads and removes a temporary C: folder.
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    // The platform of the calling thread; nullptr on a host thread outside every machine.
    static Platform* Current();

    OsFlavour Flavour() const { return config_.flavour; }
    const OsVersion& Version() const { return VersionOf(config_.flavour); }
    bool IsNtFamily() const { return Version().platformId == VER_PLATFORM_WIN32_NT; }
    bool UserIsAdministrator() const { return config_.userIsAdministrator; }

    Scheduler& Sched() { return scheduler_; }
    TraceSink& Trace() { return trace_; }
    FaultPoints& Faults() { return faults_; }
    Registry& Reg() { return registry_; }
    CDrive& Drive() { return *drive_; }
    // The machine's kernel: I/O manager, executive and verifier.
    Kernel& Kern() { return *kernel_; }

    // Named objects (mutexes, events) of the Win32 object namespace; names are case-sensitive.
    std::shared_ptr<HandleObject> FindNamedObject(const std::string& name);
    void AddNamedObject(const std::string& name, const std::shared_ptr<HandleObject>& object);

    std::shared_ptr<Process> CreateProcess(std::string name);

    // Opens "\\.\NAME" device paths for CreateFileA; the kernel installs it when it boots.
    // Returns the handle object, or nullptr with a Win32 error in `error`.
    using DeviceOpener = std::function<std::shared_ptr<HandleObject>(const std::string& name, std::uint32_t access,
                                                                     std::uint32_t share, std::uint32_t flags,
                                                                     std::uint32_t* error)>;
    void SetDeviceOpener(DeviceOpener opener);
    std::shared_ptr<HandleObject> OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t share,
                                             std::uint32_t flags, std::uint32_t* error);

    // Starts a machine thread in a process. It counts as running from this call on.
    std::shared_ptr<ThreadObject> StartThread(Process& process, std::string name, std::function<std::uint32_t()> body,
                                              bool daemon = false);
    // Waits (a platform wait) until a thread ends.
    bool JoinThread(ThreadObject& thread);
    // The thread object of a live machine thread, by id (OpenThread).
    std::shared_ptr<ThreadObject> FindThread(std::uint32_t threadId);
    void AddThread(const std::shared_ptr<ThreadObject>& thread);

private:
    PlatformConfig config_;
    Scheduler scheduler_;
    TraceSink trace_;
    FaultPoints faults_;
    Registry registry_;
    std::unique_ptr<CDrive> drive_;
    bool temporaryDrive_ = false;

    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<HandleObject>> namedObjects_;
    std::vector<std::shared_ptr<Process>> processes_;
    std::uint32_t nextProcessId_ = 0x40;
    std::vector<std::thread> hostThreads_;
    std::map<std::uint32_t, std::weak_ptr<ThreadObject>> threadsById_;
    DeviceOpener deviceOpener_;
    std::unique_ptr<Kernel> kernel_;  // last: it starts machine threads and installs the device opener
};

// The calling host thread joins a machine as the main thread of a new process, for the lifetime
// of the scope; leaving it closes the process's handles.
class ProcessScope {
public:
    ProcessScope(Platform& platform, std::string processName, std::string threadName = "main");
    ~ProcessScope();
    ProcessScope(const ProcessScope&) = delete;
    ProcessScope& operator=(const ProcessScope&) = delete;

    Process& Proc() { return *process_; }

private:
    Platform& platform_;
    std::shared_ptr<Process> process_;
    std::shared_ptr<SchedulerThread> thread_;
    std::shared_ptr<ThreadObject> threadObject_;
    SchedulerThread* previous_;
};

}  // namespace platform
