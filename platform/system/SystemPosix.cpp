#include "platform/system/System.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform {

namespace {

// Room for the account's entry: the size getpwuid_r's manual suggests.
constexpr std::size_t kAccountBufferSize = 16384;
// asctime's text is 26 bytes with its NUL.
constexpr std::size_t kDateTextSize = 32;

struct Account {
    bool found = false;
    std::string name;
    std::string home;
};

Account LookUpAccount()
{
    std::vector<char> buffer(kAccountBufferSize);
    passwd entry{};
    passwd* found = nullptr;
    Account account;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        account.found = true;
        account.name = found->pw_name == nullptr ? "" : found->pw_name;
        account.home = found->pw_dir == nullptr ? "" : found->pw_dir;
    }
    return account;
}

// The account does not change while the program runs, and the drive table
// asks for it at every path it translates: it is looked up once.
const Account& ThisAccount()
{
    static const Account account = LookUpAccount();
    return account;
}

}  // namespace

std::filesystem::path HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    return ThisAccount().home;
}

std::string UserName()
{
    const Account& account = ThisAccount();
    if (account.found) {
        return account.name;
    }
    const char* user = std::getenv("USER");
    return user == nullptr ? std::string() : std::string(user);
}

std::filesystem::path SettingsFolder()
{
    if (const char* own = std::getenv("SONDERIK_CONFIG_DIR"); own != nullptr && *own != '\0') {
        return own;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "sonderik";
    }
    const std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / ".config" / "sonderik";
}

std::filesystem::path CacheFolder()
{
    if (const char* own = std::getenv("SONDERIK_CACHE_DIR"); own != nullptr && *own != '\0') {
        return own;
    }
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "sonderik";
    }
    const std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / ".cache" / "sonderik";
}

std::string LocalDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[kDateTextSize] = {};
    if (::localtime_r(&now, &local) == nullptr || ::asctime_r(&local, text) == nullptr) {
        return "\n";
    }
    return text;
}

bool IsTerminal(StandardStream stream)
{
    return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void UseBinaryStandardStreams() {}  // the streams carry bytes as they are

}  // namespace platform
