#include "browser/FolderListing.h"

#include <algorithm>

#include "browser/BrowserNames.h"
#include "containers/ContainerPaths.h"
#include "platform/files/Patterns.h"
#include "platform/files/WinFiles.h"

namespace browser {

namespace {

bool IsDotEntry(const char* name)
{
    return std::string_view(name) == "." || std::string_view(name) == "..";
}

// Calls `take` for every entry of a search other than "." and "..".
template <typename Take>
void Search(const std::string& pattern, Take take)
{
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!IsDotEntry(found.cFileName)) {
            take(found);
        }
    } while (FindNextFileA(search, &found) != FALSE);
    FindClose(search);
}

// The entries of a folder inside a disk image or an archive that are not
// refused, each kind in the container's order.
template <typename Take>
void ListContained(const containers::Located& folder, Take take)
{
    for (const containers::Entry& entry : containers::ListInside(folder).entries) {
        if (entry.refused.empty()) {
            take(entry);
        }
    }
}

// A disk image or an archive found in a folder is shown as a folder.
bool IsContainerFile(std::string_view folderPath, const char* name)
{
    if (!containers::MayBeContainer(name)) {
        return false;
    }
    const std::optional<std::string> local = platform::ToLocalPath(std::string(folderPath) + name);
    return local && containers::ContainerKindOf(*local).has_value();
}

}  // namespace

std::vector<std::string> FindSubfolders(std::string_view folderPath)
{
    std::vector<std::string> names;
    if (const std::optional<containers::Located> inside = containers::Locate(folderPath)) {
        ListContained(*inside, [&](const containers::Entry& entry) {
            if (entry.folder) {
                names.push_back(entry.name);
            }
        });
        return names;
    }
    Search(std::string(folderPath) + "*.*", [&](const WIN32_FIND_DATAA& entry) {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsContainerFile(folderPath, entry.cFileName)) {
            names.emplace_back(entry.cFileName);
        }
    });
    return names;
}

std::vector<std::string> FindVoiceFiles(std::string_view folderPath)
{
    std::vector<std::string> names;
    if (const std::optional<containers::Located> inside = containers::Locate(folderPath)) {
        std::vector<containers::Entry> found;
        ListContained(*inside, [&](const containers::Entry& entry) { found.push_back(entry); });
        for (std::string_view pattern : kVoiceFilePatterns) {
            for (const containers::Entry& entry : found) {
                if (platform::files::MatchesPattern(entry.name, pattern)) {
                    names.push_back(entry.name);
                }
            }
        }
        return names;
    }
    for (std::string_view pattern : kVoiceFilePatterns) {
        Search(std::string(folderPath) + std::string(pattern),
               [&](const WIN32_FIND_DATAA& entry) { names.emplace_back(entry.cFileName); });
    }
    return names;
}

std::vector<std::string> ShownSubfolders(std::string_view folderPath)
{
    std::vector<std::string> shown;
    for (const std::string& name : FindSubfolders(folderPath)) {
        shown.push_back(GetDisplayName(name));
    }
    std::sort(shown.begin(), shown.end(), ShownBefore);
    return shown;
}

std::vector<std::string> ShownVoiceFiles(std::string_view folderPath)
{
    std::vector<std::string> names = FindVoiceFiles(folderPath);
    std::sort(names.begin(), names.end(), ShownBefore);
    return names;
}

std::string ListingProblem(std::string_view folderPath)
{
    if (const std::optional<containers::Located> inside = containers::Locate(folderPath)) {
        const std::string problem = containers::ListInside(*inside).problem;
        return problem.empty() ? problem : "cannot be read: " + problem;
    }
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((std::string(folderPath) + "*.*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return {};
    }
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
        return "cannot be read: permission denied";
    case ERROR_PATH_NOT_FOUND:
        return "is not there any more";
    case ERROR_FILE_NOT_FOUND:
        return {};  // nothing in it
    default:
        return "cannot be read";
    }
}

}  // namespace browser
