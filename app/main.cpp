// sonderik: the window. --version and --help are answered before any window
// system is touched, so they work without a display.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsPlace.h"
#include "app/SonderikApp.h"
#include "instrument/LogFolder.h"
#include "platform/files/WinFiles.h"
#include "platform/ui/WindowSystem.h"

#ifndef SONDERIK_VERSION
#define SONDERIK_VERSION ""
#endif

namespace {

constexpr const char* kUsage =
    "Usage: sonderik [--log-dir DIR] [FILE | FOLDER] [--version] [--help]\n"
    "\n"
    "Browse EX5, EX5R and EX7 voice files, list their voices and send one to the\n"
    "instrument with a double-click. Given a voice file (or a folder), the window\n"
    "opens there and lists its voices, instead of at the folder of the last run.\n"
    "\n"
    "  --log-dir DIR  write Sonderik.log into DIR (default: the current folder);\n"
    "                 a leading ~/ is your home folder; DIR is made if missing\n"
    "  --version      print the version and exit\n"
    "  --help         print this help and exit\n"
    "\n"
    "Settings are stored, in ";

constexpr const char* kUsageEnd =
    ".\nSONDERIK_VIRTUAL_EX5 sets up the built-in instrument. Without a display,\n"
    "use sonderik-cli.\n";

std::string Usage() { return kUsage + SettingsPlaceHelp() + kUsageEnd; }

}  // namespace

int main(int argc, char** argv)
{
    std::string logDir;
    std::vector<std::string> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s\n", SONDERIK_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(Usage().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(arg, "--log-dir") == 0 || std::strncmp(arg, "--log-dir=", 10) == 0) {
            if (arg[9] == '=') {
                logDir = arg + 10;
            } else if (i + 1 < argc) {
                logDir = argv[++i];
            } else {
                std::fprintf(stderr, "sonderik: --log-dir needs a folder\n%s", Usage().c_str());
                return 2;
            }
            if (logDir.empty()) {
                std::fprintf(stderr, "sonderik: --log-dir needs a folder\n");
                return 2;
            }
            continue;
        }
        if (std::strncmp(arg, "--", 2) == 0) {
            std::fprintf(stderr, "sonderik: unknown option %s\n%s", arg, Usage().c_str());
            return 2;
        }
        rest.emplace_back(arg);  // the window system's own options, or what to open
    }
    ui::WindowSystem windows(rest, "Sonderik", SONDERIK_VERSION);
    // What the window system did not take is the file or folder to open.
    std::string open;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i][0] == '-' || !open.empty()) {
            std::fprintf(stderr, "sonderik: one file or folder at most, and no other argument: %s\n%s",
                         rest[i].c_str(), Usage().c_str());
            return 2;
        }
        open = rest[i];
    }
    // Named from the folder it was started in.
    std::error_code ec;
    if (!open.empty() && !platform::IsWindowsPath(open)) {
        open = std::filesystem::absolute(open, ec).string();
    }
    std::filesystem::path logFolder;
    if (!logDir.empty()) {
        std::string error;
        const std::optional<std::filesystem::path> made = MakeLogFolder(logDir, error);
        if (!made) {
            std::fprintf(stderr, "sonderik: %s\n", error.c_str());
            return 1;
        }
        logFolder = *made;
    }
    CSonderikApp app(open, logFolder.string());
    // The dialog is modal and runs its own loop: once it has closed, the
    // program ends.
    app.InitInstance();
    return 0;
}
