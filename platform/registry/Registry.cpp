#include "platform/registry/Registry.h"

#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/RegistryFile.h"

// What an open key is: where its root's file lies, and what the opener may do.
struct HKEY__ {
    std::filesystem::path folder;
    std::string rootName;
    std::string path;
    REGSAM access = 0;
};

namespace {

struct Root {
    HKEY handle;
    const char* name;
};

// The roots kept in files. HKEY_CURRENT_USER and HKEY_USERS are separate
// files: every root belongs to the one user anyway.
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"}, {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

// Any right beyond reading needs a folder that can be written.
constexpr REGSAM kChangeRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// The predefined handles are numbers, not objects: they must never be
// followed as pointers, known or not.
bool IsPredefinedRange(HKEY key)
{
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    const auto first = reinterpret_cast<std::uintptr_t>(HKEY_CLASSES_ROOT);
    return value >= first && value <= first + 0xFF;
}

// The key a handle stands for, or nothing for an invalid handle.
std::optional<HKEY__> Resolve(HKEY key)
{
    if (key == nullptr) {
        return std::nullopt;
    }
    for (const Root& root : kRoots) {
        if (key == root.handle) {
            return HKEY__{RegistryFolder(), root.name, "", KEY_ALL_ACCESS};
        }
    }
    if (IsPredefinedRange(key)) {
        return std::nullopt;
    }
    return *key;
}

HiveFile FileOf(const HKEY__& key) { return HiveFile(key.folder, key.rootName); }

// Resolves `key` and `subKey` into the key they name, and reads the hive
// that key lives in.
LSTATUS Locate(HKEY key, LPCSTR subKey, HKEY__& target, RegistryHive& hive)
{
    std::optional<HKEY__> parent = Resolve(key);
    if (!parent) {
        return ERROR_INVALID_HANDLE;
    }
    LSTATUS status = ERROR_SUCCESS;
    const std::optional<std::string> sub = NormalizeKeyPath(subKey != nullptr ? subKey : "", status);
    if (!sub) {
        return status;
    }
    target = std::move(*parent);
    target.path = JoinKeyPath(target.path, *sub);
    return FileOf(target).Read(hive);
}

LSTATUS Hand(HKEY__ target, REGSAM desired, PHKEY result)
{
    target.access = desired;
    *result = new HKEY__(std::move(target));
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result)
try {
    if (result == nullptr || options != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY__ target;
    RegistryHive hive;
    if (const LSTATUS status = Locate(key, subKey, target, hive); status != ERROR_SUCCESS) {
        return status;
    }
    const HiveFile file = FileOf(target);
    if (hive.FindKey(target.path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if ((desired & kChangeRights) != 0 && !file.Writable()) {
        return ERROR_ACCESS_DENIED;
    }
    return Hand(std::move(target), desired, result);
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR /*keyClass*/, DWORD options, REGSAM desired,
                        LPSECURITY_ATTRIBUTES /*security*/, PHKEY result, LPDWORD disposition)
try {
    if (result == nullptr || subKey == nullptr || reserved != 0 || options != REG_OPTION_NON_VOLATILE) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY__ target;  // carries the parent's rights until it is handed out
    RegistryHive hive;
    if (const LSTATUS status = Locate(key, subKey, target, hive); status != ERROR_SUCCESS) {
        return status;
    }
    const HiveFile file = FileOf(target);
    bool created = false;
    if (hive.FindKey(target.path) == nullptr) {
        if ((target.access & KEY_CREATE_SUB_KEY) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        const LSTATUS status = file.Update(
            [&](RegistryHive& current, bool& changed) {
                created = current.CreateKey(target.path);
                changed = created;
                return ERROR_SUCCESS;
            },
            "");
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    if (!created && (desired & kChangeRights) != 0 && !file.Writable()) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return Hand(std::move(target), desired, result);
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
try {
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<HKEY__> target = Resolve(key);
    if (!target) {
        return ERROR_INVALID_HANDLE;
    }
    if ((target->access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    RegistryHive hive;
    const LSTATUS status = FileOf(*target).Read(hive);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegistryKeyNode* node = hive.FindKey(target->path);
    if (node == nullptr) {
        return ERROR_KEY_DELETED;
    }
    const RegistryValue* value = RegistryHive::FindValue(*node, valueName != nullptr ? valueName : "");
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    // Files are capped far below 4 GiB, so the size always fits.
    const auto size = static_cast<DWORD>(value->data.size());
    if (type != nullptr) {
        *type = value->type;
    }
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0) {
            std::memcpy(data, value->data.data(), size);
        }
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize)
try {
    if (reserved != 0 || (data == nullptr && dataSize != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<HKEY__> target = Resolve(key);
    if (!target) {
        return ERROR_INVALID_HANDLE;
    }
    if ((target->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    const std::string name = valueName != nullptr ? valueName : "";
    const std::vector<BYTE> bytes = data != nullptr ? std::vector<BYTE>(data, data + dataSize) : std::vector<BYTE>();
    return FileOf(*target).Update(
        [&](RegistryHive& hive, bool& changed) {
            RegistryKeyNode* node = hive.FindKey(target->path);
            if (node == nullptr) {
                return ERROR_KEY_DELETED;
            }
            changed = RegistryHive::SetValue(*node, name, type, bytes);
            return ERROR_SUCCESS;
        },
        name);
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegFlushKey(HKEY key)
try {
    const std::optional<HKEY__> target = Resolve(key);
    return target ? FileOf(*target).Flush() : ERROR_INVALID_HANDLE;
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (key == nullptr || IsPredefinedRange(key)) {
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    }
    delete key;
    return ERROR_SUCCESS;
}
