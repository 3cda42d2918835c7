#include "platform/registry/registry.h"

#include <algorithm>

namespace platform {

namespace {

// Splits "A\B\C" into its names; empty names (doubled or trailing backslashes) are skipped.
std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            names.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

}  // namespace

RegistryValue RegistryValue::String(std::string name, std::string_view text) {
    RegistryValue value{std::move(name), REG_SZ, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
}

RegistryValue RegistryValue::Dword(std::string name, std::uint32_t v) {
    return {std::move(name),
            REG_DWORD,
            {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
}

RegistryValue RegistryValue::Binary(std::string name, std::vector<std::uint8_t> bytes) {
    return {std::move(name), REG_BINARY, std::move(bytes)};
}

std::string RegistryValue::AsString() const {
    std::string text(data.begin(), data.end());
    if (auto nul = text.find('\0'); nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

std::optional<std::uint32_t> RegistryValue::AsDword() const {
    if (type != REG_DWORD || data.size() != 4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                      static_cast<std::uint32_t>(data[3]) << 24);
}

std::string RegistryLoadResult::Message() const {
    return ok ? std::string("ok") : "line " + std::to_string(line) + ": " + reason;
}

Registry::Registry()
    : machine_(std::make_shared<RegistryKey>("HKEY_LOCAL_MACHINE")),
      users_(std::make_shared<RegistryKey>("HKEY_USERS")) {
    std::lock_guard lock(mutex_);
    CreateLocked(machine_, "SOFTWARE\\Classes", nullptr);
    CreateLocked(machine_, "SYSTEM\\CurrentControlSet", nullptr);
    CreateLocked(users_, ".DEFAULT", nullptr);
}

KeyRef Registry::RootLocked(std::string_view path, std::string_view* rest) {
    struct Root {
        const char* name;
        bool machine;
        const char* subPath;
    };
    static constexpr Root kRoots[] = {
        {"HKEY_LOCAL_MACHINE", true, ""},
        {"\\Registry\\Machine", true, ""},
        {"HKEY_USERS", false, ""},
        {"\\Registry\\User", false, ""},
        {"HKEY_CURRENT_USER", false, ".DEFAULT"},
        {"HKEY_CLASSES_ROOT", true, "SOFTWARE\\Classes"},
    };
    for (const auto& root : kRoots) {
        std::string_view name = root.name;
        if (StartsWithIgnoreCase(path, name) && (path.size() == name.size() || path[name.size()] == '\\')) {
            *rest = path.substr(name.size());
            KeyRef base = root.machine ? machine_ : users_;
            return *root.subPath ? CreateLocked(base, root.subPath, nullptr) : base;
        }
    }
    return nullptr;
}

KeyRef Registry::RootByName(std::string_view rootName) {
    std::lock_guard lock(mutex_);
    std::string_view rest;
    KeyRef root = RootLocked(rootName, &rest);
    return (root && rest.empty()) ? root : nullptr;
}

KeyRef Registry::OpenPath(std::string_view fullPath) {
    std::lock_guard lock(mutex_);
    std::string_view rest;
    KeyRef root = RootLocked(fullPath, &rest);
    return root ? OpenLocked(root, rest) : nullptr;
}

KeyRef Registry::OpenLocked(const KeyRef& base, std::string_view subPath) {
    if (!base || base->deleted_) {
        return nullptr;
    }
    KeyRef key = base;
    for (auto name : SplitPath(subPath)) {
        auto it = key->subkeys_.find(name);
        if (it == key->subkeys_.end()) {
            return nullptr;
        }
        key = it->second;
    }
    return key;
}

KeyRef Registry::CreateLocked(const KeyRef& base, std::string_view subPath, bool* created) {
    if (created != nullptr) {
        *created = false;
    }
    if (!base || base->deleted_) {
        return nullptr;
    }
    KeyRef key = base;
    for (auto name : SplitPath(subPath)) {
        auto it = key->subkeys_.find(name);
        if (it == key->subkeys_.end()) {
            auto child = std::make_shared<RegistryKey>(std::string(name));
            key->subkeys_.emplace(std::string(name), child);
            key = child;
            if (created != nullptr) {
                *created = true;
            }
        } else {
            key = it->second;
            if (created != nullptr) {
                *created = false;
            }
        }
    }
    return key;
}

KeyRef Registry::Open(const KeyRef& base, std::string_view subPath) {
    std::lock_guard lock(mutex_);
    return OpenLocked(base, subPath);
}

KeyRef Registry::Create(const KeyRef& base, std::string_view subPath, bool* created) {
    std::lock_guard lock(mutex_);
    return CreateLocked(base, subPath, created);
}

Registry::DeleteResult Registry::DeleteKey(const KeyRef& base, std::string_view subPath, bool recursive) {
    std::lock_guard lock(mutex_);
    auto names = SplitPath(subPath);
    if (names.empty()) {
        return DeleteResult::NotFound;  // a key does not delete itself through an empty path
    }
    std::string_view last = names.back();
    names.pop_back();
    KeyRef parent = base;
    for (auto name : names) {
        parent = parent ? OpenLocked(parent, name) : nullptr;
    }
    if (!parent || parent->deleted_) {
        return DeleteResult::NotFound;
    }
    auto it = parent->subkeys_.find(last);
    if (it == parent->subkeys_.end()) {
        return DeleteResult::NotFound;
    }
    if (!recursive && !it->second->subkeys_.empty()) {
        return DeleteResult::HasSubkeys;
    }
    // Handles still open on the key (or below it) see it as deleted.
    std::vector<RegistryKey*> pending{it->second.get()};
    while (!pending.empty()) {
        RegistryKey* key = pending.back();
        pending.pop_back();
        key->deleted_ = true;
        for (auto& [name, child] : key->subkeys_) {
            pending.push_back(child.get());
        }
    }
    parent->subkeys_.erase(it);
    return DeleteResult::Deleted;
}

bool Registry::SetValue(const KeyRef& key, RegistryValue value) {
    std::lock_guard lock(mutex_);
    if (!key || key->deleted_) {
        return false;
    }
    auto& values = key->values_;
    auto it = std::find_if(values.begin(), values.end(),
                           [&](auto& v) { return EqualsIgnoreCase(v.name, value.name); });
    if (it != values.end()) {
        it->type = value.type;
        it->data = std::move(value.data);
    } else {
        values.push_back(std::move(value));
    }
    return true;
}

std::optional<RegistryValue> Registry::QueryValue(const KeyRef& key, std::string_view name) {
    std::lock_guard lock(mutex_);
    if (!key || key->deleted_) {
        return std::nullopt;
    }
    for (auto& value : key->values_) {
        if (EqualsIgnoreCase(value.name, name)) {
            return value;
        }
    }
    return std::nullopt;
}

bool Registry::DeleteValue(const KeyRef& key, std::string_view name) {
    std::lock_guard lock(mutex_);
    if (!key || key->deleted_) {
        return false;
    }
    auto& values = key->values_;
    auto it =
        std::find_if(values.begin(), values.end(), [&](auto& v) { return EqualsIgnoreCase(v.name, name); });
    if (it == values.end()) {
        return false;
    }
    values.erase(it);
    return true;
}

std::optional<std::string> Registry::EnumKey(const KeyRef& key, std::size_t index) {
    std::lock_guard lock(mutex_);
    if (!key || key->deleted_ || index >= key->subkeys_.size()) {
        return std::nullopt;
    }
    auto it = key->subkeys_.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(index));
    return it->second->name_;
}

std::optional<RegistryValue> Registry::EnumValue(const KeyRef& key, std::size_t index) {
    std::lock_guard lock(mutex_);
    if (!key || key->deleted_ || index >= key->values_.size()) {
        return std::nullopt;
    }
    return key->values_[index];
}

}  // namespace platform
