// GetDriveTypeA and the table as the command line lists it.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/files/DriveTable.h"
#include "platform/files/Paths.h"
#include "platform/files/WinFiles.h"

namespace {

using platform::files::DriveSlot;

UINT TypeOf(const DriveSlot& slot)
{
    if (!slot.present) {
        return DRIVE_NO_ROOT_DIR;
    }
    if (!slot.examine) {
        return slot.type;
    }
    struct stat status {};
    if (::stat(slot.folder.c_str(), &status) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? DRIVE_NO_ROOT_DIR : DRIVE_UNKNOWN;
    }
    return S_ISDIR(status.st_mode) ? slot.type : DRIVE_NO_ROOT_DIR;
}

}  // namespace

UINT GetDriveTypeA(LPCSTR rootPathName)
{
    using namespace platform::files;
    if (rootPathName == nullptr) {
        return DRIVE_NO_ROOT_DIR;
    }
    const std::string_view root = rootPathName;
    const bool letter = root.size() >= 2 && ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z')) &&
                        root[1] == ':' && (root.size() == 2 || (root.size() == 3 && IsSeparator(root[2])));
    if (letter) {
        const std::shared_ptr<const DriveTable> table = CurrentDriveTable();
        return TypeOf(table->slots[static_cast<std::size_t>((root[0] & ~0x20) - 'A')]);
    }
    // "\\SERVER\share\": remote when that share is mounted; never touched.
    if (root.size() > 2 && IsSeparator(root[0]) && IsSeparator(root[1])) {
        std::string_view rest = root.substr(2);
        while (!rest.empty() && IsSeparator(rest.back())) {
            rest.remove_suffix(1);
        }
        const std::size_t cut = rest.find_first_of("\\/");
        if (cut != std::string_view::npos && rest.find_first_of("\\/", cut + 1) == std::string_view::npos) {
            const std::shared_ptr<const DriveTable> table = CurrentDriveTable();
            for (const Share& share : CurrentShares(*table, CurrentDriveSources())) {
                if (CompareFolded(share.server, rest.substr(0, cut)) == 0 &&
                    CompareFolded(share.share, rest.substr(cut + 1)) == 0) {
                    return DRIVE_REMOTE;
                }
            }
        }
    }
    return DRIVE_NO_ROOT_DIR;
}

namespace platform {

std::vector<DriveEntry> ListDrives()
{
    const std::shared_ptr<const files::DriveTable> table = files::CurrentDriveTable();
    std::vector<DriveEntry> drives;
    for (std::size_t i = 0; i < table->slots.size(); ++i) {
        const files::DriveSlot& slot = table->slots[i];
        if (slot.present) {
            drives.push_back(DriveEntry{static_cast<char>('A' + i), TypeOf(slot), slot.folder});
        }
    }
    return drives;
}

std::vector<ShareEntry> ListShares()
{
    const std::shared_ptr<const files::DriveTable> table = files::CurrentDriveTable();
    std::vector<ShareEntry> shares;
    for (files::Share& share : files::CurrentShares(*table, files::CurrentDriveSources())) {
        const char letter = files::LetterOfFolder(*table, share.folder);
        shares.push_back(ShareEntry{std::move(share.server), std::move(share.share), std::move(share.folder), letter,
                                    std::move(share.provider)});
    }
    return shares;
}

}  // namespace platform
