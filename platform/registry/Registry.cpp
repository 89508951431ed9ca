#include "platform/registry/Registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/RegistryFile.h"

namespace {

// Where a key lies, and what the opener may do.
struct KeyPlace {
    std::filesystem::path folder;
    std::string rootName;
    std::string path;
    REGSAM access = 0;
};

}  // namespace

// An open key: its place; the values set through it since it was last
// written, which reach its root's file together at RegFlushKey or
// RegCloseKey; and its root as the key first read it since then, so that
// the values a reader reads through one handle all come from one change.
struct HKEY__ : KeyPlace {
    std::vector<RegistryValue> pending;
    std::size_t pendingBytes = 0;
    std::optional<RegistryHive> seen;
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
std::optional<KeyPlace> Resolve(HKEY key)
{
    if (key == nullptr) {
        return std::nullopt;
    }
    for (const Root& root : kRoots) {
        if (key == root.handle) {
            return KeyPlace{RegistryFolder(), root.name, "", KEY_ALL_ACCESS};
        }
    }
    if (IsPredefinedRange(key)) {
        return std::nullopt;
    }
    return static_cast<const KeyPlace&>(*key);
}

// The handle's own object, which keeps its changes; none for a predefined
// root, which is never opened or closed and so writes each change at once.
HKEY__* Opened(HKEY key) { return key == nullptr || IsPredefinedRange(key) ? nullptr : key; }

HiveFile FileOf(const KeyPlace& key) { return HiveFile(key.folder, key.rootName); }

// Sets `values` in the key at `path` of `hive`; ERROR_KEY_DELETED when it has gone.
LSTATUS SetValues(RegistryHive& hive, const std::string& path, const std::vector<RegistryValue>& values,
                  bool& changed)
{
    RegistryKeyNode* node = hive.FindKey(path);
    if (node == nullptr) {
        return ERROR_KEY_DELETED;
    }
    for (const RegistryValue& value : values) {
        changed = RegistryHive::SetValue(*node, value.name, value.type, value.data) || changed;
    }
    return ERROR_SUCCESS;
}

// What a write of `values` is called for the stop points: their names, joined by ','.
std::string NamesOf(const std::vector<RegistryValue>& values)
{
    std::string names;
    for (const RegistryValue& value : values) {
        names += (names.empty() ? "" : ",") + value.name;
    }
    return names;
}

// Writes the values set through `key` since its last write as one change of
// its root's file, over what the file holds now. Kept when that fails, so
// that a later flush may try again.
LSTATUS WritePending(HKEY__& key)
{
    if (key.pending.empty()) {
        return ERROR_SUCCESS;
    }
    const LSTATUS status = FileOf(key).Update(
        [&](RegistryHive& hive, bool& changed) { return SetValues(hive, key.path, key.pending, changed); },
        NamesOf(key.pending));
    if (status == ERROR_SUCCESS) {
        key.pending.clear();
        key.pendingBytes = 0;
        key.seen.reset();  // the next read sees what was written, and any change since
    }
    return status;
}

// The root as `key` reads it: read at its first read since its last write.
LSTATUS Seen(HKEY__& key, const RegistryHive*& hive)
{
    if (!key.seen) {
        RegistryHive read;
        if (const LSTATUS status = FileOf(key).Read(read); status != ERROR_SUCCESS) {
            return status;
        }
        key.seen = std::move(read);
    }
    hive = &*key.seen;
    return ERROR_SUCCESS;
}

// A value `key` has set and not yet written.
RegistryValue* PendingValue(HKEY__& key, std::string_view name)
{
    const auto found = std::find_if(key.pending.begin(), key.pending.end(),
                                    [&](const RegistryValue& v) { return SameRegistryName(v.name, name); });
    return found != key.pending.end() ? &*found : nullptr;
}

// Keeps a value set through `key` for its next write; a later set of the
// same name replaces it.
LSTATUS Gather(HKEY__& key, RegistryValue value)
{
    RegistryValue* same = PendingValue(key, value.name);
    const std::size_t replaced = same != nullptr ? same->data.size() + same->name.size() : 0;
    const std::size_t bytes = key.pendingBytes - replaced + value.data.size() + value.name.size();
    // What could never be written is refused now, not at the close.
    if (bytes > kMaxRegistryFileSize) {
        return ERROR_CANTWRITE;
    }
    key.pendingBytes = bytes;
    if (same != nullptr) {
        *same = std::move(value);
    } else {
        key.pending.push_back(std::move(value));
    }
    return ERROR_SUCCESS;
}

// Resolves `key` and `subKey` into the key they name, and reads the hive
// that key lives in.
LSTATUS Locate(HKEY key, LPCSTR subKey, KeyPlace& target, RegistryHive& hive)
{
    std::optional<KeyPlace> parent = Resolve(key);
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

LSTATUS Hand(KeyPlace target, REGSAM desired, PHKEY result)
{
    target.access = desired;
    *result = new HKEY__{std::move(target), {}, 0, std::nullopt};
    return ERROR_SUCCESS;
}

}  // namespace

std::filesystem::path RegistryRootFile(HKEY root)
{
    const std::optional<KeyPlace> place = IsPredefinedRange(root) ? Resolve(root) : std::optional<KeyPlace>();
    return place ? FileOf(*place).File() : std::filesystem::path();
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result)
try {
    if (result == nullptr || options != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPlace target;
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
    KeyPlace target;  // carries the parent's rights until it is handed out
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
    const std::optional<KeyPlace> target = Resolve(key);
    if (!target) {
        return ERROR_INVALID_HANDLE;
    }
    if ((target->access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    RegistryHive fresh;
    const RegistryHive* hive = &fresh;
    HKEY__* opened = Opened(key);
    const LSTATUS status = opened != nullptr ? Seen(*opened, hive) : FileOf(*target).Read(fresh);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegistryKeyNode* node = hive->FindKey(target->path);
    if (node == nullptr) {
        return ERROR_KEY_DELETED;
    }
    // What this handle set and has not yet written is what it reads back.
    const std::string_view name = valueName != nullptr ? valueName : "";
    const RegistryValue* value = opened != nullptr ? PendingValue(*opened, name) : nullptr;
    if (value == nullptr) {
        value = RegistryHive::FindValue(*node, name);
    }
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
    const std::optional<KeyPlace> target = Resolve(key);
    if (!target) {
        return ERROR_INVALID_HANDLE;
    }
    if ((target->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    RegistryValue value{valueName != nullptr ? valueName : "", type,
                        data != nullptr ? std::vector<BYTE>(data, data + dataSize) : std::vector<BYTE>()};
    HKEY__* opened = Opened(key);
    if (opened == nullptr) {
        return FileOf(*target).Update(
            [&](RegistryHive& hive, bool& changed) { return SetValues(hive, target->path, {value}, changed); },
            value.name);
    }
    // A key that has gone is said now, as its write would fail.
    const RegistryHive* hive = nullptr;
    if (const LSTATUS status = Seen(*opened, hive); status != ERROR_SUCCESS) {
        return status;
    }
    if (hive->FindKey(target->path) == nullptr) {
        return ERROR_KEY_DELETED;
    }
    return Gather(*opened, std::move(value));
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegFlushKey(HKEY key)
try {
    const std::optional<KeyPlace> target = Resolve(key);
    if (!target) {
        return ERROR_INVALID_HANDLE;
    }
    HKEY__* opened = Opened(key);
    if (const LSTATUS status = opened != nullptr ? WritePending(*opened) : ERROR_SUCCESS; status != ERROR_SUCCESS) {
        return status;
    }
    return FileOf(*target).Flush();
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

LSTATUS RegCloseKey(HKEY key)
{
    HKEY__* opened = Opened(key);
    if (opened == nullptr) {
        return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    }
    // The handle goes whatever its write does: it is closed exactly once.
    const std::unique_ptr<HKEY__> closing(opened);
    try {
        return WritePending(*closing);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
