// The I/O manager's objects: the kernel itself, the driver catalogue, driver and device objects,
// the object namespace with its symbolic links, and file objects.
#include <cstdio>
#include <cstring>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;
using namespace kernel_detail;

namespace kernel_detail {

std::string NameOf(const UNICODE_STRING* name) {
    if (name == nullptr || name->Buffer == nullptr) {
        return {};
    }
    return WideToAnsi(std::u16string_view(name->Buffer, name->Length / sizeof(WCHAR)));
}

std::string TagText(ULONG tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

std::string Hex(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

}  // namespace kernel_detail

namespace {

constexpr const char* kServicesKey = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";
constexpr std::size_t kPowerRecordSize = 256;  // room for the 9x power record bytes drivers touch

NTSTATUS InvalidDeviceRequest(DEVICE_OBJECT*, IRP* irp) {
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

// Access rights as the I/O manager grants them for Win32's generic rights.
ACCESS_MASK MapGenericAccess(ACCESS_MASK access) {
    ACCESS_MASK mapped = access & ~(GENERIC_READ | GENERIC_WRITE);
    if ((access & GENERIC_READ) != 0) {
        mapped |= FILE_GENERIC_READ;
    }
    if ((access & GENERIC_WRITE) != 0) {
        mapped |= FILE_GENERIC_WRITE;
    }
    return mapped;
}

constexpr ULONG FO_CLOSING = 0x80000000;  // the close request is on its way

}  // namespace

struct Kernel::DriverRecord {
    DRIVER_OBJECT object{};
    DRIVER_EXTENSION extension{};
    std::u16string name;          // "\Driver\NAME"
    std::u16string serviceKey;    // "NAME"
    std::u16string registryPath;  // the service key's kernel path
    UNICODE_STRING registryPathString{};
};

Kernel::Kernel(Platform& platform) : platform_(platform), system_(platform.CreateProcess("System")) {
    dispatcherWake_ = std::make_unique<EventObject>(Sched(), false, false, "dispatcher queue");
    dispatcher_ = platform.StartThread(
        *system_, "DPC dispatcher",
        [this] {
            DispatcherLoop();
            return 0u;
        },
        true);
    platform.SetDeviceOpener([this](const std::string& name, std::uint32_t access, std::uint32_t share,
                                    std::uint32_t flags,
                                    std::uint32_t* error) -> std::shared_ptr<HandleObject> {
        NTSTATUS status = STATUS_SUCCESS;
        DEVICE_OBJECT* device = ResolveDevice("\\DosDevices\\" + name, &status);
        FILE_OBJECT* file = nullptr;
        if (device != nullptr) {
            status = OpenFile(device, UserMode, MapGenericAccess(access), static_cast<USHORT>(share), &file);
        }
        if (!NT_SUCCESS(status)) {
            *error = RtlNtStatusToDosError(status);
            return nullptr;
        }
        constexpr std::uint32_t kFileFlagOverlapped = 0x40000000;
        return std::make_shared<DeviceFileHandle>(*this, file, MapGenericAccess(access),
                                                  (flags & kFileFlagOverlapped) != 0);
    });
}

Kernel::~Kernel() {
    Shutdown();
    platform_.SetDeviceOpener({});
    system_->CloseAll();
    for (auto& [block, info] : pool_) {
        std::free(block);
    }
    for (auto* file : files_) {
        delete file;
    }
    for (auto* tracking : liveIrps_) {
        delete tracking;
    }
}

Kernel* Kernel::Current() {
    Platform* platform = Platform::Current();
    return platform != nullptr ? &platform->Kern() : nullptr;
}

Scheduler& Kernel::Sched() const {
    return platform_.Sched();
}

std::string Kernel::DriverName(const DRIVER_OBJECT* driver) {
    return driver != nullptr ? NameOf(&driver->DriverName) : std::string("(no driver)");
}

// ---------------------------------------------------------------------------------------------
// Driver catalogue.

void Kernel::RegisterDriver(const std::string& name, PDRIVER_INITIALIZE entry) {
    std::lock_guard lock(driversMutex_);
    catalogue_[name] = entry;
}

NTSTATUS Kernel::LoadDriver(const std::string& name, DRIVER_OBJECT** driver) {
    PDRIVER_INITIALIZE entry = nullptr;
    DriverRecord* record = nullptr;
    {
        std::lock_guard lock(driversMutex_);
        auto found = catalogue_.find(name);
        if (found == catalogue_.end()) {
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        if (drivers_.count(name) != 0) {
            return STATUS_OBJECT_NAME_COLLISION;
        }
        entry = found->second;
        auto made = std::make_unique<DriverRecord>();
        record = made.get();
        record->name = AnsiToWide("\\Driver\\" + name);
        record->serviceKey = AnsiToWide(name);
        record->registryPath = AnsiToWide(kServicesKey + name);
        auto& object = record->object;
        object.Type = IO_TYPE_DRIVER;
        object.Size = sizeof(DRIVER_OBJECT);
        object.DriverExtension = &record->extension;
        object.DriverInit = entry;
        record->extension.DriverObject = &object;
        RtlInitUnicodeString(&object.DriverName, record->name.c_str());
        RtlInitUnicodeString(&record->extension.ServiceKeyName, record->serviceKey.c_str());
        RtlInitUnicodeString(&record->registryPathString, record->registryPath.c_str());
        for (auto& dispatch : object.MajorFunction) {
            dispatch = InvalidDeviceRequest;
        }
        drivers_[name] = std::move(made);
    }
    NTSTATUS status;
    {
        DriverCall call(&record->object);
        status = entry(&record->object, &record->registryPathString);
    }
    if (!NT_SUCCESS(status)) {
        CheckDriverPool(&record->object);
        std::lock_guard lock(driversMutex_);
        if (record->object.DeviceObject == nullptr) {
            drivers_.erase(name);
        }
        return status;
    }
    // Devices made in the driver's entry are ready once it returns; AddDevice's are the driver's
    // own business.
    for (DEVICE_OBJECT* device = record->object.DeviceObject; device != nullptr;
         device = device->NextDevice) {
        device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    if (driver != nullptr) {
        *driver = &record->object;
    }
    platform_.Trace().Write("kernel", "loaded driver " + DriverName(&record->object));
    return status;
}

NTSTATUS Kernel::UnloadDriver(const std::string& name) {
    DRIVER_OBJECT* object = FindDriver(name);
    if (object == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if (object->DriverUnload == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    {
        DriverCall call(object);
        object->DriverUnload(object);
    }
    CheckDriverPool(object);
    if (object->DeviceObject != nullptr) {
        // The devices still point at the driver object, which therefore stays.
        Bugcheck("DRIVER_UNLOADED_WITHOUT_DELETING_DEVICES",
                 "driver " + DriverName(object) + " unloaded with device " + Hex(object->DeviceObject) +
                     " still present");
        return STATUS_UNSUCCESSFUL;
    }
    platform_.Trace().Write("kernel", "unloaded driver " + DriverName(object));
    std::lock_guard lock(driversMutex_);
    drivers_.erase(name);
    return STATUS_SUCCESS;
}

DRIVER_OBJECT* Kernel::FindDriver(const std::string& name) const {
    std::lock_guard lock(driversMutex_);
    auto found = drivers_.find(name);
    return found != drivers_.end() ? &found->second->object : nullptr;
}

NTSTATUS Kernel::AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* physicalDevice) {
    if (driver == nullptr || driver->DriverExtension->AddDevice == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    DriverCall call(driver);
    return driver->DriverExtension->AddDevice(driver, physicalDevice);
}

// ---------------------------------------------------------------------------------------------
// Devices and the namespace.

std::string Kernel::CanonicalName(const std::string& path, NTSTATUS* status) const {
    static constexpr std::string_view kDosDevices = "\\DosDevices\\";
    static constexpr std::string_view kQuestionMarks = "\\??\\";
    if (path.empty() || path[0] != '\\') {
        *status = STATUS_OBJECT_PATH_NOT_FOUND;
        return {};
    }
    bool nt = platform_.IsNtFamily();
    if (StartsWithIgnoreCase(path, kDosDevices)) {
        return nt ? std::string(kQuestionMarks) + path.substr(kDosDevices.size()) : path;
    }
    if (!nt && StartsWithIgnoreCase(path, kQuestionMarks)) {
        *status = STATUS_OBJECT_PATH_NOT_FOUND;  // the 9x family has no "\??" directory
        return {};
    }
    return path;
}

NTSTATUS Kernel::CreateDevice(DRIVER_OBJECT* driver, ULONG extensionSize, const std::string& name,
                              DEVICE_TYPE type, ULONG characteristics, bool exclusive,
                              DEVICE_OBJECT** device) {
    if (driver == nullptr || device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *device = nullptr;
    NTSTATUS status = STATUS_SUCCESS;
    std::string canonical = name.empty() ? std::string() : CanonicalName(name, &status);
    if (!NT_SUCCESS(status)) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (platform_.Faults().Hit("IoCreateDevice")) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto tracking = std::make_unique<DeviceTracking>();
    std::size_t words = (extensionSize + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    if (words > 0) {
        tracking->extension = std::make_unique<std::max_align_t[]>(words);  // zeroed, as Windows gives it
    }
    tracking->powerRecord.assign(kPowerRecordSize, 0);
    tracking->name = canonical;
    DEVICE_OBJECT& object = tracking->device;
    object.Type = IO_TYPE_DEVICE;
    object.Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + extensionSize);
    object.DriverObject = driver;
    object.Flags = DO_DEVICE_INITIALIZING | (exclusive ? DO_EXCLUSIVE : 0);
    object.Characteristics = characteristics;
    object.DeviceExtension = tracking->extension.get();
    object.DeviceType = type;
    object.StackSize = 1;
    object.DeviceObjectExtension = &tracking->objectExtension;
    object.Tracking = tracking.get();
    tracking->objectExtension.Type = 13;
    tracking->objectExtension.Size = sizeof(DEVOBJ_EXTENSION);
    tracking->objectExtension.DeviceObject = &object;
    tracking->objectExtension.Dope = tracking->powerRecord.data();
    {
        std::lock_guard lock(namespaceMutex_);
        if (!canonical.empty()) {
            if (namespace_.count(canonical) != 0) {
                return STATUS_OBJECT_NAME_COLLISION;
            }
            namespace_[canonical].device = &object;
        }
        devices_[&object] = std::move(tracking);
        object.NextDevice = driver->DeviceObject;
        driver->DeviceObject = &object;
    }
    *device = &object;
    return STATUS_SUCCESS;
}

void Kernel::DeleteDevice(DEVICE_OBJECT* device) {
    std::unique_lock lock(namespaceMutex_);
    auto found = devices_.find(device);
    if (found == devices_.end() || found->second->deletePending) {
        lock.unlock();
        Bugcheck("INVALID_DEVICE_DELETE", "IoDeleteDevice of " + Hex(device) +
                                              ", which is no live device object, by " +
                                              DriverName(DriverCall::Current()));
        return;
    }
    DeviceTracking& tracking = *found->second;
    tracking.deletePending = true;
    if (!tracking.name.empty()) {
        namespace_.erase(tracking.name);
    }
    DEVICE_OBJECT** link = &device->DriverObject->DeviceObject;
    while (*link != nullptr && *link != device) {
        link = &(*link)->NextDevice;
    }
    if (*link == device) {
        *link = device->NextDevice;
    }
    device->NextDevice = nullptr;
    if (device->ReferenceCount == 0) {
        devices_.erase(found);
    }
}

// Counted under the namespace lock, so that the last dereference and IoDeleteDevice agree on
// who releases the device.
void Kernel::ReferenceDevice(DEVICE_OBJECT* device) {
    std::lock_guard lock(namespaceMutex_);
    ++device->ReferenceCount;
}

void Kernel::DereferenceDevice(DEVICE_OBJECT* device) {
    std::lock_guard lock(namespaceMutex_);
    if (--device->ReferenceCount == 0 && device->Tracking->deletePending) {
        devices_.erase(device);
    }
}

NTSTATUS Kernel::CreateSymbolicLink(const std::string& link, const std::string& target) {
    NTSTATUS status = STATUS_SUCCESS;
    std::string canonical = CanonicalName(link, &status);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (target.empty()) {
        return STATUS_INVALID_PARAMETER;
    }
    std::lock_guard lock(namespaceMutex_);
    if (namespace_.count(canonical) != 0) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    namespace_[canonical].linkTarget = target;
    return STATUS_SUCCESS;
}

NTSTATUS Kernel::DeleteSymbolicLink(const std::string& link) {
    NTSTATUS status = STATUS_SUCCESS;
    std::string canonical = CanonicalName(link, &status);
    std::lock_guard lock(namespaceMutex_);
    auto found = namespace_.find(canonical);
    if (!NT_SUCCESS(status) || found == namespace_.end() || found->second.device != nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    namespace_.erase(found);
    return STATUS_SUCCESS;
}

DEVICE_OBJECT* Kernel::ResolveDevice(const std::string& path, NTSTATUS* status) {
    std::string name = path;
    // A few links deep at most: a loop of links is a missing name, not a hang.
    for (int depth = 0; depth < 8 && !name.empty(); ++depth) {
        NTSTATUS canonicalStatus = STATUS_SUCCESS;
        name = CanonicalName(name, &canonicalStatus);
        if (!NT_SUCCESS(canonicalStatus)) {
            *status = canonicalStatus;
            return nullptr;
        }
        std::lock_guard lock(namespaceMutex_);
        auto found = namespace_.find(name);
        if (found == namespace_.end()) {
            break;
        }
        if (found->second.device != nullptr) {
            *status = STATUS_SUCCESS;
            return found->second.device;
        }
        name = found->second.linkTarget;
    }
    *status = STATUS_OBJECT_NAME_NOT_FOUND;
    return nullptr;
}

std::vector<std::string> Kernel::Names() const {
    std::lock_guard lock(namespaceMutex_);
    std::vector<std::string> names;
    for (auto& [name, entry] : namespace_) {
        names.push_back(entry.device != nullptr ? name : name + " -> " + entry.linkTarget);
    }
    return names;
}

// ---------------------------------------------------------------------------------------------
// File objects.

NTSTATUS Kernel::OpenFile(DEVICE_OBJECT* device, KPROCESSOR_MODE mode, ACCESS_MASK access, USHORT share,
                          FILE_OBJECT** file) {
    *file = nullptr;
    {
        std::lock_guard lock(namespaceMutex_);
        DeviceTracking& tracking = *device->Tracking;
        if (tracking.deletePending || (device->Flags & DO_DEVICE_INITIALIZING) != 0) {
            return STATUS_NO_SUCH_DEVICE;
        }
        if ((device->Flags & DO_EXCLUSIVE) != 0 && tracking.openFiles > 0) {
            return STATUS_ACCESS_DENIED;
        }
        ++tracking.openFiles;
    }
    auto* object = new FILE_OBJECT{};
    object->Type = IO_TYPE_FILE;
    object->Size = sizeof(FILE_OBJECT);
    object->DeviceObject = device;
    object->ReferenceCount = 1;
    ReferenceDevice(device);
    {
        std::lock_guard lock(namespaceMutex_);
        files_.insert(object);
    }
    FileRequest create;
    create.majorFunction = IRP_MJ_CREATE;
    create.desiredAccess = access;
    create.shareAccess = share;
    RequestResult result = SendFileRequestAndWait(object, mode, create, "CreateFile");
    if (!NT_SUCCESS(result.status)) {
        // A refused open sends neither cleanup nor close.
        {
            std::lock_guard lock(namespaceMutex_);
            files_.erase(object);
            --device->Tracking->openFiles;
        }
        delete object;
        DereferenceDevice(device);
        return result.status;
    }
    *file = object;
    return STATUS_SUCCESS;
}

void Kernel::SendCleanup(FILE_OBJECT* file, KPROCESSOR_MODE mode) {
    FileRequest cleanup;
    cleanup.majorFunction = IRP_MJ_CLEANUP;
    SendFileRequestAndWait(file, mode, cleanup, "CloseHandle");
}

void Kernel::ReferenceFile(FILE_OBJECT* file) {
    InterlockedIncrement(&file->ReferenceCount);
}

void Kernel::DereferenceFile(FILE_OBJECT* file) {
    if (InterlockedDecrement(&file->ReferenceCount) != 0 || (file->Flags & FO_CLOSING) != 0) {
        return;
    }
    file->Flags |= FO_CLOSING;
    auto close = [this, file] {
        FileRequest request;
        request.majorFunction = IRP_MJ_CLOSE;
        SendFileRequestAndWait(file, KernelMode, request, "close request");
        DEVICE_OBJECT* device = file->DeviceObject;
        {
            std::lock_guard lock(namespaceMutex_);
            files_.erase(file);
            --device->Tracking->openFiles;
        }
        delete file;
        DereferenceDevice(device);
    };
    // The close request runs at PASSIVE_LEVEL: the last reference may go in a completion at
    // DISPATCH_LEVEL, and then the dispatcher thread sends it.
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        QueueWorkItem(close);
    } else {
        close();
    }
}

DeviceFileHandle::DeviceFileHandle(Kernel& kernel, FILE_OBJECT* file, ACCESS_MASK access, bool overlapped)
    : kernel_(kernel), file_(file), access_(access), overlapped_(overlapped) {}

void DeviceFileHandle::HandleClosed() {
    kernel_.SendCleanup(file_, UserMode);
    // Requests the driver kept through cleanup end now: nobody can wait for them any more.
    for (IRP* irp : InFlight(nullptr)) {
        kernel_.CancelIrp(irp);
    }
    kernel_.DereferenceFile(file_);
}

void DeviceFileHandle::Track(IRP* irp, SchedulerThread* issuer) {
    std::lock_guard lock(mutex_);
    inFlight_.emplace_back(irp, issuer);
}

void DeviceFileHandle::Untrack(IRP* irp) {
    std::lock_guard lock(mutex_);
    std::erase_if(inFlight_, [irp](auto& entry) { return entry.first == irp; });
}

std::vector<IRP*> DeviceFileHandle::InFlight(const SchedulerThread* issuer) const {
    std::lock_guard lock(mutex_);
    std::vector<IRP*> irps;
    for (auto& [irp, thread] : inFlight_) {
        if (issuer == nullptr || thread == issuer) {
            irps.push_back(irp);
        }
    }
    return irps;
}

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// The driver's face of the objects above.

namespace wdm {

using platform::Kernel;
using platform::kernel_detail::NameOf;

NTSTATUS IoCreateDevice(DRIVER_OBJECT* driver, ULONG deviceExtensionSize, UNICODE_STRING* deviceName,
                        DEVICE_TYPE deviceType, ULONG deviceCharacteristics, BOOLEAN exclusive,
                        DEVICE_OBJECT** deviceObject) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    return kernel->CreateDevice(driver, deviceExtensionSize, NameOf(deviceName), deviceType,
                                deviceCharacteristics, exclusive != 0, deviceObject);
}

void IoDeleteDevice(DEVICE_OBJECT* device) {
    if (Kernel* kernel = Kernel::Current()) {
        kernel->DeleteDevice(device);
    }
}

NTSTATUS IoCreateSymbolicLink(UNICODE_STRING* symbolicLinkName, UNICODE_STRING* deviceName) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->CreateSymbolicLink(NameOf(symbolicLinkName), NameOf(deviceName))
                             : STATUS_UNSUCCESSFUL;
}

NTSTATUS IoDeleteSymbolicLink(UNICODE_STRING* symbolicLinkName) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->DeleteSymbolicLink(NameOf(symbolicLinkName)) : STATUS_UNSUCCESSFUL;
}

NTSTATUS IoGetDeviceObjectPointer(UNICODE_STRING* objectName, ACCESS_MASK desiredAccess,
                                  FILE_OBJECT** fileObject, DEVICE_OBJECT** deviceObject) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || fileObject == nullptr || deviceObject == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status = STATUS_SUCCESS;
    DEVICE_OBJECT* device = kernel->ResolveDevice(NameOf(objectName), &status);
    FILE_OBJECT* file = nullptr;
    if (device != nullptr) {
        status = kernel->OpenFile(device, KernelMode, desiredAccess, 0, &file);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // The open's handle is closed at once (cleanup); the file object reference stays with the caller.
    kernel->SendCleanup(file, KernelMode);
    *fileObject = file;
    *deviceObject = IoGetAttachedDevice(device);
    return STATUS_SUCCESS;
}

PDEVICE_OBJECT IoGetAttachedDevice(DEVICE_OBJECT* device) {
    while (device != nullptr && device->AttachedDevice != nullptr) {
        device = device->AttachedDevice;
    }
    return device;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(DEVICE_OBJECT* source, DEVICE_OBJECT* target) {
    if (source == nullptr || target == nullptr) {
        return nullptr;
    }
    DEVICE_OBJECT* top = IoGetAttachedDevice(target);
    if (top->Tracking->deletePending) {
        return nullptr;
    }
    top->AttachedDevice = source;
    source->DeviceObjectExtension->AttachedTo = top;
    source->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    source->AlignmentRequirement = top->AlignmentRequirement;
    return top;
}

void IoDetachDevice(DEVICE_OBJECT* target) {
    if (target == nullptr || target->AttachedDevice == nullptr) {
        return;
    }
    target->AttachedDevice->DeviceObjectExtension->AttachedTo = nullptr;
    target->AttachedDevice = nullptr;
}

void ObReferenceObject(PVOID object) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || object == nullptr) {
        return;
    }
    switch (static_cast<DEVICE_OBJECT*>(object)->Type) {
        case IO_TYPE_DEVICE:
            kernel->ReferenceDevice(static_cast<DEVICE_OBJECT*>(object));
            break;
        case IO_TYPE_FILE:
            kernel->ReferenceFile(static_cast<FILE_OBJECT*>(object));
            break;
        default:
            break;
    }
}

void ObDereferenceObject(PVOID object) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || object == nullptr) {
        return;
    }
    // Device and file objects both begin with their type.
    switch (static_cast<DEVICE_OBJECT*>(object)->Type) {
        case IO_TYPE_DEVICE:
            kernel->DereferenceDevice(static_cast<DEVICE_OBJECT*>(object));
            break;
        case IO_TYPE_FILE:
            kernel->DereferenceFile(static_cast<FILE_OBJECT*>(object));
            break;
        default:
            kernel->Bugcheck("INVALID_OBJECT_DEREFERENCE",
                             "ObDereferenceObject of " + platform::kernel_detail::Hex(object) +
                                 ", which is no object, by " +
                                 Kernel::DriverName(platform::DriverCall::Current()));
            break;
    }
}

}  // namespace wdm
