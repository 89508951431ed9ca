#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "instrument/LogFolder.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

using std::filesystem::path;

#ifdef _WIN32
constexpr const char* kAbsoluteFolder = "C:\\logs\\x";
#else
constexpr const char* kAbsoluteFolder = "/var/log/x";
#endif

// The window's --log-dir at its start: "~" is the home folder, the folder
// is made, and one that cannot be is refused with the reason.
TEST(LogFolderTest, TildeIsHomeAndTheFolderIsMadeOrRefused)
{
    const TempDir dir;
    const ScopedEnv home(kHomeVariable, dir.File("home"));
    std::string error;
    EXPECT_EQ(std::optional<path>(dir.Path() / "home" / "logs/today"), MakeLogFolder("~/logs/today", error));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "home/logs/today"));
    EXPECT_EQ(std::optional<path>(dir.Path() / "home"), ExpandLogFolder("~", error));
    EXPECT_EQ(std::optional<path>("~other/logs"), ExpandLogFolder("~other/logs", error));
    EXPECT_EQ(std::optional<path>(path()), MakeLogFolder("", error)) << "the current folder is there already";

    std::ofstream(dir.File("plain")) << "a file, not a folder";
    EXPECT_FALSE(MakeLogFolder(dir.File("plain/logs"), error));
    EXPECT_EQ(0u, error.rfind("cannot make the log folder " + dir.File("plain/logs") + ": ", 0)) << error;
}

// What the window's status line and the command line name.
TEST(LogFolderTest, IsNamedAbsoluteAndEmptyIsTheCurrentFolder)
{
    const path here = std::filesystem::current_path();
    EXPECT_EQ(here.string(), ShownLogFolder(""));
    EXPECT_EQ((here / "b").string(), ShownLogFolder("a/../b"));
    EXPECT_EQ(kAbsoluteFolder, ShownLogFolder(kAbsoluteFolder));
}

}  // namespace
