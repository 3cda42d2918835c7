// One machine's kernel: the driver catalogue, the object namespace, the I/O manager's records of
// devices and requests, pool accounting, the dispatcher thread that runs DPCs, timers and work
// items, and the verifier. Drivers reach it through the wdm:: API of the calling thread's
// machine; the machine, the user-mode face and tests use this class directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/dispatcher_objects.h"
#include "platform/base/strings.h"
#include "platform/kernel/wdm.h"
#include "platform/process.h"

namespace platform {

class Platform;
class Kernel;

// What the I/O manager keeps for each request; the IRP itself lives inside it.
struct IrpTracking {
    // Reclaimed: a completion routine returned STATUS_MORE_PROCESSING_REQUIRED and owns it again.
    enum class State { Allocated, Dispatched, Completing, InCompletionRoutine, Reclaimed, Completed, Freed };

    wdm::IRP irp{};
    // The stack locations, after one spare below them: a driver that copies its location to a
    // next one that does not exist writes there, and IoCallDriver then stops the machine.
    std::vector<wdm::IO_STACK_LOCATION> stack;
    wdm::IO_STACK_LOCATION* Locations() { return stack.data() + 1; }
    // The index of a location, -1 for the spare.
    std::ptrdiff_t IndexOf(const wdm::IO_STACK_LOCATION* location) const {
        return location - (stack.data() + 1);
    }
    std::vector<bool> pendingMarked;                   // IoMarkIrpPending per stack location
    std::vector<wdm::DRIVER_OBJECT*> completionOwner;  // the driver that set each location's routine
    std::atomic<State> state{State::Allocated};
    std::uint64_t serial = 0;

    // Requests the I/O manager builds (user requests, IoBuildDeviceIoControlRequest) end here:
    // buffers copied back, then `finish`; the I/O manager frees them afterwards.
    bool builtByIoManager = false;
    std::vector<std::uint8_t> systemBuffer;
    wdm::IO_SECURITY_CONTEXT securityContext{};
    void* copyBackTo = nullptr;  // the caller's output buffer of a buffered request
    std::uint32_t copyBackLimit = 0;
    bool ownsMdl = false;
    std::function<void(wdm::IRP&)> finish;
};

// What the I/O manager keeps for each device object; the device object lives inside it.
struct DeviceTracking {
    wdm::DEVICE_OBJECT device{};
    wdm::DEVOBJ_EXTENSION objectExtension{};
    std::vector<std::uint8_t> powerRecord;
    std::unique_ptr<std::max_align_t[]> extension;
    std::string name;  // "\Device\NAME", empty for an unnamed device
    bool deletePending = false;
    int openFiles = 0;
};

// A request the I/O manager builds for a file object (user-mode handles and kernel opens).
struct FileRequest {
    wdm::UCHAR majorFunction = wdm::IRP_MJ_READ;
    wdm::ULONG ioControlCode = 0;
    void* inputBuffer = nullptr;
    wdm::ULONG inputLength = 0;
    void* outputBuffer = nullptr;  // the read buffer, or the control request's output
    wdm::ULONG outputLength = 0;
    std::int64_t byteOffset = 0;
    wdm::ACCESS_MASK desiredAccess = 0;
    wdm::USHORT shareAccess = 0;
};

// The result that reaches a request's issuer.
struct RequestResult {
    wdm::NTSTATUS status = wdm::STATUS_PENDING;
    wdm::ULONG_PTR information = 0;
    bool pendingReturned = false;
};

// A user-mode handle on a device: one file object, its granted access and its requests in flight.
class DeviceFileHandle : public HandleObject {
  public:
    DeviceFileHandle(Kernel& kernel, wdm::FILE_OBJECT* file, wdm::ACCESS_MASK access, bool overlapped);
    const char* TypeName() const override { return "File"; }
    void HandleClosed() override;

    Kernel& OwningKernel() const { return kernel_; }
    wdm::FILE_OBJECT* File() const { return file_; }
    bool CanRead() const { return (access_ & wdm::FILE_READ_DATA) != 0; }
    bool CanWrite() const { return (access_ & wdm::FILE_WRITE_DATA) != 0; }
    bool Overlapped() const { return overlapped_; }

    // Requests issued through this handle that have not completed, with their issuing threads.
    void Track(wdm::IRP* irp, SchedulerThread* issuer);
    void Untrack(wdm::IRP* irp);
    std::vector<wdm::IRP*> InFlight(const SchedulerThread* issuer) const;

