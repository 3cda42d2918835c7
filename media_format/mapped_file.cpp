#include "media_format/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace media_format {
namespace {

std::string Failure(const std::string& path, const char* what) {
    return path + ": " + what + ": " + std::strerror(errno);
}

uint8_t* Map(int file, std::size_t size, bool writable) {
    void* address = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ,
                           writable ? MAP_SHARED : MAP_PRIVATE, file, 0);
    return address == MAP_FAILED ? nullptr : static_cast<uint8_t*>(address);
}

}  // namespace

std::optional<MappedFile> MappedFile::Open(const std::string& path, Access access, std::string& error) {
    const bool writable = access == Access::ReadWrite;
    const int file = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (file < 0) {
        error = Failure(path, "cannot open");
        return std::nullopt;
    }
    std::optional<MappedFile> mapped;
    struct stat status {};
    if (::fstat(file, &status) != 0) {
        error = Failure(path, "cannot read its size");
    } else if (!S_ISREG(status.st_mode)) {
        error = path + ": not a regular file";
    } else if (status.st_size == 0) {
        error = path + ": empty file";
    } else {
        const auto size = static_cast<std::size_t>(status.st_size);
        if (uint8_t* data = Map(file, size, writable)) {
            mapped = MappedFile(path, data, size, writable);
        } else {
            error = Failure(path, "cannot map");
        }
    }
    // The mapping keeps the file referenced; the descriptor is no longer needed.
    ::close(file);
    return mapped;
}

std::optional<MappedFile> MappedFile::Create(const std::string& path, std::size_t size, uint8_t fill,
                                             std::string& error) {
    if (size == 0) {
        error = path + ": cannot create an empty medium";
        return std::nullopt;
    }
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        error = Failure(path, "cannot create");
        return std::nullopt;
    }
    uint8_t* data = nullptr;
    // Truncating to the size gives a sparse file of zeros at once; only a fill other than zero
    // has to touch the pages.
    if (::ftruncate(file, static_cast<off_t>(size)) != 0) {
        error = Failure(path, "cannot size");
    } else if ((data = Map(file, size, true)) == nullptr) {
        error = Failure(path, "cannot map");
    } else if (fill != 0) {
        std::memset(data, fill, size);
    }
    ::close(file);
    if (data == nullptr) {
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return MappedFile(path, data, size, true);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      writable_(std::exchange(other.writable_, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Unmap();
        path_ = std::move(other.path_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        writable_ = std::exchange(other.writable_, false);
    }
    return *this;
}

MappedFile::~MappedFile() {
    Unmap();
}

void MappedFile::Unmap() {
    if (data_ != nullptr) {
        ::munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace media_format
