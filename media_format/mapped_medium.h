// A medium file mapped read-only, so the reader can work on a large medium without copying it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace media_format {

class MappedMedium {
  public:
    // Maps the whole file; fails with a one-line message for a missing, unreadable, empty or non-regular
    // file.
    static std::optional<MappedMedium> Open(const std::string& path, std::string& error);

    MappedMedium(MappedMedium&& other) noexcept;
    MappedMedium& operator=(MappedMedium&& other) noexcept;
    MappedMedium(const MappedMedium&) = delete;
    MappedMedium& operator=(const MappedMedium&) = delete;
    ~MappedMedium();

    std::span<const uint8_t> Bytes() const { return {address_, size_}; }

  private:
    MappedMedium(const uint8_t* address, std::size_t size) : address_(address), size_(size) {}
    void Unmap();

    const uint8_t* address_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace media_format
