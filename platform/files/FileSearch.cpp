// FindFirstFileA, FindNextFileA, FindClose.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files/HandleTable.h"
#include "platform/files/Paths.h"
#include "platform/files/WinFiles.h"

namespace {

using platform::files::HandleTable;

// Who the caller is, for telling whether an entry can be written.
struct Caller {
    uid_t user = ::geteuid();
    gid_t group = ::getegid();
    std::vector<gid_t> groups;
    bool readOnlyFileSystem = false;

    bool CanWrite(const struct stat& status) const
    {
        if (readOnlyFileSystem) {
            return false;
        }
        if (user == 0) {
            return true;
        }
        if (status.st_uid == user) {
            return (status.st_mode & S_IWUSR) != 0;
        }
        if (status.st_gid == group || std::find(groups.begin(), groups.end(), status.st_gid) != groups.end()) {
            return (status.st_mode & S_IWGRP) != 0;
        }
        return (status.st_mode & S_IWOTH) != 0;
    }
};

// One search: the names that matched, read whole when it started, and the
// folder kept open to look at each one as it is reported.
struct Search {
    std::mutex lock;
    DIR* folder = nullptr;
    std::vector<std::string> names;
    std::size_t next = 0;
    Caller caller;

    ~Search()
    {
        if (folder != nullptr) {
            ::closedir(folder);
        }
    }

    // Fills `data` with the next name that is still there; false at the end.
    bool Next(WIN32_FIND_DATAA& data)
    {
        while (next < names.size()) {
            const std::string& name = names[next++];
            if (Describe(name, data)) {
                return true;
            }
        }
        return false;
    }

private:
    bool Describe(const std::string& name, WIN32_FIND_DATAA& data) const
    {
        struct stat status {};
        const int fd = ::dirfd(folder);
        if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            return false;  // gone since the folder was read
        }
        // A link counts as what it points to; a dangling one is not reported.
        if (S_ISLNK(status.st_mode) && ::fstatat(fd, name.c_str(), &status, 0) != 0) {
            return false;
        }
        data = WIN32_FIND_DATAA{};
        DWORD attributes = 0;
        if (S_ISDIR(status.st_mode)) {
            attributes |= FILE_ATTRIBUTE_DIRECTORY;
        }
        if (name.front() == '.' && name != "." && name != "..") {
            attributes |= FILE_ATTRIBUTE_HIDDEN;
        }
        if (!caller.CanWrite(status)) {
            attributes |= FILE_ATTRIBUTE_READONLY;
        }
        data.dwFileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
        data.ftCreationTime = FileTime(status.st_ctim);
        data.ftLastAccessTime = FileTime(status.st_atim);
        data.ftLastWriteTime = FileTime(status.st_mtim);
        const auto size = S_ISDIR(status.st_mode) ? std::uint64_t{0} : static_cast<std::uint64_t>(status.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
        std::memcpy(data.cFileName, name.c_str(), name.size() + 1);
        return true;
    }

    // 100-nanosecond steps since 1 January 1601.
    static FILETIME FileTime(const timespec& time)
    {
        constexpr std::int64_t kFrom1601 = 11644473600LL;
        const std::int64_t ticks = (static_cast<std::int64_t>(time.tv_sec) + kFrom1601) * 10000000LL + time.tv_nsec / 100;
        const auto bits = static_cast<std::uint64_t>(ticks < 0 ? 0 : ticks);
        return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
    }
};

HandleTable<Search>& Searches()
{
    static HandleTable<Search> searches;
    return searches;
}

HANDLE Fail(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// Splits a search text into its folder and its pattern, and finds the folder.
bool FolderAndPattern(std::string_view text, std::string& folder, bool& isRoot, std::string& pattern, DWORD& error)
{
    using namespace platform::files;
    if (platform::IsWindowsPath(text)) {
        std::size_t cut = text.size();
        while (cut > 2 && !IsSeparator(text[cut - 1])) {
            --cut;
        }
        if (text[0] != '\\' && cut == 2) {
            cut = 2;  // "C:*.s1v": the drive's folder
        }
        const std::string_view folderPart = text.substr(0, cut);
        pattern = std::string(text.substr(cut));
        if (HasWildcard(folderPart)) {
            error = ERROR_INVALID_NAME;
            return false;
        }
        std::optional<LocalFolder> resolved = Resolve(folderPart, true, error);
        if (!resolved) {
            return false;
        }
        folder = std::move(resolved->path);
        isRoot = resolved->isRoot;
        return true;
    }
    const std::size_t slash = text.rfind('/');
    std::string_view folderPart = text.substr(0, slash == std::string_view::npos ? 0 : slash);
    if (slash == std::string_view::npos) {
        folderPart = ".";
    } else if (slash == 0) {
        folderPart = "/";
    }
    folder = std::string(folderPart);
    pattern = std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
    if (HasWildcard(folder)) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    isRoot = folder == "/";
    return true;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData)
{
    if (fileName == nullptr || findFileData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::string folder;
    std::string pattern;
    bool isRoot = false;
    DWORD error = 0;
    if (!FolderAndPattern(fileName, folder, isRoot, pattern, error)) {
        return Fail(error);
    }
    if (pattern.empty()) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    // O_NONBLOCK: whatever stands there, opening it must not wait.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Fail((errno == ENOENT || errno == ENOTDIR) ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    }
    auto search = std::make_shared<Search>();
    search->folder = ::fdopendir(fd);
    if (search->folder == nullptr) {
        ::close(fd);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    struct statvfs system {};
    search->caller.readOnlyFileSystem = ::fstatvfs(fd, &system) == 0 && (system.f_flag & ST_RDONLY) != 0;
    if (const int count = ::getgroups(0, nullptr); count > 0) {
        search->caller.groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, search->caller.groups.data());
        search->caller.groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }

    if (!isRoot) {
        for (const char* dot : {".", ".."}) {
            if (platform::files::MatchesPattern(dot, pattern)) {
                search->names.emplace_back(dot);
            }
        }
    }
    // A read error part-way ends the listing with what was read.
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(search->folder);
        if (entry == nullptr) {
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || name.find('\\') != std::string_view::npos || name.size() >= MAX_PATH) {
            continue;
        }
        if (platform::files::MatchesPattern(name, pattern)) {
            search->names.emplace_back(name);
        }
    }
    if (!search->Next(*findFileData)) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    return Searches().Add(std::move(search));
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData)
{
    const std::shared_ptr<Search> search = Searches().Find(findFile);
    if (search == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (findFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::lock_guard<std::mutex> hold(search->lock);
    if (!search->Next(*findFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE findFile)
{
    if (Searches().Remove(findFile) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
