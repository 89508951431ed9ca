#include "instrument/LogFolder.h"

#include <cstdio>
#include <system_error>

#include "instrument/Jobs.h"
#include "platform/files/Descriptor.h"
#include "platform/system/System.h"

std::optional<std::filesystem::path> ExpandLogFolder(const std::string& requested, std::string& error)
{
    if (requested != "~" && requested.rfind("~/", 0) != 0) {
        return requested;
    }
    const std::filesystem::path home = platform::HomeFolder();
    if (home.empty()) {
        error = "cannot expand ~ in " + requested + ": there is no home folder";
        return std::nullopt;
    }
    return requested == "~" ? home : home / requested.substr(2);
}

std::optional<std::filesystem::path> MakeLogFolder(const std::string& requested, std::string& error)
{
    std::optional<std::filesystem::path> folder = ExpandLogFolder(requested, error);
    if (!folder || folder->empty()) {
        return folder;
    }
    std::error_code ec;
    std::filesystem::create_directories(*folder, ec);
    if (ec) {
        error = "cannot make the log folder " + folder->string() + ": " + ec.message();
        return std::nullopt;
    }
    return folder;
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

std::string ShownLogFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    const std::filesystem::path where =
        folder.empty() ? std::filesystem::current_path(ec) : std::filesystem::absolute(folder, ec).lexically_normal();
    if (!ec) {
        return where.string();
    }
    return folder.empty() ? std::string("the current folder") : folder.string();
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
    const std::filesystem::path log = where / kLogFileName;
    if (std::filesystem::is_directory(log, ec)) {
        return std::string(kLogFileName) + " is a folder there";
    }
    if (std::string problem = platform::files::WriteProblem(where); !problem.empty()) {
        return problem;
    }
    return std::filesystem::exists(log, ec) ? platform::files::WriteProblem(log) : std::string();
}

std::FILE* OpenLogIn(const std::filesystem::path& folder, const char* mode)
{
    return std::fopen(LogFileIn(folder).string().c_str(), mode);
}

bool AppendToLog(const std::filesystem::path& folder, const std::string& line)
{
    std::FILE* log = OpenLogIn(folder, "ab");
    if (log == nullptr) {
        return false;
    }
    std::fprintf(log, "Sonderik: %s\r\n", line.c_str());
    return std::fclose(log) == 0;
}
