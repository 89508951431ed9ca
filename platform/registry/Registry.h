#pragma once

#ifdef _WIN32
// The system's own registry, from <windows.h> (advapi32).
#include "platform/WinErrors.h"
#else

// The registry calls the program makes, with the names, numbers and results
// it expects of them. Each predefined root is kept in one text file of its
// own in the user's config folder (see RegistryFile.h), so every key, even
// one under HKEY_LOCAL_MACHINE, belongs to the user who runs the program.
//
// Handles are not shared between threads; any number of threads and
// processes may use the same roots at once. A handle is released with
// RegCloseKey exactly once.

#include <cstdint>

#include "platform/WinErrors.h"

using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using LSTATUS = LONG;
using REGSAM = DWORD;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPCSTR = const char*;
using LPSTR = char*;

struct HKEY__;                  // an open key, owned by the caller until closed
using HKEY = HKEY__*;
using PHKEY = HKEY*;

struct SECURITY_ATTRIBUTES;     // accepted and ignored: a file has its owner's rights
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Predefined roots: sign-extended 32-bit numbers, never opened or closed.
inline HKEY PredefinedRegistryRoot(std::uint32_t code)
{
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(code)));
}
inline const HKEY HKEY_CLASSES_ROOT = PredefinedRegistryRoot(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = PredefinedRegistryRoot(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = PredefinedRegistryRoot(0x80000002u);
inline const HKEY HKEY_USERS = PredefinedRegistryRoot(0x80000003u);
inline const HKEY HKEY_PERFORMANCE_DATA = PredefinedRegistryRoot(0x80000004u);  // not kept: invalid here
inline const HKEY HKEY_CURRENT_CONFIG = PredefinedRegistryRoot(0x80000005u);

// Value types. Data of any type is kept byte for byte as it was set.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;                  // text and its terminating NUL
constexpr DWORD REG_EXPAND_SZ = 2;           // the same; never expanded here
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;               // 4 bytes, least significant first
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Access rights asked for when a key is opened or created.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM SYNCHRONIZE = 0x00100000;
constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_ALL = 0x001F0000;
constexpr REGSAM KEY_READ =
    (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;  // 0x20019
constexpr REGSAM KEY_WRITE = (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;  // 0x20006
constexpr REGSAM KEY_EXECUTE = KEY_READ & ~SYNCHRONIZE;
constexpr REGSAM KEY_ALL_ACCESS = (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                   KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &
                                  ~SYNCHRONIZE;  // 0xF003F

// Options of RegCreateKeyExA and what it did.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;  // the only kind kept here
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results: the codes of platform/WinErrors.h. What each means here:
// ERROR_FILE_NOT_FOUND no such key, or no such value; ERROR_ACCESS_DENIED the
// handle lacks the right, or the folder cannot be written; ERROR_INVALID_HANDLE
// a null handle or a root that is not kept; ERROR_INVALID_PARAMETER reserved
// not zero, a missing out-pointer, an unknown option; ERROR_BAD_PATHNAME an
// empty part or control character in a key path; ERROR_MORE_DATA the buffer
// is too small, the size needed is returned; ERROR_CANTREAD the root's file is
// there but cannot be read; ERROR_CANTWRITE the root's file could not be
// written, it is as it was; ERROR_REGISTRY_CORRUPT the root's file cannot be
// parsed and cannot be set aside; ERROR_KEY_DELETED the key has gone since it
// was opened; ERROR_TIMEOUT another process held the root's file too long.

// Opens an existing key below `key` (a root or an open key); an empty or
// null `subKey` opens `key` again. Asking for a right to change the key
// in a folder that cannot be written is refused with ERROR_ACCESS_DENIED.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);

// Opens the key, creating it and its missing parents first. `keyClass` and
// `security` are not kept. `disposition`, when given, says which it did.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM desired,
                        LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);

// Reads a value (a null or empty name is the key's default value). An open
// key reads its root's file at its first read, and again only after it has
// written its own changes: so the values read through one handle all come
// from one change, never from two saves of another program. With
// `data` null only the type and, when `dataSize` is given, the size are
// returned. A buffer smaller than the data gives ERROR_MORE_DATA with the
// size needed in *dataSize and the buffer untouched. Text is returned as
// stored: it may lack its NUL.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);

// Sets a value. Through an open key the value is gathered, with the key's
// other changes, until RegFlushKey or RegCloseKey writes them all as one
// change of the root's file, so that no reader ever sees some of them
// without the rest; reads through the same handle see them at once. Through
// a predefined root it is written at once. Either way the root's file is
// re-read under its lock at the write, so changes other processes made
// meanwhile to other values are kept, and it is replaced whole, never torn.
// ERROR_KEY_DELETED when the key has gone; ERROR_CANTWRITE when what the
// handle has gathered would pass the largest file the store keeps.
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);

// Writes what the key has gathered (kept, for another try, when that fails)
// and makes the last replacement of the root's file outlast a power cut. A
// written file is always on disk before it replaces the old one.
LSTATUS RegFlushKey(HKEY key);

// Writes what the key has gathered and releases the handle, whether or not
// the write succeeded: the result is the write's.
LSTATUS RegCloseKey(HKEY key);
#endif  // _WIN32
