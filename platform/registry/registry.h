// One machine's registry: a tree of keys with typed values, names compared without regard to
// case. User mode reaches it through HKEY handles, drivers through "\Registry\Machine\...", and
// people through REGEDIT4 text files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/strings.h"

namespace platform {

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

struct RegistryValue {
    std::string name;  // empty for the key's default value
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;

    // REG_SZ data as stored, including its terminating NUL.
    static RegistryValue String(std::string name, std::string_view text);
    static RegistryValue Dword(std::string name, std::uint32_t value);
    static RegistryValue Binary(std::string name, std::vector<std::uint8_t> bytes);
    // The text of a string value without its terminating NUL.
    std::string AsString() const;
    std::optional<std::uint32_t> AsDword() const;
};

class RegistryKey {
  public:
    explicit RegistryKey(std::string name) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    bool Deleted() const { return deleted_; }

  private:
    friend class Registry;
    std::string name_;
    bool deleted_ = false;
    std::map<std::string, std::shared_ptr<RegistryKey>, LessIgnoreCase> subkeys_;
    std::vector<RegistryValue> values_;  // in the order they were first set, as Windows lists them
};

using KeyRef = std::shared_ptr<RegistryKey>;

struct RegistryLoadResult {
    bool ok = true;
    int line = 0;        // the offending line, from 1
    std::string reason;  // what is wrong with it
    std::string Message() const;
};

class Registry {
  public:
    Registry();

    // The trees by their user-mode root names: HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER
    // (the default user) and HKEY_CLASSES_ROOT (HKEY_LOCAL_MACHINE\SOFTWARE\Classes); nullptr for
    // anything else.
    KeyRef RootByName(std::string_view rootName);
    // A full path: "HKEY_LOCAL_MACHINE\SOFTWARE\X" or the kernel's "\Registry\Machine\SOFTWARE\X".
    KeyRef OpenPath(std::string_view fullPath);

    KeyRef Open(const KeyRef& base, std::string_view subPath);
    // Creates every missing key along the path; `created` tells whether the last one is new.
    KeyRef Create(const KeyRef& base, std::string_view subPath, bool* created = nullptr);
    enum class DeleteResult { Deleted, NotFound, HasSubkeys };
    // Without `recursive`, a key with subkeys stays (as on the NT family).
    DeleteResult DeleteKey(const KeyRef& base, std::string_view subPath, bool recursive);

    bool SetValue(const KeyRef& key, RegistryValue value);
    std::optional<RegistryValue> QueryValue(const KeyRef& key, std::string_view name);
    bool DeleteValue(const KeyRef& key, std::string_view name);
    std::optional<std::string> EnumKey(const KeyRef& key, std::size_t index);
    std::optional<RegistryValue> EnumValue(const KeyRef& key, std::size_t index);

    // Merges a REGEDIT4 text: all of it, or (on the first bad line) nothing.
    RegistryLoadResult LoadRegedit4(std::string_view text);
    // The key at `fullPath` and everything below it as REGEDIT4 text; empty when it is absent.
    std::string SaveRegedit4(std::string_view fullPath);

  private:
    KeyRef OpenLocked(const KeyRef& base, std::string_view subPath);
    KeyRef CreateLocked(const KeyRef& base, std::string_view subPath, bool* created);
    KeyRef RootLocked(std::string_view rootName, std::string_view* rest);
    void SaveKeyLocked(const RegistryKey& key, const std::string& path, std::string& out);

    std::mutex mutex_;
    KeyRef machine_;
    KeyRef users_;
};

}  // namespace platform
