// Files on the C: drive, and the door to device files ("\\.\NAME") that the kernel serves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/win32/context.h"
#include "platform/win32/device_io.h"

namespace w32 {

using namespace detail;

namespace {

class HostFile : public platform::HandleObject {
public:
    HostFile(int fd, DWORD access) : fd_(fd), access_(access) {}
    ~HostFile() override { ::close(fd_); }
    const char* TypeName() const override { return "File"; }
    int Fd() const { return fd_; }
    bool CanRead() const { return (access_ & GENERIC_READ) != 0; }
    bool CanWrite() const { return (access_ & GENERIC_WRITE) != 0; }

private:
    int fd_;
    DWORD access_;
};

DWORD ErrorOfErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
            return ERROR_DISK_FULL;
        default:
            return ERROR_GEN_FAILURE;
    }
}

std::optional<std::filesystem::path> ResolveOnC(LPCSTR fileName) {
    auto* platform = CurrentPlatform();
    if (platform == nullptr || fileName == nullptr) {
        return std::nullopt;
    }
    return platform->Drive().Resolve(fileName);
}

bool IsDevicePath(std::string_view name) { return name.size() > 4 && name.substr(0, 4) == "\\\\.\\"; }

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    auto* process = CurrentProcess();
    if (process == nullptr || fileName == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if (IsDevicePath(fileName)) {
        std::uint32_t error = ERROR_SUCCESS;
        auto device = process->OwningPlatform().OpenDevice(fileName + 4, desiredAccess, shareMode, flagsAndAttributes,
                                                           &error);
        if (!device) {
            return Fail(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        }
        SetLastError(ERROR_SUCCESS);
        return process->Insert(std::move(device));
    }
    auto path = ResolveOnC(fileName);
    if (!path) {
        return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    int flags = (desiredAccess & GENERIC_WRITE) != 0 ? ((desiredAccess & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY)
                                                      : O_RDONLY;
    switch (creationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    std::error_code error;
    if (std::filesystem::is_directory(*path, error)) {
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    bool existed = std::filesystem::exists(*path, error);
    int fd = ::open(path->c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Fail(ErrorOfErrno(errno), INVALID_HANDLE_VALUE);
    }
    HANDLE handle = process->Insert(std::make_shared<HostFile>(fd, desiredAccess));
    bool reportsExisting = existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, LPOVERLAPPED overlapped) {
    if (auto result = DeviceTransfer(file, false, buffer, bytesToRead, bytesRead, overlapped)) {
        return *result;
    }
    auto object = LookupHandle<HostFile>(file);
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!object->CanRead()) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    ssize_t got = overlapped != nullptr
                      ? ::pread(object->Fd(), buffer, bytesToRead,
                                static_cast<off_t>(std::uint64_t{overlapped->OffsetHigh} << 32 | overlapped->Offset))
                      : ::read(object->Fd(), buffer, bytesToRead);
    if (got < 0) {
        return Fail(ErrorOfErrno(errno), FALSE);
    }
    if (bytesRead != nullptr) {
        *bytesRead = static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, LPOVERLAPPED overlapped) {
    // Device files take the caller's data as it is; the request only reads it.
    if (auto result = DeviceTransfer(file, true, const_cast<LPVOID>(buffer), bytesToWrite, bytesWritten, overlapped)) {
        return *result;
    }
    auto object = LookupHandle<HostFile>(file);
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!object->CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    ssize_t put = overlapped != nullptr
                      ? ::pwrite(object->Fd(), buffer, bytesToWrite,
                                 static_cast<off_t>(std::uint64_t{overlapped->OffsetHigh} << 32 | overlapped->Offset))
                      : ::write(object->Fd(), buffer, bytesToWrite);
    if (put < 0) {
        return Fail(ErrorOfErrno(errno), FALSE);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = static_cast<DWORD>(put);
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh) {
    auto object = LookupHandle<HostFile>(file);
    struct stat status {};
    if (!object || ::fstat(object->Fd(), &status) != 0) {
        return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    }
    auto size = static_cast<std::uint64_t>(status.st_size);
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    auto object = LookupHandle<HostFile>(file);
    if (!object || moveMethod > FILE_END) {
        return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    }
    std::int64_t offset = distanceHigh != nullptr
                              ? static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32 |
                                                          static_cast<std::uint32_t>(distance))
                              : distance;
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t position = ::lseek(object->Fd(), static_cast<off_t>(offset), kWhence[moveMethod]);
    if (position < 0) {
        return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL DeleteFileA(LPCSTR fileName) {
    auto path = ResolveOnC(fileName);
    std::error_code error;
    if (!path || !std::filesystem::exists(*path, error)) {
        return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    }
    if (std::filesystem::is_directory(*path, error) || ::unlink(path->c_str()) != 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    auto path = ResolveOnC(pathName);
    if (!path) {
        return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    }
    if (::mkdir(path->c_str(), 0755) != 0) {
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                                                              : ErrorOfErrno(errno),
                    FALSE);
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    auto path = ResolveOnC(fileName);
    std::error_code error;
    if (!path || !std::filesystem::exists(*path, error)) {
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    }
    return std::filesystem::is_directory(*path, error) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace w32
