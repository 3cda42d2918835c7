// The registry and the C: drive for drivers: Zw calls with kernel handles, which live in the
// machine's System process. Keys are reached by "\Registry\Machine\..." paths, files by
// "\DosDevices\C:\..." or "\??\C:\...".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {
namespace {

using namespace wdm;

class KernelKey : public HandleObject {
  public:
    KernelKey(std::string keyPath, KeyRef keyRef) : path(std::move(keyPath)), key(std::move(keyRef)) {}
    const char* TypeName() const override { return "Key"; }
    const std::string path;
    const KeyRef key;
};

class KernelFile : public HandleObject {
  public:
    explicit KernelFile(int descriptor) : fd(descriptor) {}
    ~KernelFile() override { ::close(fd); }
    const char* TypeName() const override { return "File"; }
    const int fd;
    std::int64_t position = 0;
};

constexpr ULONG kPartialHeader = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
constexpr std::int64_t FILE_USE_FILE_POINTER_POSITION = -2;
constexpr ACCESS_MASK kWriteAccess = FILE_WRITE_DATA | 0x0004 /* FILE_APPEND_DATA */ | GENERIC_WRITE;

// The value's data as the kernel sees it: strings in UTF-16.
std::vector<std::uint8_t> KernelData(const RegistryValue& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) {
        return value.data;
    }
    std::u16string wide =
        AnsiToWide(std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
    std::vector<std::uint8_t> bytes;
    for (char16_t c : wide) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

NTSTATUS StatusOfErrno(int error) {
    switch (error) {
        case ENOENT:
            return STATUS_OBJECT_NAME_NOT_FOUND;
        case ENOTDIR:
            return STATUS_OBJECT_PATH_NOT_FOUND;
        case EEXIST:
            return STATUS_OBJECT_NAME_COLLISION;
        case EACCES:
        case EPERM:
            return STATUS_ACCESS_DENIED;
        default:
            return STATUS_UNSUCCESSFUL;
    }
}

struct Disposition {
    int flags;
    ULONG_PTR opened;  // Information when the file existed
};

std::optional<Disposition> DispositionOf(ULONG createDisposition) {
    switch (createDisposition) {
        case FILE_SUPERSEDE:
            return Disposition{O_CREAT | O_TRUNC, FILE_SUPERSEDED};
        case FILE_OPEN:
            return Disposition{0, FILE_OPENED};
        case FILE_CREATE:
            return Disposition{O_CREAT | O_EXCL, FILE_OPENED};
        case FILE_OPEN_IF:
            return Disposition{O_CREAT, FILE_OPENED};
        case FILE_OVERWRITE:
            return Disposition{O_TRUNC, FILE_OVERWRITTEN};
        case FILE_OVERWRITE_IF:
            return Disposition{O_CREAT | O_TRUNC, FILE_OVERWRITTEN};
        default:
            return std::nullopt;
    }
}

template <typename T>
std::shared_ptr<T> KernelHandle(Kernel& kernel, HANDLE handle) {
    return kernel.SystemProcess().LookupAs<T>(handle);
}

}  // namespace
}  // namespace platform

namespace wdm {

using platform::Kernel;
using platform::kernel_detail::NameOf;

NTSTATUS ZwOpenKey(HANDLE* keyHandle, ACCESS_MASK, OBJECT_ATTRIBUTES* objectAttributes) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || keyHandle == nullptr || objectAttributes == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    std::string path = NameOf(objectAttributes->ObjectName);
    if (objectAttributes->RootDirectory != nullptr) {
        auto root = platform::KernelHandle<platform::KernelKey>(*kernel, objectAttributes->RootDirectory);
        if (!root) {
            return STATUS_INVALID_HANDLE;
        }
        path = path.empty() ? root->path : root->path + "\\" + path;
    }
    platform::KeyRef key = kernel->OwningPlatform().Reg().OpenPath(path);
    if (!key) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    *keyHandle = kernel->SystemProcess().Insert(std::make_shared<platform::KernelKey>(path, key));
    return STATUS_SUCCESS;
}

NTSTATUS ZwQueryValueKey(HANDLE keyHandle, UNICODE_STRING* valueName, KEY_VALUE_INFORMATION_CLASS infoClass,
                         PVOID information, ULONG length, ULONG* resultLength) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || resultLength == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto key = platform::KernelHandle<platform::KernelKey>(*kernel, keyHandle);
    if (!key) {
        return STATUS_INVALID_HANDLE;
    }
    if (infoClass != KeyValuePartialInformation) {
        return STATUS_INVALID_INFO_CLASS;
    }
    auto value = kernel->OwningPlatform().Reg().QueryValue(key->key, NameOf(valueName));
    if (!value) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    std::vector<std::uint8_t> data = platform::KernelData(*value);
    *resultLength = platform::kPartialHeader + static_cast<ULONG>(data.size());
    if (information == nullptr || length < platform::kPartialHeader) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* partial = static_cast<KEY_VALUE_PARTIAL_INFORMATION*>(information);
    partial->TitleIndex = 0;
    partial->Type = value->type;
    partial->DataLength = static_cast<ULONG>(data.size());
    if (length < *resultLength) {
        return STATUS_BUFFER_OVERFLOW;
    }
    if (!data.empty()) {
        std::memcpy(partial->Data, data.data(), data.size());
    }
    return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE handle) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr && kernel->SystemProcess().Close(handle) ? STATUS_SUCCESS
                                                                      : STATUS_INVALID_HANDLE;
}

