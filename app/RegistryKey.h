#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"

// Typed values in one registry key. Unless a key is held (Hold) no handle
// is kept: every call opens the key, does its one read or write and
// closes it again. Reads that fail give the caller's default, writes that
// fail return false and leave the stored value as it was.
class RegistryKey {
public:
    // The longest text that is written or read back.
    static constexpr std::size_t kMaxString = 254;

    RegistryKey() = default;
    // Releases a held key, whatever becomes of its changes.
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&&) = delete;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Only the four roots a program may use: HKEY_CLASSES_ROOT,
    // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS; anything else is
    // refused and changes nothing.
    bool SetRootKey(HKEY root);
    // Opens (or with `create` makes) the key and remembers its path; an empty
    // path forgets the key without touching the registry.
    bool SetKey(const std::string& path, bool create);

    // The value's type, 0 when the key or the value is missing.
    DWORD GetValueType(const char* name) const;

    // REG_SZ or REG_EXPAND_SZ text of at most kMaxString characters, cut at
    // its first NUL; anything else gives `def`.
    std::string ReadString(const char* name, const std::string& def) const;
    // Up to 4 bytes of any type, least significant first, missing high bytes
    // zero; more than 4 bytes gives `def`.
    std::int32_t ReadInt(const char* name, std::int32_t def) const;
    // ReadInt, nonzero being true.
    bool ReadBool(const char* name, bool def) const;

    // REG_SZ with its NUL; longer text than kMaxString is not written.
    bool WriteString(const char* name, std::string_view text) const;
    // REG_BINARY, exactly 4 bytes, least significant first.
    bool WriteInt(const char* name, std::int32_t value) const;
    bool WriteBool(const char* name, bool value) const;

    // What a held key is for: reading several values that belong together,
    // or changing them.
    enum class Purpose { Read, Change };
    // Opens the key at `path` (for a change: makes it, as SetKey with
    // `create`) and keeps it open until Release. Reads then all see one
    // change of the store, with the writes made since; writes are gathered
    // until Release stores them all as one change, so that no reader ever
    // sees some without the others. The registry's result.
    LSTATUS Hold(const std::string& path, Purpose purpose);
    // Stores what was gathered and closes the held key: the registry's result
    // (ERROR_SUCCESS when none is held).
    LSTATUS Release();

    HKEY RootKey() const { return rootKey_; }
    const std::string& KeyPath() const { return keyPath_; }
    // When false, every successful change is forced to disk at once.
    bool LazyWrite() const { return lazyWrite_; }
    void SetLazyWrite(bool lazy) { lazyWrite_ = lazy; }

private:
    HKEY Open(REGSAM access) const;
    bool Finish(HKEY key, LSTATUS status) const;
    // Lets go of a key Open gave.
    void LetGo(HKEY key) const;

    HKEY rootKey_ = HKEY_CURRENT_USER;
    bool lazyWrite_ = true;
    std::string keyPath_;
    HKEY held_ = nullptr;  // the key kept open from Hold to Release
};
