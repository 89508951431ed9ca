#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"

// Typed values in one registry key. No handle is held: every call opens the
// key, does its one read or write and closes it again. Reads that fail give
// the caller's default, writes that fail return false and leave the stored
// value as it was; nothing is reported beyond that.
class RegistryKey {
public:
    // The longest text that is written or read back.
    static constexpr std::size_t kMaxString = 254;

    RegistryKey() = default;

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

    HKEY RootKey() const { return rootKey_; }
    const std::string& KeyPath() const { return keyPath_; }
    // When false, every successful change is forced to disk at once.
    bool LazyWrite() const { return lazyWrite_; }
    void SetLazyWrite(bool lazy) { lazyWrite_ = lazy; }

private:
    HKEY Open(REGSAM access) const;
    bool Finish(HKEY key, LSTATUS status) const;

    HKEY rootKey_ = HKEY_CURRENT_USER;
    bool lazyWrite_ = true;
    std::string keyPath_;
};