  private:
    Kernel& kernel_;
    wdm::FILE_OBJECT* file_;
    wdm::ACCESS_MASK access_;
    bool overlapped_;
    mutable std::mutex mutex_;
    std::vector<std::pair<wdm::IRP*, SchedulerThread*>> inFlight_;
};

// Attributes pool, bugchecks and callbacks to the driver whose code runs, for the scope.
class DriverCall {
  public:
    explicit DriverCall(wdm::DRIVER_OBJECT* driver);
    ~DriverCall();
    DriverCall(const DriverCall&) = delete;
    DriverCall& operator=(const DriverCall&) = delete;
    static wdm::DRIVER_OBJECT* Current();

  private:
    wdm::DRIVER_OBJECT* previous_;
};

struct PoolUsage {
    std::size_t blocks = 0;
    std::size_t bytes = 0;
};

class Kernel {
  public:
    explicit Kernel(Platform& platform);
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // The kernel of the calling thread's machine; nullptr outside every machine.
    static Kernel* Current();
    Platform& OwningPlatform() const { return platform_; }
    Scheduler& Sched() const;
    Process& SystemProcess() const { return *system_; }

    // Driver catalogue: drivers are registered by name and loaded on demand.
    void RegisterDriver(const std::string& name, wdm::PDRIVER_INITIALIZE entry);
    // Creates the driver object "\Driver\NAME" and runs the driver's entry with its service key.
    wdm::NTSTATUS LoadDriver(const std::string& name, wdm::DRIVER_OBJECT** driver = nullptr);
    // Runs DriverUnload; the verifier then checks the driver's pool.
    wdm::NTSTATUS UnloadDriver(const std::string& name);
    wdm::DRIVER_OBJECT* FindDriver(const std::string& name) const;
    // Calls the driver's AddDevice for a physical device object, as the PnP manager does.
    wdm::NTSTATUS AddDevice(wdm::DRIVER_OBJECT* driver, wdm::DEVICE_OBJECT* physicalDevice);

    // Object namespace: "\Device\NAME" devices and symbolic links in the DOS devices directory
    // ("\??" on the NT family, "\DosDevices" on 9x; NT also takes "\DosDevices" as its alias).
    wdm::NTSTATUS CreateDevice(wdm::DRIVER_OBJECT* driver, wdm::ULONG extensionSize, const std::string& name,
                               wdm::DEVICE_TYPE type, wdm::ULONG characteristics, bool exclusive,
                               wdm::DEVICE_OBJECT** device);
    void DeleteDevice(wdm::DEVICE_OBJECT* device);
    wdm::NTSTATUS CreateSymbolicLink(const std::string& link, const std::string& target);
    wdm::NTSTATUS DeleteSymbolicLink(const std::string& link);
    // The named device an object path reaches through links; nullptr with the status otherwise.
    wdm::DEVICE_OBJECT* ResolveDevice(const std::string& path, wdm::NTSTATUS* status);
    // Names of the namespace (devices and links), for reports and tests.
    std::vector<std::string> Names() const;
    void ReferenceDevice(wdm::DEVICE_OBJECT* device);
    void DereferenceDevice(wdm::DEVICE_OBJECT* device);

    // File objects: opens send a create request to the top of the device's stack; the last
    // reference sends the close request.
    wdm::NTSTATUS OpenFile(wdm::DEVICE_OBJECT* device, wdm::KPROCESSOR_MODE mode, wdm::ACCESS_MASK access,
                           wdm::USHORT share, wdm::FILE_OBJECT** file);
    void SendCleanup(wdm::FILE_OBJECT* file, wdm::KPROCESSOR_MODE mode);
    void ReferenceFile(wdm::FILE_OBJECT* file);
    void DereferenceFile(wdm::FILE_OBJECT* file);

    // Builds a request for the top of the file's device stack and sends it. `done` runs once,
    // at the request's final completion (possibly before this returns), on the completing
    // thread; the result is what IoCallDriver returned. `sent` sees the request first.
    wdm::NTSTATUS StartFileRequest(wdm::FILE_OBJECT* file, wdm::KPROCESSOR_MODE mode,
                                   const FileRequest& request, std::function<void(const RequestResult&)> done,
                                   const std::function<void(wdm::IRP*)>& sent = {});
    // Sends a request and waits for its completion (not alertable).
    RequestResult SendFileRequestAndWait(wdm::FILE_OBJECT* file, wdm::KPROCESSOR_MODE mode,
                                         const FileRequest& request, const char* what);

    // Requests. Allocation and release keep freed requests aside for a while, so that using one
    // after it ended is caught instead of reading freed memory.
    wdm::IRP* AllocateIrp(int stackSize);
    void FreeIrp(wdm::IRP* irp);
    wdm::NTSTATUS CallDriver(wdm::DEVICE_OBJECT* device, wdm::IRP* irp);
    void CompleteRequest(wdm::IRP* irp);
    bool CancelIrp(wdm::IRP* irp);
    // Sets up the buffers of a request the I/O manager builds, as the target device expects them.
    void PrepareBuffers(wdm::IRP* irp, wdm::DEVICE_OBJECT* target, const FileRequest& request);
    wdm::KSPIN_LOCK& CancelSpinLock() { return cancelLock_; }

