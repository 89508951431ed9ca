#include "instrument/LogFolder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "instrument/Jobs.h"
#include "platform/system/System.h"

std::filesystem::path ExpandLogFolder(const std::string& requested)
{
    if (requested == "~") {
        return platform::HomeFolder();
    }
    if (requested.rfind("~/", 0) == 0) {
        const std::filesystem::path home = platform::HomeFolder();
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
