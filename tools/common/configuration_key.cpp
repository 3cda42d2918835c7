#include "tools/common/configuration_key.h"

#include <cstring>
#include <vector>

namespace tools {

using namespace w32;

ConfigurationKey::ConfigurationKey(const char* subKeyPath) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKeyPath, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
    }
}

ConfigurationKey::~ConfigurationKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
}

bool ConfigurationKey::ReadExact(const char* name, void* out, DWORD size) const {
    if (key_ == nullptr || out == nullptr) {
        return false;
    }
    // Read through a scratch buffer so that a value of the wrong size never half-fills `out`.
    std::vector<BYTE> data(size);
    DWORD got = size;
    if (RegQueryValueExA(key_, name, nullptr, nullptr, data.data(), &got) != ERROR_SUCCESS || got != size) {
        return false;
    }
    std::memcpy(out, data.data(), size);
    return true;
}

bool ConfigurationKey::ReadString(const char* name, char* buffer, DWORD capacity) const {
    if (key_ == nullptr || buffer == nullptr || capacity == 0) {
        return false;
    }
    std::vector<BYTE> data(capacity);
    DWORD type = REG_NONE;
    DWORD got = capacity;
    if (RegQueryValueExA(key_, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    // A string stored without its NUL still needs room for one.
    const void* terminator = std::memchr(data.data(), '\0', got);
    if (terminator == nullptr && got == capacity) {
        return false;
    }
    const std::size_t length =
        terminator != nullptr ? static_cast<std::size_t>(static_cast<const BYTE*>(terminator) - data.data())
                              : got;
    std::memcpy(buffer, data.data(), length);
    buffer[length] = '\0';
    return true;
}

}  // namespace tools
