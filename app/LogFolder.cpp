#include "app/LogFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

bool UseLogFolder(const std::string& folder, std::string& error)
{
    std::string path = folder;
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            error = "cannot expand ~ in " + folder + ": HOME is not set";
            return false;
        }
        path = std::string(home) + path.substr(1);
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        error = "cannot make the log folder " + path + ": " + ec.message();
        return false;
    }
    std::filesystem::current_path(path, ec);
    if (ec) {
        error = "cannot use the log folder " + path + ": " + ec.message();
        return false;
    }
    return true;
}
