#include "app/RegistryKey.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

bool RegistryKey::SetRootKey(HKEY root)
{
    if (root != HKEY_CLASSES_ROOT && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) {
        return false;
    }
    rootKey_ = root;
    return true;
}

bool RegistryKey::SetKey(const std::string& path, bool create)
{
    if (path.empty()) {
        keyPath_.clear();
        return true;
    }
    HKEY key = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExA(rootKey_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr)
               : RegOpenKeyExA(rootKey_, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    keyPath_ = path;
    return Finish(key, ERROR_SUCCESS);
}

RegistryKey::~RegistryKey() { Release(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : rootKey_(other.rootKey_), lazyWrite_(other.lazyWrite_), keyPath_(std::move(other.keyPath_)),
      held_(std::exchange(other.held_, nullptr))
{
}

LSTATUS RegistryKey::Hold(const std::string& path, Purpose purpose)
{
    Release();
    HKEY key = nullptr;
    const LSTATUS status = purpose == Purpose::Change
                               ? RegCreateKeyExA(rootKey_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr)
                               : RegOpenKeyExA(rootKey_, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        keyPath_ = path;
        held_ = key;
    }
    return status;
}

LSTATUS RegistryKey::Release()
{
    return held_ != nullptr ? RegCloseKey(std::exchange(held_, nullptr)) : ERROR_SUCCESS;
}

HKEY RegistryKey::Open(REGSAM access) const
{
    if (held_ != nullptr) {
        return held_;
    }
    HKEY key = nullptr;
    return RegOpenKeyExA(rootKey_, keyPath_.c_str(), 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

void RegistryKey::LetGo(HKEY key) const
{
    if (key != held_) {
        RegCloseKey(key);
    }
}

// Flushes a successful change when writes are not lazy, and lets the key go.
bool RegistryKey::Finish(HKEY key, LSTATUS status) const
{
    if (status == ERROR_SUCCESS && !lazyWrite_) {
        RegFlushKey(key);
    }
    LetGo(key);
    return status == ERROR_SUCCESS;
}

DWORD RegistryKey::GetValueType(const char* name) const
{
    const HKEY key = Open(KEY_QUERY_VALUE);
    if (key == nullptr) {
        return REG_NONE;
    }
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
        type = REG_NONE;
    }
    LetGo(key);
    return type;
}

std::string RegistryKey::ReadString(const char* name, const std::string& def) const
{
    if (!IsText(GetValueType(name))) {
        return def;
    }
    const HKEY key = Open(KEY_READ);
    if (key == nullptr) {
        return def;
    }
    std::array<BYTE, kMaxString + 1> buffer{};
    DWORD size = buffer.size();
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size);
    LetGo(key);
    // The type is asked again: the value may have changed between the calls.
    if (status != ERROR_SUCCESS || !IsText(type)) {
        return def;
    }
    // Text stored without its NUL is taken as it stands, as long as it is
    // short enough to have had one in the buffer.
    const auto end = std::find(buffer.begin(), buffer.begin() + size, BYTE{0});
    if (end == buffer.begin() + buffer.size()) {
        return def;
    }
    return std::string(buffer.begin(), end);
}

std::int32_t RegistryKey::ReadInt(const char* name, std::int32_t def) const
{
    const HKEY key = Open(KEY_READ);
    if (key == nullptr) {
        return def;
    }
    std::array<BYTE, 4> bytes{};
    DWORD size = bytes.size();
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, nullptr, bytes.data(), &size);
    LetGo(key);
    if (status != ERROR_SUCCESS) {
        return def;
    }
    const std::uint32_t value = bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
                                (std::uint32_t{bytes[3]} << 24);
    return static_cast<std::int32_t>(value);
}

bool RegistryKey::ReadBool(const char* name, bool def) const { return ReadInt(name, def ? 1 : 0) != 0; }

bool RegistryKey::WriteString(const char* name, std::string_view text) const
{
    if (text.size() > kMaxString) {
        return false;
    }
    const HKEY key = Open(KEY_WRITE);
    if (key == nullptr) {
        return false;
    }
    std::string data(text);
    data.push_back('\0');
    const LSTATUS status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                         static_cast<DWORD>(data.size()));
    return Finish(key, status);
}

bool RegistryKey::WriteInt(const char* name, std::int32_t value) const
{
    const HKEY key = Open(KEY_WRITE);
    if (key == nullptr) {
        return false;
    }
    const auto v = static_cast<std::uint32_t>(value);
    const std::array<BYTE, 4> bytes = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                                       static_cast<BYTE>(v >> 24)};
    return Finish(key, RegSetValueExA(key, name, 0, REG_BINARY, bytes.data(), bytes.size()));
}

bool RegistryKey::WriteBool(const char* name, bool value) const { return WriteInt(name, value ? 1 : 0); }
