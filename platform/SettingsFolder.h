#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform {

// The folder of the user's settings, shared by the rooms that keep files
// there (the registry's roots, the drive letters): $SONDERIK_CONFIG_DIR, else
// $XDG_CONFIG_HOME/sonderik (when absolute), else ~/.config/sonderik; empty
// when there is no home folder either.
inline std::filesystem::path SettingsFolder()
{
    if (const char* own = std::getenv("SONDERIK_CONFIG_DIR"); own != nullptr && *own != '\0') {
        return own;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "sonderik";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".config" / "sonderik";
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return std::filesystem::path(found->pw_dir) / ".config" / "sonderik";
    }
    return {};
}

}  // namespace platform
