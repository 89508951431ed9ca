#include "cli/FileCommands.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "browser/FolderListing.h"
#include "browser/VoiceSearch.h"
#include "cli/Common.h"
#include "containers/ContainerPaths.h"
#include "platform/NoCase.h"
#include "platform/files/WinFiles.h"

int PrintDrives(std::ostream& out, std::ostream& err)
{
    for (const platform::DriveEntry& drive : platform::ListDrives()) {
        out << drive.letter << ": " << drive.type << ' ' << Printable(drive.folder) << '\n';
    }
    for (const platform::ShareEntry& share : platform::ListShares()) {
        out << Printable(share.RemoteName()) << ' ' << Printable(share.folder) << '\n';
    }
    return out.flush() ? 0 : Fail(err, "drives", "Cannot write the list");
}

int PrintFolder(const std::string& path, std::ostream& out, std::ostream& err)
{
    // The browser's folder paths end in a separator; the file list appends
    // its patterns to them as they are.
    std::string folder = path;
    const bool windows = platform::IsWindowsPath(folder);
    const char separator = windows ? '\\' : '/';
    if (folder.empty() || folder.back() != separator) {
        folder += separator;
    }
    if (const std::optional<containers::Located> inside = containers::Locate(folder)) {
        // A disk image or an archive is a folder; what it cannot give is said.
        const containers::Listing listing = containers::ListInside(*inside);
        if (!listing.problem.empty()) {
            return Fail(err, path, "Cannot read the folder: " + listing.problem);
        }
        for (const containers::Entry& entry : listing.entries) {
            if (!entry.refused.empty()) {
                err << kProgram << ": " << Printable(folder + entry.name) << ": refused, " << entry.refused << '\n';
            }
        }
    } else {
        const std::optional<std::string> local = platform::ToLocalPath(folder);
        std::error_code ec;
        if (!local || !std::filesystem::is_directory(*local, ec)) {
            return Fail(err, path, "Cannot find the folder");
        }
    }
    for (const std::string& name : browser::ShownSubfolders(folder)) {
        out << "dir " << Printable(name) << '\n';
    }
    for (const std::string& name : browser::ShownVoiceFiles(folder)) {
        out << "file " << Printable(name) << '\n';
    }
    return out.flush() ? 0 : Fail(err, path, "Cannot write the list");
}

int SearchFolder(const std::string& text, const std::string& folder, const std::string& category, bool showInits,
                 std::ostream& out, std::ostream& err)
{
    const std::vector<std::string> codes = browser::CategoryCodes();
    if (!category.empty() && std::none_of(codes.begin(), codes.end(), [&](const std::string& code) {
            return platform::EqualNoCase(code, category);
        })) {
        std::string known;
        for (const std::string& code : codes) {
            known += (known.empty() ? "" : " ") + code;
        }
        err << kProgram << ": --category must be one of " << known << ", not \"" << Printable(category)
            << "\"\nRun '" << kProgram << " --help' for more information.\n";
        return kUsage;
    }
    browser::SearchRequest request;
    request.folder = folder;
    request.text = text;
    request.category = category;
    request.showInits = showInits;
    const browser::SearchResult result = browser::SearchVoices(request);
    if (!result.problem.empty()) {
        return Fail(err, folder, result.problem);
    }
    for (const browser::SearchProblem& problem : result.problems) {
        Fail(err, problem.path, problem.reason);
    }
    for (const browser::VoiceHit& hit : result.hits) {
        out << Printable(hit.file) << '\t' << Printable(std::string(hit.BankNumber())) << '\t'
            << Printable(std::string(hit.Category())) << '\t' << Printable(std::string(hit.Name())) << '\n';
    }
    return out.flush() ? 0 : Fail(err, folder, "Cannot write the list");
}
