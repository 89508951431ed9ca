#include "instrument/LogFolder.h"

#include <system_error>

#include "instrument/Jobs.h"
#include "platform/files/Descriptor.h"
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
    if (std::string problem = platform::files::WriteProblem(where); !problem.empty()) {
        return problem;
    }
    const std::filesystem::path log = where / kLogFileName;
    return std::filesystem::exists(log, ec) ? platform::files::WriteProblem(log) : std::string();
}
