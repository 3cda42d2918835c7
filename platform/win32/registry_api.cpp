// The Reg... calls over the machine's registry. They return their error code and leave the
// thread's last error alone, as Windows' do.
#include <cstring>

#include "platform/win32/context.h"

namespace w32 {

using namespace detail;

namespace {

class RegistryKeyHandle : public platform::HandleObject {
  public:
    explicit RegistryKeyHandle(platform::KeyRef keyRef) : key(std::move(keyRef)) {}
    const char* TypeName() const override { return "Key"; }
    platform::KeyRef key;
};

struct PredefinedKey {
    HKEY handle;
    const char* rootName;
};
const PredefinedKey kPredefined[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
};

platform::Registry* CurrentRegistry() {
    auto* platform = CurrentPlatform();
    return platform != nullptr ? &platform->Reg() : nullptr;
}

// The key behind a handle; nullptr for an unknown handle.
platform::KeyRef KeyOf(HKEY handle) {
    auto* registry = CurrentRegistry();
    if (registry == nullptr) {
        return nullptr;
    }
    for (const auto& predefined : kPredefined) {
        if (predefined.handle == handle) {
            return registry->RootByName(predefined.rootName);
        }
    }
    auto object = LookupHandle<RegistryKeyHandle>(handle);
    return object ? object->key : nullptr;
}

HKEY NewHandle(platform::KeyRef key) {
    return static_cast<HKEY>(CurrentProcess()->Insert(std::make_shared<RegistryKeyHandle>(std::move(key))));
}

// The registry and key a call works on, or the error it returns: a bad argument, an unknown
// handle, or a key deleted while it was open.
struct KeyAccess {
    platform::Registry* registry = nullptr;
    platform::KeyRef key;
    LONG status = ERROR_SUCCESS;
};

KeyAccess Access(HKEY handle, bool argumentsValid) {
    KeyAccess access{CurrentRegistry(), KeyOf(handle), ERROR_SUCCESS};
    if (access.registry == nullptr || !argumentsValid) {
        access.status = ERROR_INVALID_PARAMETER;
    } else if (!access.key) {
        access.status = ERROR_INVALID_HANDLE;
    } else if (access.key->Deleted()) {
        access.status = ERROR_KEY_DELETED;
    }
    return access;
}

// Copies a name into a caller's buffer of `*size` characters; `*size` becomes its length.
LONG CopyName(const std::string& name, LPSTR buffer, DWORD* size) {
    if (buffer == nullptr || size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (name.size() + 1 > *size) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Copies value data the way RegQueryValueEx does: a null buffer asks for the size only.
LONG CopyData(const platform::RegistryValue& value, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (type != nullptr) {
        *type = value.type;
    }
    auto size = static_cast<DWORD>(value.data.size());
    if (data != nullptr) {
        if (dataSize == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size != 0) {
            std::memcpy(data, value.data.data(), size);
        }
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY* result) {
    auto access = Access(key, result != nullptr);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    auto opened = registry->Open(base, subKey != nullptr ? subKey : "");
    if (!opened) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(opened);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     HKEY* result, DWORD* disposition) {
    auto access = Access(key, result != nullptr && subKey != nullptr);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    bool created = false;
    auto made = registry->Create(base, subKey, &created);
    if (!made) {
        return ERROR_KEY_DELETED;
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = NewHandle(made);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
    auto access = Access(key, true);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    auto value = registry->QueryValue(base, valueName != nullptr ? valueName : "");
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyData(*value, type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    auto access = Access(key, !(data == nullptr && dataSize != 0));
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    platform::RegistryValue value{valueName != nullptr ? valueName : "", type, {data, data + dataSize}};
    return registry->SetValue(base, std::move(value)) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    auto access = Access(key, true);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    return registry->DeleteValue(base, valueName != nullptr ? valueName : "") ? ERROR_SUCCESS
                                                                              : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    auto access = Access(key, subKey != nullptr && *subKey != '\0');
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    // Windows 95, 98 and Me delete the whole subtree; the NT family refuses a key with subkeys.
    bool recursive = !CurrentPlatform()->IsNtFamily();
    switch (registry->DeleteKey(base, subKey, recursive)) {
        case platform::Registry::DeleteResult::Deleted:
            return ERROR_SUCCESS;
        case platform::Registry::DeleteResult::HasSubkeys:
            return ERROR_ACCESS_DENIED;
        case platform::Registry::DeleteResult::NotFound:
            break;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD*, LPSTR keyClass,
                   DWORD* keyClassSize, FILETIME* lastWriteTime) {
    auto access = Access(key, true);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    auto subkey = registry->EnumKey(base, index);
    if (!subkey) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (keyClass != nullptr && keyClassSize != nullptr && *keyClassSize > 0) {
        keyClass[0] = '\0';
        *keyClassSize = 0;
    }
    if (lastWriteTime != nullptr) {
        *lastWriteTime = FILETIME{0, 0};
    }
    return CopyName(*subkey, name, nameSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD*, DWORD* type,
                   BYTE* data, DWORD* dataSize) {
    auto access = Access(key, true);
    if (access.status != ERROR_SUCCESS) {
        return access.status;
    }
    auto* registry = access.registry;
    auto& base = access.key;
    auto value = registry->EnumValue(base, index);
    if (!value) {
        return ERROR_NO_MORE_ITEMS;
    }
    LONG status = CopyName(value->name, valueName, valueNameSize);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return CopyData(*value, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    for (const auto& predefined : kPredefined) {
        if (predefined.handle == key) {
            return ERROR_SUCCESS;
        }
    }
    auto* process = CurrentProcess();
    if (process == nullptr || !LookupHandle<RegistryKeyHandle>(key)) {
        return ERROR_INVALID_HANDLE;
    }
    process->Close(key);
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
    return KeyOf(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace w32
