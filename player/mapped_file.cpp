#include "player/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace player {
namespace {

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::uint8_t* MapDescriptor(int descriptor, std::size_t size) {
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    return address == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(address);
}

}  // namespace

std::optional<MappedFile> MappedFile::Open(const std::string& path, std::string& error) {
    int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (descriptor < 0) {
        error = SystemError("cannot open", path);
        return std::nullopt;
    }
    struct stat status {};
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (fstat(descriptor, &status) != 0) {
        error = SystemError("cannot read the size of", path);
    } else if (!S_ISREG(status.st_mode) || status.st_size <= 0) {
        error = path + " is not a regular file with content";
    } else {
        size = static_cast<std::size_t>(status.st_size);
        data = MapDescriptor(descriptor, size);
        if (data == nullptr) {
            error = SystemError("cannot map", path);
        }
    }
    // The mapping keeps the file referenced; the descriptor is no longer needed.
    close(descriptor);
    if (data == nullptr) {
        return std::nullopt;
    }
    return MappedFile(path, data, size);
}

std::optional<MappedFile> MappedFile::Create(const std::string& path, std::size_t size, std::uint8_t fill,
                                             std::string& error) {
    if (size == 0) {
        error = "cannot create the empty file " + path;
        return std::nullopt;
    }
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = SystemError("cannot create", path);
        return std::nullopt;
    }
    std::uint8_t* data = nullptr;
    // Truncating to the size gives a sparse file of zeros at once; only a fill other than zero
    // has to touch the pages.
    if (ftruncate(descriptor, static_cast<off_t>(size)) != 0) {
        error = SystemError("cannot size", path);
    } else {
        data = MapDescriptor(descriptor, size);
        if (data == nullptr) {
            error = SystemError("cannot map", path);
        } else if (fill != 0) {
            std::memset(data, fill, size);
        }
    }
    close(descriptor);
    if (data == nullptr) {
        unlink(path.c_str());
        return std::nullopt;
    }
    return MappedFile(path, data, size);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::move(other.path_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() {
    Release();
}

void MappedFile::Release() {
    if (data_ != nullptr) {
        munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace player
