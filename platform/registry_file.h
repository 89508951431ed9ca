#pragma once

// The files behind the registry: one per predefined root, named after it
// ("HKEY_LOCAL_MACHINE.txt"), in the folder RegistryFolder() names. A file
// reads like this:
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
// REG_EXPAND_SZ; other data is `hex:` (REG_BINARY), `dword:` or `hex(type):`.
// The closing line proves the file whole: a file without it, or with any
// line that does not parse, is set aside as "<file>.corrupt-<time>" and reads
// as a root without keys. Writers take "<root>.lock" and replace the file by
// renaming a finished, flushed "<file>.tmp" over it.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

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
};

// A key path as the calls take it ("Software\Sonderik\"), checked and without
// its trailing '\'; ERROR_BAD_PATHNAME or ERROR_INVALID_PARAMETER in `status`
// when it cannot name a key.
std::optional<std::string> NormalizeKeyPath(std::string_view path, LSTATUS& status);
// `parent` and `child` joined, either may be empty.
std::string JoinKeyPath(std::string_view parent, std::string_view child);

// $SONDERIK_CONFIG_DIR, else $XDG_CONFIG_HOME/sonderik (when absolute), else
// ~/.config/sonderik; empty when there is no home folder either.
std::filesystem::path RegistryFolder();

// The largest file the store reads or writes.
constexpr std::size_t kMaxRegistryFileSize = 16u << 20;

// One root's file. Nothing is cached: every call sees what the last writer
// of any process left.
class HiveFile {
public:
    static constexpr std::chrono::milliseconds kDefaultLockWait{10000};

    HiveFile(std::filesystem::path folder, std::string rootName,
             std::chrono::milliseconds lockWait = kDefaultLockWait);

    // The hive as it is now: empty when there is no file yet, or when the
    // file was corrupt (it is then set aside when the folder allows).
    // ERROR_CANTREAD when the file is there but cannot be read.
    LSTATUS Read(RegistryHive& hive) const;

    // Under the writers' lock: reads the hive, lets `change` work on it and,
    // when `change` succeeds and says it changed something, writes it. The
    // result is `change`'s, or why the hive could not be read or written.
    // `what` names the change for the stop points (see below).
    using Change = std::function<LSTATUS(RegistryHive& hive, bool& changed)>;
    LSTATUS Update(const Change& change, std::string_view what) const;

    // Makes the last replacement of the file outlast a power cut.
    LSTATUS Flush() const;

    // Whether a change could be written: the folder is there, or can be
    // made, and can be written.
    bool Writable() const;

    std::filesystem::path File() const;

private:
    std::filesystem::path Sibling(std::string_view suffix) const;
    LSTATUS ReadUnlocked(RegistryHive& hive, bool& corrupt) const;
    LSTATUS SetAside() const;
    LSTATUS WriteWhole(const std::string& text, std::string_view what) const;

    std::filesystem::path folder_;
    std::string rootName_;
    std::chrono::milliseconds lockWait_;
};

// Test hook: with SONDERIK_REGISTRY_STOP_AT set to "partial", "synced" or
// "renamed" (optionally ":<value name>" to pick one change), a write stops
// its own process (SIGSTOP) half-way through the temporary file, once the
// temporary file is on disk, or right after the rename, so that a test can
// kill it there. Unset, nothing stops.
constexpr const char* kRegistryStopAtVariable = "SONDERIK_REGISTRY_STOP_AT";
