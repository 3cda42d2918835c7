#include "platform/platform.h"

#include <cstdlib>

#include "platform/kernel/kernel.h"
#include "platform/storage/c_volume.h"

namespace platform {

namespace {

constexpr OsVersion kVersions[] = {
    {"Windows 95", "95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS},
    {"Windows 98", "98", 4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS},
    {"Windows Me", "me", 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS},
    {"Windows 2000", "2000", 5, 0, 2195, VER_PLATFORM_WIN32_NT},
    {"Windows XP", "xp", 5, 1, 2600, VER_PLATFORM_WIN32_NT},
};

std::filesystem::path MakeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rpx-c-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

}  // namespace

const OsVersion& VersionOf(OsFlavour flavour) { return kVersions[static_cast<int>(flavour)]; }

std::optional<OsFlavour> ParseOsFlavour(std::string_view option) {
    for (int i = 0; i < static_cast<int>(std::size(kVersions)); ++i) {
        if (EqualsIgnoreCase(option, kVersions[i].option)) {
            return static_cast<OsFlavour>(i);
        }
    }
    return std::nullopt;
}

Platform::Platform(PlatformConfig config)
    : config_(std::move(config)),
      scheduler_(config_.clock, config_.realSpeed),
      trace_([this] { return scheduler_.NowNs(); }) {
    if (config_.cDrive.empty()) {
        config_.cDrive = MakeTemporaryFolder();
        temporaryDrive_ = true;
    } else {
        std::filesystem::create_directories(config_.cDrive);
    }
    drive_ = std::make_unique<CDrive>(config_.cDrive);
    scheduler_.SetHaltHandler([this](const std::string& report) {
        trace_.Write("machine", "halted: " + report);
        std::fprintf(stderr, "machine halted: %s\n", report.c_str());
    });
    kernel_ = std::make_unique<Kernel>(*this);
}

Platform::~Platform() {
    kernel_->Shutdown();
    scheduler_.Shutdown();
    for (auto& thread : hostThreads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    {
        std::lock_guard lock(mutex_);
        processes_.clear();
    }
    if (temporaryDrive_) {
        std::error_code error;
        std::filesystem::remove_all(config_.cDrive, error);
    }
}

Platform* Platform::Current() {
    SchedulerThread* thread = Scheduler::CurrentThread();
    return (thread != nullptr && thread->process != nullptr) ? &thread->process->OwningPlatform() : nullptr;
}

std::shared_ptr<HandleObject> Platform::FindNamedObject(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = namedObjects_.find(name);
    if (it == namedObjects_.end()) {
        return nullptr;
    }
    auto object = it->second.lock();
    if (!object) {
        namedObjects_.erase(it);
    }
    return object;
}

void Platform::AddNamedObject(const std::string& name, const std::shared_ptr<HandleObject>& object) {
    std::lock_guard lock(mutex_);
    namedObjects_[name] = object;
}

std::shared_ptr<Process> Platform::CreateProcess(std::string name) {
    std::lock_guard lock(mutex_);
    auto process = std::make_shared<Process>(*this, std::move(name), nextProcessId_);
    nextProcessId_ += 4;
    processes_.push_back(process);
    return process;
}

void Platform::SetDeviceOpener(DeviceOpener opener) {
    std::lock_guard lock(mutex_);
    deviceOpener_ = std::move(opener);
}

std::shared_ptr<HandleObject> Platform::OpenDevice(const std::string& name, std::uint32_t access, std::uint32_t share,
                                                   std::uint32_t flags, std::uint32_t* error) {
    if (IsCVolumeName(name)) {
        return OpenCVolume(*this, access, error);
    }
    DeviceOpener opener;
    {
        std::lock_guard lock(mutex_);
        opener = deviceOpener_;
    }
    if (!opener) {
        *error = 2;  // ERROR_FILE_NOT_FOUND: no device of that name without a kernel
        return nullptr;
    }
    return opener(name, access, share, flags, error);
}

std::shared_ptr<ThreadObject> Platform::StartThread(Process& process, std::string name,
                                                    std::function<std::uint32_t()> body, bool daemon) {
    auto schedulerThread = scheduler_.RegisterThread(std::move(name), daemon, &process);
    auto threadObject = std::make_shared<ThreadObject>(scheduler_, schedulerThread);
    AddThread(threadObject);
    std::lock_guard lock(mutex_);
    hostThreads_.emplace_back([this, schedulerThread, threadObject, body = std::move(body)] {
        Scheduler::BindCurrentThread(schedulerThread.get());
        std::uint32_t exitCode = body();
        threadObject->MarkExited(exitCode);
        scheduler_.UnregisterThread(*schedulerThread);
        Scheduler::BindCurrentThread(nullptr);
    });
    return threadObject;
}

bool Platform::JoinThread(ThreadObject& thread) {
    WaitableObject* objects[] = {&thread};
    return scheduler_.Wait(objects, false, std::nullopt, false, "JoinThread").kind == WaitOutcome::Kind::Object;
}

std::shared_ptr<ThreadObject> Platform::FindThread(std::uint32_t threadId) {
    std::lock_guard lock(mutex_);
    auto it = threadsById_.find(threadId);
    return it == threadsById_.end() ? nullptr : it->second.lock();
}

void Platform::AddThread(const std::shared_ptr<ThreadObject>& thread) {
    std::lock_guard lock(mutex_);
    for (auto it = threadsById_.begin(); it != threadsById_.end();) {
        it = it->second.expired() ? threadsById_.erase(it) : std::next(it);
    }
    threadsById_[thread->Thread().id] = thread;
}

ProcessScope::ProcessScope(Platform& platform, std::string processName, std::string threadName)
    : platform_(platform),
      process_(platform.CreateProcess(std::move(processName))),
      thread_(platform.Sched().RegisterThread(std::move(threadName), false, process_.get())),
      threadObject_(std::make_shared<ThreadObject>(platform.Sched(), thread_)),
      previous_(Scheduler::CurrentThread()) {
    platform.AddThread(threadObject_);
    Scheduler::BindCurrentThread(thread_.get());
}

ProcessScope::~ProcessScope() {
    process_->CloseAll();
    threadObject_->MarkExited(0);
    platform_.Sched().UnregisterThread(*thread_);
    Scheduler::BindCurrentThread(previous_);
}

}  // namespace platform
