#pragma once

// The drive table: which folder of this machine each letter stands for, and
// the network shares that are mounted. Built from the environment, the mount
// table and "drives.txt", and rebuilt only when one of them changes, so a
// path translation costs no more than a look at whether they did.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/files/MountTable.h"

namespace platform::files {

struct DriveSlot {
    bool present = false;       // a folder stands behind the letter
    bool reserved = false;      // remembered for a mount point that is absent
    bool examine = false;       // the folder is looked at before its type is given
    UINT type = 0;              // DRIVE_* when present
    std::string folder;
};

// Where the table comes from: the environment's settings, or a test's.
struct DriveSources {
    bool replaced = false;      // $SONDERIK_DRIVES is set
    std::string drives;         // its value
    std::string mountInfo;      // "/proc/self/mountinfo" or $SONDERIK_MOUNTINFO
    std::string sysfs;          // "/sys" or $SONDERIK_SYSFS
    std::string gvfs;           // "/run/user/<uid>/gvfs" or $SONDERIK_GVFS
    std::string settings;       // the settings folder, where "drives.txt" is kept
    std::string home;
    std::string user;

    bool operator==(const DriveSources&) const = default;
};
DriveSources CurrentDriveSources();

struct DriveTable {
    std::array<DriveSlot, 26> slots;
    std::vector<Share> mountedShares;   // from the mount table, each with its letter in `ShareLetter`
};

// Builds the table from the mount table's text; remembers new letters in
// "drives.txt" of the settings folder when it can.
DriveTable BuildDriveTable(const DriveSources& sources, std::string_view mountInfo);

// The table as it is now (rebuilt when the sources changed).
std::shared_ptr<const DriveTable> CurrentDriveTable();

// Mounted shares, those of the mount table and the gvfs folder's, ordered by
// remote name ignoring letter case; the gvfs folder is read on every call.
std::vector<Share> CurrentShares(const DriveTable& table, const DriveSources& sources);

// The letter whose folder is `folder`, or 0.
char LetterOfFolder(const DriveTable& table, const std::string& folder);

}  // namespace platform::files