    // Dispatcher objects bound to driver memory.
    template <typename T, typename... Args>
    T* BindObject(void* address, Args&&... args) {
        auto object = std::make_unique<T>(Sched(), std::forward<Args>(args)...);
        T* raw = object.get();
        std::lock_guard lock(objectsMutex_);
        boundObjects_[address] = std::move(object);
        return raw;
    }
    WaitableObject* BoundObject(const void* address) const;

    // Pool.
    void* AllocatePool(wdm::POOL_TYPE type, std::size_t bytes, wdm::ULONG tag);
    void FreePool(void* block, std::optional<wdm::ULONG> tag);
    PoolUsage PoolByTag(wdm::ULONG tag) const;
    PoolUsage PoolOfDriver(const wdm::DRIVER_OBJECT* driver) const;
    PoolUsage PoolTotal() const;

    // DPCs, timers and work items, run by the dispatcher thread (DPCs and timer DPCs at
    // DISPATCH_LEVEL, work items at PASSIVE_LEVEL).
    bool InsertDpc(wdm::KDPC* dpc, void* argument1, void* argument2);
    bool RemoveDpc(wdm::KDPC* dpc);
    bool SetTimer(wdm::KTIMER* timer, std::int64_t dueTime, wdm::LONG periodMs, wdm::KDPC* dpc);
    bool CancelTimer(wdm::KTIMER* timer);
    void QueueWorkItem(std::function<void()> item);
    // System time in 100 ns units since 1601.
    std::int64_t SystemTime() const;

    // Verifier. A violation halts the machine with a report naming the rule, the driver and the
    // object; the reports stay readable for tests.
    void Bugcheck(const std::string& rule, const std::string& detail);
    std::string LastBugcheck() const;
    std::vector<std::string> Bugchecks() const;
    // The end of the machine: requests never completed are a bugcheck; the dispatcher stops.
    void Shutdown();

    static std::string DriverName(const wdm::DRIVER_OBJECT* driver);
    static std::string DescribeIrp(const wdm::IRP* irp);

  private:
    struct DriverRecord;
    struct NamespaceEntry {
        wdm::DEVICE_OBJECT* device = nullptr;  // a device, or
        std::string linkTarget;                // a symbolic link
    };
    struct PoolBlock {
        std::size_t bytes = 0;
        wdm::ULONG tag = 0;
        const wdm::DRIVER_OBJECT* driver = nullptr;
    };

    std::string CanonicalName(const std::string& path, wdm::NTSTATUS* status) const;
    void DispatcherLoop();
    // Freed pool must hold no timer or DPC the dispatcher still knows.
    void CheckFreedTimersAndDpcs(const void* begin, std::size_t bytes);
    void ForgetBoundObjects(const void* begin, std::size_t bytes);
    void FinishRequest(IrpTracking& tracking);
    void CheckDriverPool(const wdm::DRIVER_OBJECT* driver);

    Platform& platform_;
    std::shared_ptr<Process> system_;

    mutable std::mutex driversMutex_;
    std::map<std::string, wdm::PDRIVER_INITIALIZE, LessIgnoreCase> catalogue_;
    std::map<std::string, std::unique_ptr<DriverRecord>, LessIgnoreCase> drivers_;

    mutable std::mutex namespaceMutex_;
    std::map<std::string, NamespaceEntry, LessIgnoreCase> namespace_;
    std::map<wdm::DEVICE_OBJECT*, std::unique_ptr<DeviceTracking>> devices_;
    std::set<wdm::FILE_OBJECT*> files_;

    mutable std::mutex irpMutex_;
    std::set<IrpTracking*> liveIrps_;
    std::deque<std::unique_ptr<IrpTracking>> freedIrps_;
    std::uint64_t nextIrpSerial_ = 1;
    wdm::KSPIN_LOCK cancelLock_ = 0;

    mutable std::mutex objectsMutex_;
    std::map<const void*, std::unique_ptr<WaitableObject>> boundObjects_;

    mutable std::mutex poolMutex_;
    std::map<void*, PoolBlock> pool_;
    std::set<void*> freedPool_;

    mutable std::mutex dpcMutex_;
    std::deque<wdm::KDPC*> dpcQueue_;
    std::set<wdm::KTIMER*> timers_;
    std::deque<std::function<void()>> workItems_;
    std::unique_ptr<EventObject> dispatcherWake_;
    std::shared_ptr<ThreadObject> dispatcher_;

    mutable std::mutex verifierMutex_;
    std::vector<std::string> bugchecks_;
    bool shutDown_ = false;
};

}  // namespace platform
