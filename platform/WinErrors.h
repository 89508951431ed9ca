#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#ifndef _WIN32

// The system error codes the Windows-shaped calls return or leave for
// GetLastError, with their Windows numbers. They are signed, as the registry
// returns them; the non-negative constants compare cleanly with the DWORD
// results of the other calls.
using LONG = std::int32_t;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG NO_ERROR = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_BAD_NETPATH = 53;
constexpr LONG ERROR_BAD_NET_NAME = 67;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INVALID_NAME = 123;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_DIRECTORY = 267;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_NOT_CONTAINER = 1207;
constexpr LONG ERROR_NO_NETWORK = 1222;
constexpr LONG ERROR_TIMEOUT = 1460;

// The calling thread's last error, as the calls that report failure by a
// null, FALSE or INVALID_HANDLE_VALUE result leave it.
namespace platform::detail {
inline thread_local DWORD lastError = 0;
}

inline DWORD GetLastError()
{
    return platform::detail::lastError;
}

inline void SetLastError(DWORD error)
{
    platform::detail::lastError = error;
}
#endif  // on Windows <windows.h> has them all
