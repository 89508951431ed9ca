#include "platform/system/System.h"

#include "platform/WinTypes.h"

#include <fcntl.h>
#include <io.h>
#include <lmcons.h>
#include <userenv.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform {

namespace {

// The longest account name the system allows, with its NUL.
constexpr DWORD kUserNameSize = UNLEN + 1;
// asctime's text is 26 bytes with its NUL.
constexpr std::size_t kDateTextSize = 32;
// The profile folder is asked for with room for the usual path, then once
// more with the room the system said it needs.
constexpr int kFolderAttempts = 2;

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The profile folder of the account this process runs as, asked of the
// system.
std::string AccountProfileFolder()
{
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE) {
        return {};
    }
    std::vector<char> folder(MAX_PATH, '\0');
    bool found = false;
    for (int attempt = 0; attempt < kFolderAttempts && !found; ++attempt) {
        DWORD size = static_cast<DWORD>(folder.size());
        found = GetUserProfileDirectoryA(token, folder.data(), &size) != FALSE;
        if (!found && (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= folder.size())) {
            break;
        }
        if (!found) {
            folder.assign(size, '\0');
        }
    }
    CloseHandle(token);
    return found ? std::string(folder.data()) : std::string();
}

}  // namespace

std::filesystem::path HomeFolder()
{
    if (std::string profile = Variable("USERPROFILE"); !profile.empty()) {
        return profile;
    }
    return AccountProfileFolder();
}

std::string UserName()
{
    char name[kUserNameSize] = {};
    DWORD size = kUserNameSize;
    if (GetUserNameA(name, &size) != FALSE) {
        return name;
    }
    return Variable("USERNAME");
}

std::filesystem::path SettingsFolder()
{
    if (const std::string own = Variable("SONDERIK_CONFIG_DIR"); !own.empty()) {
        return own;
    }
    if (const std::string roaming = Variable("APPDATA"); !roaming.empty()) {
        return std::filesystem::path(roaming) / "Sonderik";
    }
    const std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / "AppData" / "Roaming" / "Sonderik";
}

std::filesystem::path CacheFolder()
{
    if (const std::string own = Variable("SONDERIK_CACHE_DIR"); !own.empty()) {
        return own;
    }
    if (const std::string local = Variable("LOCALAPPDATA"); !local.empty()) {
        return std::filesystem::path(local) / "Sonderik" / "cache";
    }
    const std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / "AppData" / "Local" / "Sonderik" / "cache";
}

std::string LocalDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[kDateTextSize] = {};
    if (::localtime_s(&local, &now) != 0 || ::asctime_s(text, sizeof text, &local) != 0) {
        return "\n";
    }
    return text;
}

bool IsTerminal(StandardStream stream)
{
    return ::_isatty(::_fileno(stream == StandardStream::Output ? stdout : stderr)) != 0;
}

void UseBinaryStandardStreams()
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace platform
