// sonderik: the window. --version and --help are answered before any window
// system is touched, so they work without a display.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>

#include "app/SonderikApp.h"
#include "instrument/LogFolder.h"
#include "platform/files/WinFiles.h"

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
    "Settings live in $SONDERIK_CONFIG_DIR, else $XDG_CONFIG_HOME/sonderik, else\n"
    "~/.config/sonderik. SONDERIK_VIRTUAL_EX5 sets up the built-in instrument.\n"
    "Without a display, use sonderik-cli.\n";

}  // namespace

int main(int argc, char** argv)
{
    std::string logDir;
    std::vector<char*> qtArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s\n", SONDERIK_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--log-dir") == 0 || std::strncmp(arg, "--log-dir=", 10) == 0) {
            if (arg[9] == '=') {
                logDir = arg + 10;
            } else if (i + 1 < argc) {
                logDir = argv[++i];
            } else {
                std::fprintf(stderr, "sonderik: --log-dir needs a folder\n%s", kUsage);
                return 2;
            }
            if (logDir.empty()) {
                std::fprintf(stderr, "sonderik: --log-dir needs a folder\n");
                return 2;
            }
            continue;
        }
        if (std::strncmp(arg, "--", 2) == 0) {
            std::fprintf(stderr, "sonderik: unknown option %s\n%s", arg, kUsage);
            return 2;
        }
        qtArgs.push_back(argv[i]);  // the window system's own options
    }
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication application(qtArgc, qtArgs.data());
    QApplication::setApplicationName(QStringLiteral("Sonderik"));
    QApplication::setApplicationVersion(QStringLiteral(SONDERIK_VERSION));
    // What the window system did not take is the file or folder to open.
    std::string open;
    for (int i = 1; i < qtArgc; ++i) {
        if (qtArgs[static_cast<std::size_t>(i)][0] == '-' || !open.empty()) {
            std::fprintf(stderr, "sonderik: one file or folder at most, and no other argument: %s\n%s",
                         qtArgs[static_cast<std::size_t>(i)], kUsage);
            return 2;
        }
        open = qtArgs[static_cast<std::size_t>(i)];
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
    return app.InitInstance() ? application.exec() : 0;
}
