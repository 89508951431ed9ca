#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/NoCase.h"
#include "platform/files/WinFiles.h"

// Windows's own drives, paths and shares: a Windows path is the local path,
// so nothing is translated and no letter case is folded here.

namespace platform {

namespace {

constexpr char kFirstLetter = 'A';
constexpr int kLetters = 26;
// Room for one share's record and its strings; a record that needs more
// says so and the buffer grows to its size.
constexpr DWORD kShareBufferSize = 16384;
// A network provider that never says "no more" must not keep the listing
// going for ever.
constexpr std::size_t kMaxShares = 4096;

// "\\SERVER\share" as its two names; false for any other remote name.
bool SplitRemoteName(std::string_view remote, std::string& server, std::string& share)
{
    if (remote.size() < 2 || remote[0] != '\\' || remote[1] != '\\') {
        return false;
    }
    remote.remove_prefix(2);
    const std::size_t separator = remote.find('\\');
    if (separator == 0 || separator == std::string_view::npos || separator + 1 == remote.size()) {
        return false;
    }
    server = std::string(remote.substr(0, separator));
    share = std::string(remote.substr(separator + 1));
    while (!share.empty() && share.back() == '\\') {
        share.pop_back();
    }
    return !share.empty();
}

std::string Text(LPCSTR text) { return text == nullptr ? std::string() : std::string(text); }

}  // namespace

std::optional<std::string> ResolveWindowsPath(std::string_view windowsPath)
{
    if (!IsWindowsPath(windowsPath) || windowsPath.find('\0') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    std::string path(windowsPath);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;  // the system's own error stays for GetLastError
    }
    return path;
}

std::optional<std::string> ToLocalPath(std::string_view path) { return std::string(path); }

std::optional<std::string> ToWindowsPath(std::string_view localPath)
{
    std::string path(localPath);
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return std::nullopt;
    }
    std::string full(needed, '\0');
    const DWORD written = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return std::nullopt;
    }
    full.resize(written);
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        full.back() != '\\') {
        full += '\\';
    }
    return full;
}

std::vector<DriveEntry> ListDrives()
{
    const DWORD present = GetLogicalDrives();
    std::vector<DriveEntry> drives;
    for (int i = 0; i < kLetters; ++i) {
        if ((present & (DWORD{1} << i)) == 0) {
            continue;
        }
        const char letter = static_cast<char>(kFirstLetter + i);
        const std::string root{letter, ':', '\\'};
        drives.push_back(DriveEntry{letter, GetDriveTypeA(root.c_str()), root});
    }
    return drives;
}

std::vector<ShareEntry> ListShares()
{
    std::vector<ShareEntry> shares;
    HANDLE enumeration = nullptr;
    if (WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, &enumeration) != NO_ERROR) {
        return shares;  // no network, or none the system knows of
    }
    std::vector<unsigned char> buffer(kShareBufferSize);
    while (shares.size() < kMaxShares) {
        DWORD count = 1;
        DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = WNetEnumResourceA(enumeration, &count, buffer.data(), &size);
        if (result == ERROR_MORE_DATA && size > buffer.size()) {
            buffer.resize(size);
            continue;
        }
        if (result != NO_ERROR || count == 0) {
            break;
        }
        const NETRESOURCEA* record = reinterpret_cast<const NETRESOURCEA*>(buffer.data());
        ShareEntry entry{};
        if (!SplitRemoteName(Text(record->lpRemoteName), entry.server, entry.share)) {
            continue;
        }
        const std::string local = Text(record->lpLocalName);
        const bool lettered = local.size() == 2 && local[1] == ':' && IsWindowsPath(local);
        entry.letter = lettered ? static_cast<char>(std::toupper(static_cast<unsigned char>(local[0]))) : '\0';
        entry.folder = lettered ? local + '\\' : entry.RemoteName() + '\\';
        entry.provider = Text(record->lpProvider);
        shares.push_back(std::move(entry));
    }
    WNetCloseEnum(enumeration);
    std::sort(shares.begin(), shares.end(), [](const ShareEntry& a, const ShareEntry& b) {
        return CompareNoCase(a.RemoteName(), b.RemoteName()) < 0;
    });
    return shares;
}

}  // namespace platform
