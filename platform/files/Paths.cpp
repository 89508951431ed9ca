#include "platform/files/Paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/files/DriveTable.h"
#include "platform/files/WinFiles.h"
#include "platform/NoCase.h"

namespace platform::files {

namespace {

std::vector<std::string_view> Components(std::string_view text)
{
    std::vector<std::string_view> components;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || IsSeparator(text[i])) {
            components.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return components;
}

std::string Join(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

// The entry of `folder` that `name` stands for: the entry of that very name,
// else the first in byte order of those equal to it ignoring letter case.
// Upper-case letters sort before lower-case ones, so when the name in upper
// case is there, it is that first one: the common case of an old medium's
// VOICES that the tree shows as Voices costs no listing of the folder.
std::optional<std::string> FindEntry(const std::string& folder, std::string_view name)
{
    std::string exact = Join(folder, name);
    struct stat status {};
    if (::lstat(exact.c_str(), &status) == 0) {
        return exact;
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    std::string upper(name);
    for (char& c : upper) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
    }
    if (upper != name) {
        std::string shouted = Join(folder, upper);
        if (::lstat(shouted.c_str(), &status) == 0) {
            return shouted;
        }
    }
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view candidate = entry->d_name;
        if (!platform::EqualNoCase(candidate, name)) {
            continue;
        }
        if (!best || std::lexicographical_compare(
                         candidate.begin(), candidate.end(), best->begin(), best->end(),
                         [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); })) {
            best = std::string(candidate);
        }
    }
    ::closedir(listing);
    if (!best) {
        return std::nullopt;
    }
    return Join(folder, *best);
}

}  // namespace

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

namespace {

// The folder that the path's drive or share stands for, and the components
// after it; nothing, with the error set, when neither is there.
std::optional<std::string> RootFolder(std::string_view windowsPath, std::vector<std::string_view>& components,
                                      DWORD& error)
{
    const std::shared_ptr<const DriveTable> table = CurrentDriveTable();
    components = Components(windowsPath.substr(2));
    if (!IsSeparator(windowsPath[0])) {
        const DriveSlot& slot = table->slots[static_cast<std::size_t>((windowsPath[0] & ~0x20) - 'A')];
        if (!slot.present) {
            error = ERROR_PATH_NOT_FOUND;
            return std::nullopt;
        }
        return slot.folder;
    }
    if (components.size() < 2 || components[0].empty() || components[1].empty()) {
        error = ERROR_BAD_NETPATH;
        return std::nullopt;
    }
    const std::vector<Share> shares = CurrentShares(*table, CurrentDriveSources());
    auto share = std::find_if(shares.begin(), shares.end(), [&](const Share& s) {
        return platform::EqualNoCase(s.server, components[0]) && platform::EqualNoCase(s.share, components[1]);
    });
    if (share == shares.end()) {
        error = ERROR_BAD_NETPATH;
        return std::nullopt;
    }
    components.erase(components.begin(), components.begin() + 2);
    return share->folder;
}

// The names to look up: empty components and "." dropped, ".." taking back
// the name before it and never climbing above the root.
std::vector<std::string_view> Names(const std::vector<std::string_view>& components)
{
    std::vector<std::string_view> names;
    for (std::string_view component : components) {
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
            continue;
        }
        names.push_back(component);
    }
    return names;
}

}  // namespace

std::optional<LocalFolder> Resolve(std::string_view windowsPath, bool allFolders, DWORD& error)
{
    if (!platform::IsWindowsPath(windowsPath) || windowsPath.find('\0') != std::string_view::npos) {
        error = ERROR_INVALID_NAME;
        return std::nullopt;
    }
    std::vector<std::string_view> components;
    const std::optional<std::string> folder = RootFolder(windowsPath, components, error);
    if (!folder) {
        return std::nullopt;
    }
    const bool endsInSeparator = !components.empty() && components.back().empty();
    const std::vector<std::string_view> names = Names(components);

    LocalFolder resolved{*folder, names.empty()};
    // Mostly every name is spelled as on disk: one look at the whole path.
    if (!names.empty()) {
        std::string whole = *folder;
        for (std::string_view name : names) {
            whole = Join(whole, name);
        }
        struct stat status {};
        if (::lstat(whole.c_str(), &status) == 0) {
            resolved.path = std::move(whole);
            return resolved;
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::optional<std::string> entry = FindEntry(resolved.path, names[i]);
        if (!entry) {
            const bool last = i + 1 == names.size();
            error = (last && !allFolders && !endsInSeparator) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return std::nullopt;
        }
        resolved.path = std::move(*entry);
    }
    return resolved;
}

}  // namespace platform::files

namespace platform {

std::optional<std::string> ResolveWindowsPath(std::string_view windowsPath)
{
    DWORD error = 0;
    std::optional<files::LocalFolder> resolved = files::Resolve(windowsPath, false, error);
    if (!resolved) {
        SetLastError(error);
        return std::nullopt;
    }
    return std::move(resolved->path);
}

std::optional<std::string> ToLocalPath(std::string_view path)
{
    if (IsWindowsPath(path)) {
        return ResolveWindowsPath(path);
    }
    return std::string(path);
}

}  // namespace platform