NTSTATUS ZwCreateFile(HANDLE* fileHandle, ACCESS_MASK desiredAccess, OBJECT_ATTRIBUTES* objectAttributes,
                      IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER*, ULONG, ULONG, ULONG createDisposition, ULONG,
                      PVOID, ULONG) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || fileHandle == nullptr || objectAttributes == nullptr || ioStatus == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto disposition = platform::DispositionOf(createDisposition);
    if (!disposition) {
        return STATUS_INVALID_PARAMETER;
    }
    auto& machine = kernel->OwningPlatform();
    auto path = machine.Drive().Resolve(NameOf(objectAttributes->ObjectName));
    if (!path) {
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    if (machine.Faults().Hit("ZwCreateFile")) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::error_code error;
    if (std::filesystem::is_directory(*path, error)) {
        return STATUS_FILE_IS_A_DIRECTORY;
    }
    bool existed = std::filesystem::exists(*path, error);
    int flags = ((desiredAccess & platform::kWriteAccess) != 0 ? O_RDWR : O_RDONLY) | disposition->flags;
    int fd = ::open(path->c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        ioStatus->Status = platform::StatusOfErrno(errno);
        ioStatus->Information = 0;
        return ioStatus->Status;
    }
    *fileHandle = kernel->SystemProcess().Insert(std::make_shared<platform::KernelFile>(fd));
    ioStatus->Status = STATUS_SUCCESS;
    ioStatus->Information = existed ? disposition->opened : FILE_CREATED;
    return STATUS_SUCCESS;
}

NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE, PVOID, PVOID, IO_STATUS_BLOCK* ioStatus, PVOID buffer,
                    ULONG length, LARGE_INTEGER* byteOffset, ULONG*) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || ioStatus == nullptr || (buffer == nullptr && length > 0)) {
        return STATUS_INVALID_PARAMETER;
    }
    auto file = platform::KernelHandle<platform::KernelFile>(*kernel, fileHandle);
    if (!file) {
        return STATUS_INVALID_HANDLE;
    }
    std::int64_t offset =
        byteOffset != nullptr && byteOffset->QuadPart != platform::FILE_USE_FILE_POINTER_POSITION
            ? byteOffset->QuadPart
            : file->position;
    if (offset < 0) {
        return STATUS_INVALID_PARAMETER;
    }
    ssize_t got = ::pread(file->fd, buffer, length, static_cast<off_t>(offset));
    ioStatus->Information = 0;
    if (got < 0) {
        ioStatus->Status = STATUS_UNSUCCESSFUL;
    } else if (got == 0 && length > 0) {
        ioStatus->Status = STATUS_END_OF_FILE;
    } else {
        ioStatus->Status = STATUS_SUCCESS;
        ioStatus->Information = static_cast<ULONG_PTR>(got);
        file->position = offset + got;
    }
    return ioStatus->Status;
}

NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, IO_STATUS_BLOCK* ioStatus, PVOID information, ULONG length,
                                FILE_INFORMATION_CLASS infoClass) {
    Kernel* kernel = Kernel::Current();
    if (kernel == nullptr || ioStatus == nullptr || information == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto file = platform::KernelHandle<platform::KernelFile>(*kernel, fileHandle);
    if (!file) {
        return STATUS_INVALID_HANDLE;
    }
    ioStatus->Information = 0;
    switch (infoClass) {
        case FileStandardInformation: {
            struct stat status {};
            if (length < sizeof(FILE_STANDARD_INFORMATION)) {
                return ioStatus->Status = STATUS_INFO_LENGTH_MISMATCH;
            }
            if (::fstat(file->fd, &status) != 0) {
                return ioStatus->Status = STATUS_UNSUCCESSFUL;
            }
            constexpr std::int64_t kCluster = 4096;
            auto* standard = static_cast<FILE_STANDARD_INFORMATION*>(information);
            std::memset(standard, 0, sizeof *standard);
            standard->EndOfFile.QuadPart = status.st_size;
            standard->AllocationSize.QuadPart = (status.st_size + kCluster - 1) / kCluster * kCluster;
            standard->NumberOfLinks = 1;
            ioStatus->Information = sizeof(FILE_STANDARD_INFORMATION);
            return ioStatus->Status = STATUS_SUCCESS;
        }
        case FilePositionInformation: {
            if (length < sizeof(FILE_POSITION_INFORMATION)) {
                return ioStatus->Status = STATUS_INFO_LENGTH_MISMATCH;
            }
            static_cast<FILE_POSITION_INFORMATION*>(information)->CurrentByteOffset.QuadPart = file->position;
            ioStatus->Information = sizeof(FILE_POSITION_INFORMATION);
            return ioStatus->Status = STATUS_SUCCESS;
        }
    }
    return ioStatus->Status = STATUS_INVALID_INFO_CLASS;
}

}  // namespace wdm
