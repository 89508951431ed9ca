#include "platform/files/WinFiles.h"

// Not built yet: every call fails as Windows would without the service.

UINT GetDriveTypeA(LPCSTR)
{
    return DRIVE_NO_ROOT_DIR;
}

HANDLE FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA)
{
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE, LPWIN32_FIND_DATAA)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL FindClose(HANDLE)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD WNetOpenEnumA(DWORD, DWORD, DWORD, LPNETRESOURCEA, LPHANDLE)
{
    return ERROR_NO_NETWORK;
}

DWORD WNetEnumResourceA(HANDLE, LPDWORD, LPVOID, LPDWORD)
{
    return ERROR_INVALID_HANDLE;
}

DWORD WNetCloseEnum(HANDLE)
{
    return ERROR_INVALID_HANDLE;
}

HGLOBAL GlobalAlloc(UINT, SIZE_T)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    return memory;
}

namespace platform {

bool IsWindowsPath(std::string_view path)
{
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return true;
    }
    const bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter && path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] == '\\');
}

std::optional<std::string> ResolveWindowsPath(std::string_view)
{
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
}

std::optional<std::string> ToLocalPath(std::string_view path)
{
    if (IsWindowsPath(path)) {
        return ResolveWindowsPath(path);
    }
    return std::string(path);
}

std::vector<DriveEntry> ListDrives()
{
    return {};
}

std::vector<ShareEntry> ListShares()
{
    return {};
}

void LimitGlobalAlloc(SIZE_T)
{
}

}  // namespace platform
