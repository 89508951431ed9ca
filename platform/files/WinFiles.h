#pragma once

// The file services the browser calls, in the shape they have on Windows:
// drive letters and their types, the search of a folder by a wildcard
// pattern, the enumeration of network shares, and global memory blocks.
// On Windows they are the system's own (<windows.h>, <winnetwk.h>), and a
// Windows path is the local path. Elsewhere they stand in over this system's
// folders, as described here.
//
// Drive letters map to folders of this machine (the drive table):
//   C: the home folder and Z: the root folder, both fixed;
//   D: to Y: the file systems mounted under /media/<user>/, /run/media/<user>/
//     and /mnt/, each keeping its letter from run to run (remembered in
//     "drives.txt" of the settings folder); a remembered mount that is absent
//     keeps its letter but has no folder.
//   $SONDERIK_DRIVES ("C=/some/folder;D=/other") replaces the whole table.
// Where the table comes from, for tests: $SONDERIK_MOUNTINFO (a file in the
// form of /proc/self/mountinfo), $SONDERIK_SYSFS (instead of /sys),
// $SONDERIK_GVFS (instead of /run/user/<uid>/gvfs), $SONDERIK_CONFIG_DIR (the
// settings folder, as for the registry).
//
// Every call that takes a path takes a Windows path ("X:\..." or
// "\\SERVER\share\...") and translates it with ResolveWindowsPath below;
// any other text is a path of this system, used as it is ('\' is an ordinary
// character in names here). Names are bytes: nothing is decoded or recoded.
// "Ignoring letter case" means folding A-Z to a-z and comparing bytes.
//
// All calls may be made from any thread. Failures leave their code for
// GetLastError (platform/WinErrors.h).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinErrors.h"
#include "platform/WinTypes.h"
#include "platform/handles.h"

#ifdef _WIN32
#include <winnetwk.h>
#else

using LPVOID = void*;
using LPDWORD = DWORD*;
using LPHANDLE = HANDLE*;
using SIZE_T = std::size_t;

// A search or enumeration handle is never a valid event and the reverse;
// each call checks the handle it is given, so a closed or made-up one fails
// with ERROR_INVALID_HANDLE.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD MAX_PATH = 260;

// ---- drives ----------------------------------------------------------------

constexpr UINT DRIVE_UNKNOWN = 0;       // the folder cannot be examined
constexpr UINT DRIVE_NO_ROOT_DIR = 1;   // no such letter, or no folder behind it
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// `rootPathName` is "X:\" (also "X:" or "x:\"). The type comes from the
// mount table alone; a remote drive's folder is never touched, so a dead
// network mount cannot block the caller.
UINT GetDriveTypeA(LPCSTR rootPathName);

// ---- file search -----------------------------------------------------------

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;   // the caller cannot write it
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;     // its name starts with a dot
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;     // never set here
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;  // a folder, or a link to one
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;    // never set here
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x00000040;     // never set here
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;     // none of the others

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;    // the last status change: this system keeps no creation time
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];   // the name's bytes, NUL-terminated
    CHAR cAlternateFileName[14];  // always empty
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// `fileName` is a folder path followed by a pattern: the last component,
// with '*' (any bytes) and '?' (one byte), compared ignoring letter case;
// "*.*" matches every name, with or without a dot. "." and ".." are
// reported first in a folder other than a drive's or share's root. A link
// counts as what it points to; a dangling link, and a name that a Windows
// path cannot name (one holding '\'), are not reported.
// Failures: INVALID_HANDLE_VALUE with ERROR_PATH_NOT_FOUND (the folder is not
// there), ERROR_FILE_NOT_FOUND (nothing matches), ERROR_ACCESS_DENIED (the
// folder cannot be read), ERROR_INVALID_NAME (a wildcard before the last
// component), ERROR_INVALID_PARAMETER (a null argument).
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData);
// FALSE with ERROR_NO_MORE_FILES after the last match.
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData);
BOOL FindClose(HANDLE findFile);

// ---- network ---------------------------------------------------------------
//
// This system knows the network shares that are mounted, not the machines of
// the network: the enumeration lists the servers of the mounted shares
// (cifs, smb3, nfs, nfs4 and fuse.sshfs lines of the mount table, and the
// desktop's SMB folders "smb-share:server=S,share=X" in the gvfs folder).

constexpr DWORD RESOURCE_CONNECTED = 0x00000001;
constexpr DWORD RESOURCE_GLOBALNET = 0x00000002;
constexpr DWORD RESOURCE_REMEMBERED = 0x00000003;
constexpr DWORD RESOURCE_RECENT = 0x00000004;
constexpr DWORD RESOURCE_CONTEXT = 0x00000005;

constexpr DWORD RESOURCETYPE_ANY = 0x00000000;
constexpr DWORD RESOURCETYPE_DISK = 0x00000001;
constexpr DWORD RESOURCETYPE_PRINT = 0x00000002;
constexpr DWORD RESOURCETYPE_RESERVED = 0x00000008;
constexpr DWORD RESOURCETYPE_UNKNOWN = 0xFFFFFFFF;

constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 0x00000001;
constexpr DWORD RESOURCEUSAGE_CONTAINER = 0x00000002;
constexpr DWORD RESOURCEUSAGE_NOLOCALDEVICE = 0x00000004;
constexpr DWORD RESOURCEUSAGE_SIBLING = 0x00000008;
constexpr DWORD RESOURCEUSAGE_ATTACHED = 0x00000010;
constexpr DWORD RESOURCEUSAGE_ALL = RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_ATTACHED;
constexpr DWORD RESOURCEUSAGE_RESERVED = 0x80000000;

constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0x00000000;
constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 0x00000001;
constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 0x00000002;
constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 0x00000003;
constexpr DWORD RESOURCEDISPLAYTYPE_FILE = 0x00000004;
constexpr DWORD RESOURCEDISPLAYTYPE_GROUP = 0x00000005;
constexpr DWORD RESOURCEDISPLAYTYPE_NETWORK = 0x00000006;
constexpr DWORD RESOURCEDISPLAYTYPE_ROOT = 0x00000007;
constexpr DWORD RESOURCEDISPLAYTYPE_SHAREADMIN = 0x00000008;
constexpr DWORD RESOURCEDISPLAYTYPE_DIRECTORY = 0x00000009;
constexpr DWORD RESOURCEDISPLAYTYPE_TREE = 0x0000000A;
constexpr DWORD RESOURCEDISPLAYTYPE_NDSCONTAINER = 0x0000000B;

struct NETRESOURCEA {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    LPSTR lpLocalName;    // "D:" when the share has a drive letter, else null
    LPSTR lpRemoteName;   // "\\SERVER" or "\\SERVER\share"
    LPSTR lpComment;      // where the share is mounted
    LPSTR lpProvider;     // the kind of mount ("cifs", "nfs", "fuse.sshfs", "gvfs smb")
};
using LPNETRESOURCEA = NETRESOURCEA*;

// RESOURCE_CONTEXT (no container): one record per server, display type
// server, usage container, remote name "\\SERVER". RESOURCE_GLOBALNET under
// such a server record: its shares, display type share, usage connectable,
// remote name "\\SERVER\share"; with no container, the servers again.
// RESOURCE_CONNECTED and RESOURCE_REMEMBERED: every share. A container that
// is not a server fails with ERROR_NOT_CONTAINER (a share) or
// ERROR_BAD_NETPATH (an unknown server).
DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA netResource, LPHANDLE enumHandle);
// Packs as many of the remaining records as `*count` asks for (0xFFFFFFFF:
// all) and fit in `*bufferSize` bytes into `buffer`: the records first, their
// strings after them. Returns NO_ERROR with `*count` set to the number packed;
// ERROR_NO_MORE_ITEMS when none remain; ERROR_MORE_DATA with the size the
// next record needs in `*bufferSize` when not even one fits. What does not
// fit is left for the next call.
DWORD WNetEnumResourceA(HANDLE enumHandle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize);
DWORD WNetCloseEnum(HANDLE enumHandle);

// ---- global memory ---------------------------------------------------------

using HGLOBAL = void*;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;  // accepted; the block never moves here
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Null, with ERROR_NOT_ENOUGH_MEMORY, when the block cannot be had.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Null when freed; the block itself, with ERROR_INVALID_HANDLE, when it is not
// a live block of GlobalAlloc.
HGLOBAL GlobalFree(HGLOBAL memory);

#endif  // _WIN32

// ---- this system's side ----------------------------------------------------

namespace platform {

// Whether `path` is a Windows path: it starts with a drive ("X:\", "X:" alone)
// or with "\\".
bool IsWindowsPath(std::string_view path);

// The path of this system that a Windows path names: the letter's folder (or
// the folder where "\\SERVER\share" is mounted), then each component resolved
// against the entries on disk: an exact match first, else, of the entries
// that match ignoring letter case, the first in byte order. '\' separates
// components, empty components and "." are dropped, ".." never climbs above
// the drive's or share's folder. Every component must exist.
// Not found: nullopt, with ERROR_PATH_NOT_FOUND (a folder on the way, or the
// drive), ERROR_FILE_NOT_FOUND (the last component), ERROR_BAD_NETPATH (no
// such server or share mounted), ERROR_INVALID_NAME (not a Windows path).
// On Windows the path itself, once the system finds it there, with the
// system's error when it does not.
std::optional<std::string> ResolveWindowsPath(std::string_view windowsPath);

// A path for opening: a Windows path resolved as above, anything else as it is.
// On Windows every path is the system's own, and is taken as it is.
std::optional<std::string> ToLocalPath(std::string_view path);

// The Windows path that names a path of this system (made absolute): the
// letter whose folder holds it most closely, then its names; a folder ends
// in '\'. Nothing when no letter's folder holds it, or a name holds a '\'.
// On Windows the system's full path of it, '/' written as '\'; nothing when
// the system cannot make one.
std::optional<std::string> ToWindowsPath(std::string_view localPath);

// The drive table as GetDriveTypeA sees it, in letter order; letters that are
// only reserved are left out. On Windows the system's drives, each with its
// root ("C:\") for a folder.
struct DriveEntry {
    char letter;          // 'A' to 'Z'
    UINT type;            // DRIVE_*
    std::string folder;
};
std::vector<DriveEntry> ListDrives();

// The mounted network shares, ordered by remote name ignoring letter case.
// On Windows the connected disk resources of the network; one without a
// drive letter has its remote name for a folder.
struct ShareEntry {
    std::string server;
    std::string share;
    std::string folder;   // where it is mounted
    char letter;          // its drive letter, or 0
    std::string provider;
    std::string RemoteName() const { return "\\\\" + server + "\\" + share; }
};
std::vector<ShareEntry> ListShares();

}  // namespace platform
