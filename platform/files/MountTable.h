#pragma once

// What the drive table and the network enumeration learn from the mount
// table and the desktop's own mounts. Pure functions of their text, apart
// from the removable check, which reads the sysfs folder it is given.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

namespace platform::files {

struct Mount {
    std::string mountPoint;   // unescaped
    std::string fsType;       // with its subtype, as "fuse.sshfs"
    std::string source;       // unescaped
    unsigned major = 0;
    unsigned minor = 0;
};

// mountinfo's escapes: space, control bytes and backslash as \ooo. The drive
// letters' file uses the same.
std::string UnescapeOctal(std::string_view text);
std::string EscapeOctal(std::string_view text);

// The lines of a /proc/self/mountinfo text, in order; lines that do not parse
// are skipped.
std::vector<Mount> ParseMountInfo(std::string_view text);

// The drive type a mount gives: DRIVE_REMOTE, DRIVE_CDROM, DRIVE_RAMDISK from
// its file system type, DRIVE_REMOVABLE when `sysfs`/dev/block/MAJ:MIN (or
// the disk it is a partition of) says "removable", else DRIVE_FIXED.
UINT DriveTypeOfMount(const Mount& mount, const std::string& sysfs);
bool IsRemoteFileSystem(std::string_view fsType);

// A network share as the enumeration lists it.
struct Share {
    std::string server;
    std::string share;
    std::string folder;
    std::string provider;
};

// The share a mount-table line names: cifs and smb3 "//server/share",
// nfs "server:/path", fuse.sshfs "user@host:/path" (the share named by the
// path's last component, or by the mount point's when the path has none).
// Nothing for other mounts, or for names a Windows path cannot carry.
std::optional<Share> ShareOfMount(const Mount& mount);

// The share a gvfs folder "smb-share:server=S,share=X,..." stands for.
std::optional<Share> ShareOfGvfsFolder(std::string_view folderName, const std::string& gvfsFolder);

}  // namespace platform::files
