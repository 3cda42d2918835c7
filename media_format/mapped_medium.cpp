#include "media_format/mapped_medium.h"

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

}  // namespace

std::optional<MappedMedium> MappedMedium::Open(const std::string& path, std::string& error) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        error = Failure(path, "cannot open");
        return std::nullopt;
    }
    std::optional<MappedMedium> mapped;
    struct stat status {};
    if (::fstat(file, &status) != 0) {
        error = Failure(path, "cannot read its size");
    } else if (!S_ISREG(status.st_mode)) {
        error = path + ": not a regular file";
    } else if (status.st_size == 0) {
        error = path + ": empty file";
    } else {
        const auto size = static_cast<std::size_t>(status.st_size);
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
        if (address == MAP_FAILED) {
            error = Failure(path, "cannot map");
        } else {
            mapped = MappedMedium(static_cast<const uint8_t*>(address), size);
        }
    }
    ::close(file);
    return mapped;
}

MappedMedium::MappedMedium(MappedMedium&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedMedium& MappedMedium::operator=(MappedMedium&& other) noexcept {
    if (this != &other) {
        Unmap();
        address_ = std::exchange(other.address_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedMedium::~MappedMedium() {
    Unmap();
}

void MappedMedium::Unmap() {
    if (address_ != nullptr) {
        ::munmap(const_cast<uint8_t*>(address_), size_);
        address_ = nullptr;
        size_ = 0;
    }
}

}  // namespace media_format
