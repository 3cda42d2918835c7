// A file mapped shared into memory: every change to the bytes is a change to the file, and opening
// costs no copy whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace player {

class MappedFile {
  public:
    // Maps an existing file for reading and writing; an empty file cannot be mapped.
    static std::optional<MappedFile> Open(const std::string& path, std::string& error);
    // Creates (or truncates) the file with `size` bytes of `fill` and maps it.
    static std::optional<MappedFile> Create(const std::string& path, std::size_t size, std::uint8_t fill,
                                            std::string& error);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<std::uint8_t> Bytes() const { return {data_, size_}; }
    std::size_t Size() const { return size_; }
    const std::string& Path() const { return path_; }

  private:
    MappedFile(std::string path, std::uint8_t* data, std::size_t size)
        : path_(std::move(path)), data_(data), size_(size) {}
    void Release();

    std::string path_;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace player
