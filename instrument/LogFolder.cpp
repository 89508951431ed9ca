#include "instrument/LogFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "instrument/Jobs.h"

namespace {

std::filesystem::path HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::filesystem::path ExpandLogFolder(const std::string& requested)
{
    if (requested == "~") {
        return HomeFolder();
    }
    if (requested.rfind("~/", 0) == 0) {
        const std::filesystem::path home = HomeFolder();
        if (!home.empty()) {
            return home / requested.substr(2);
        }
    }
    return requested;
}

std::filesystem::path LogFileIn(const std::filesystem::path& folder)
{
    if (folder.empty()) {
        return kLogFileName;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder / kLogFileName;
}

std::string LogFolderProblem(const std::filesystem::path& folder)
{
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            return ec.message();
        }
    }
    if (std::filesystem::is_directory(where / kLogFileName, ec)) {
        return std::string(kLogFileName) + " is a folder there";
    }
    if (::access(where.c_str(), W_OK | X_OK) != 0) {
        return std::strerror(errno);
    }
    const std::filesystem::path log = where / kLogFileName;
    if (std::filesystem::exists(log, ec) && ::access(log.c_str(), W_OK) != 0) {
        return std::strerror(errno);
    }
    return {};
}
