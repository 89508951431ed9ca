#pragma once

// The keys and values of one registry root, and their text form:
//
//   ; Sonderik registry HKEY_LOCAL_MACHINE
//
//   [Software\Sonderik\Settings]
//   "Path"="C:\\"
//   "midiin"=hex:01,00,00,00
//   "deviceno"=dword:00000001
//
//   ; end of HKEY_LOCAL_MACHINE
//
// Text values are quoted with \\, \" and \xHH escapes; `expand:"..."` is
// REG_EXPAND_SZ; other data is `hex:` (REG_BINARY), `dword:` or `hex(type):`;
// @ names a key's default value. The closing line proves the text whole: a
// text without it, or with any line that does not parse, is no hive at all.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/Registry.h"

// Hashing and equality of names without regard to the case of ASCII letters,
// usable with a string_view so that a lookup copies nothing.
struct RegistryNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
};
struct RegistryNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct RegistryValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryKeyNode {
    std::string path;  // below the root, parts joined by '\'; "" is the root itself
    std::vector<RegistryValue> values;
};

// The keys of one root. Key paths and value names compare without regard
// to the case of ASCII letters, and keep the case they were made with.
// Keys are found by path in constant time and values by a walk through their
// key, so reading, writing and looking up a root grow with its size, not with
// its square: other programs may keep thousands of keys beside ours.
class RegistryHive {
public:
    RegistryHive();

    RegistryKeyNode* FindKey(std::string_view path);
    const RegistryKeyNode* FindKey(std::string_view path) const;
    // Makes the key and its missing parents; true when the key itself is new.
    bool CreateKey(std::string_view path);

    static const RegistryValue* FindValue(const RegistryKeyNode& key, std::string_view name);
    // True when this changed what the key holds.
    static bool SetValue(RegistryKeyNode& key, std::string_view name, DWORD type, std::vector<BYTE> data);

    const std::vector<RegistryKeyNode>& Keys() const { return keys_; }

    std::string Format(std::string_view rootName) const;
    // Nothing when the text is not one whole file of this root.
    static std::optional<RegistryHive> Parse(std::string_view text, std::string_view rootName);

private:
    std::vector<RegistryKeyNode> keys_;  // parents before children; the root first
    std::unordered_map<std::string, std::size_t, RegistryNameHash, RegistryNameEqual> index_;  // path -> place in keys_

    // The place of the key, made with its missing parents when new.
    std::size_t MakeKey(std::string_view path, bool& made);
};

// A key path as the calls take it ("Software\Sonderik\"), checked and without
// its trailing '\'; ERROR_BAD_PATHNAME or ERROR_INVALID_PARAMETER in `status`
// when it cannot name a key.
std::optional<std::string> NormalizeKeyPath(std::string_view path, LSTATUS& status);
// `parent` and `child` joined, either may be empty.
std::string JoinKeyPath(std::string_view parent, std::string_view child);

// Key paths and value names are equal when they differ only in the case
// of ASCII letters.
bool SameRegistryName(std::string_view a, std::string_view b);

// The largest file the store reads or writes.
constexpr std::size_t kMaxRegistryFileSize = 16u << 20;
