// Read-only access to one key of the product's configuration, opened for one read and closed at
// once: nothing is cached between reads, so a changed registry is seen by the next read.
#pragma once

#include "platform/win32/win32.h"

namespace tools {

class ConfigurationKey {
  public:
    // Opens HKEY_LOCAL_MACHINE\`subKeyPath` for query.
    explicit ConfigurationKey(const char* subKeyPath);
    ~ConfigurationKey();
    ConfigurationKey(const ConfigurationKey&) = delete;
    ConfigurationKey& operator=(const ConfigurationKey&) = delete;

    bool IsOpen() const { return key_ != nullptr; }

    // A value of exactly `size` bytes (a 32-bit number, a one-byte tag). A missing value or one
    // of another size leaves `out` untouched and gives false.
    bool ReadExact(const char* name, void* out, w32::DWORD size) const;
    bool ReadNumber(const char* name, w32::DWORD* out) const { return ReadExact(name, out, sizeof *out); }
    // A string value that fits, with its terminating NUL, into `capacity` bytes; the buffer then
    // holds it NUL-terminated. A missing value, a non-string or a longer one leaves the buffer
    // untouched and gives false.
    bool ReadString(const char* name, char* buffer, w32::DWORD capacity) const;

  private:
    w32::HKEY key_ = nullptr;
};

}  // namespace tools
