// GetDriveTypeA and the table as the command line lists it.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>

#include "platform/NoCase.h"
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
                if (platform::EqualNoCase(share.server, rest.substr(0, cut)) &&
                    platform::EqualNoCase(share.share, rest.substr(cut + 1))) {
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

namespace {

// A drive's folder as the path it is held against is written: links resolved.
std::filesystem::path Canonical(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, ec);
    return ec ? std::filesystem::path(folder).lexically_normal() : resolved;
}

}  // namespace

std::optional<std::string> ToWindowsPath(std::string_view localPath)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(std::filesystem::absolute(localPath, ec), ec);
    if (ec) {
        return std::nullopt;
    }
    // The drive whose folder holds the path most closely: a stick mounted
    // under the home folder is its own letter, not C:.
    const std::shared_ptr<const files::DriveTable> table = files::CurrentDriveTable();
    std::optional<std::size_t> best;
    std::size_t bestDepth = 0;
    for (std::size_t i = 0; i < table->slots.size(); ++i) {
        const files::DriveSlot& slot = table->slots[i];
        if (!slot.present || slot.folder.empty()) {
            continue;
        }
        const std::filesystem::path folder = Canonical(slot.folder);
        const auto [end, unused] = std::mismatch(folder.begin(), folder.end(), absolute.begin(), absolute.end());
        const std::size_t depth = static_cast<std::size_t>(std::distance(folder.begin(), end));
        const bool holds = end == folder.end() || (std::next(end) == folder.end() && end->empty());
        if (holds && (!best || depth > bestDepth)) {
            best = i;
            bestDepth = depth;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    const std::filesystem::path folder = Canonical(table->slots[*best].folder);
    const std::filesystem::path rest = absolute.lexically_relative(folder);
    std::string windows{static_cast<char>('A' + *best), ':', '\\'};
    for (const std::filesystem::path& part : rest) {
        const std::string name = part.string();
        if (name.empty() || name == ".") {
            continue;
        }
        if (name.find('\\') != std::string::npos) {
            return std::nullopt;  // a Windows path cannot name it
        }
        windows += name + '\\';
    }
    if (!std::filesystem::is_directory(absolute, ec) && windows.size() > 3) {
        windows.pop_back();
    }
    return windows;
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
