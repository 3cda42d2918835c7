// A medium or card file mapped into memory without a copy, whatever its size: read-only for the
// readers, or shared read-write for the player's model, so that every change is in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace media_format {

class MappedFile {
  public:
    enum class Access { ReadOnly, ReadWrite };

    // Maps the whole of an existing file; fails with a one-line message for a missing,
    // unreadable, empty or non-regular file.
    static std::optional<MappedFile> Open(const std::string& path, Access access, std::string& error);
    // Creates (or truncates) the file with `size` bytes of `fill` and maps it for reading and writing.
    static std::optional<MappedFile> Create(const std::string& path, std::size_t size, uint8_t fill,
                                            std::string& error);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<const uint8_t> Bytes() const { return {data_, size_}; }
    // The bytes to change; empty for a read-only mapping.
    std::span<uint8_t> WritableBytes() const {
        return writable_ ? std::span<uint8_t>{data_, size_} : std::span<uint8_t>{};
    }
    std::size_t Size() const { return size_; }
    const std::string& Path() const { return path_; }

  private:
    MappedFile(std::string path, uint8_t* data, std::size_t size, bool writable)
        : path_(std::move(path)), data_(data), size_(size), writable_(writable) {}
    void Unmap();

    std::string path_;
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool writable_ = false;
};

}  // namespace media_format
