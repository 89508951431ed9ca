#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files/WinFiles.h"
#include "tests/support/TempDir.h"

namespace {

std::string WithBackslashes(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The drives are the system's: every letter it has, with the type it gives,
// rooted at the letter itself.
TEST(DrivesWinTest, TheSystemsDrivesAreListedWithTheirTypes)
{
    const std::vector<platform::DriveEntry> drives = platform::ListDrives();
    const auto c =
        std::find_if(drives.begin(), drives.end(), [](const platform::DriveEntry& d) { return d.letter == 'C'; });
    ASSERT_NE(drives.end(), c);
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), c->type);
    EXPECT_EQ("C:\\", c->folder);
    const auto byLetter = [](const platform::DriveEntry& a, const platform::DriveEntry& b) { return a.letter < b.letter; };
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end(), byLetter));
    for (const platform::DriveEntry& drive : drives) {
        EXPECT_EQ(GetDriveTypeA(drive.folder.c_str()), drive.type) << drive.letter;
        EXPECT_NE(static_cast<UINT>(DRIVE_NO_ROOT_DIR), drive.type) << drive.letter;
    }
}

// A Windows path is the local path: found as it is written, whatever its
// letter case, and missing with the system's own error.
TEST(DrivesWinTest, AWindowsPathIsTheLocalPath)
{
    const TempDir dir;
    std::filesystem::create_directory(dir.Path() / "Bank");
    std::ofstream(dir.Path() / "Bank" / "Voices.S1V") << "x";
    const std::string folder = WithBackslashes(dir.Path().string());
    const std::string shouted = folder + "\\BANK\\VOICES.S1V";
    EXPECT_EQ(std::optional<std::string>(shouted), platform::ResolveWindowsPath(shouted));
    EXPECT_EQ(std::optional<std::string>(shouted), platform::ToLocalPath(shouted));

    EXPECT_EQ(std::nullopt, platform::ResolveWindowsPath(folder + "\\Bank\\none.s1v"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(std::nullopt, platform::ResolveWindowsPath(folder + "\\Gone\\none.s1v"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(std::nullopt, platform::ResolveWindowsPath("Bank\\Voices.S1V"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
}

TEST(DrivesWinTest, APathIsMadeWholeWithAFolderEndingInABackslash)
{
    const TempDir dir;
    std::filesystem::create_directory(dir.Path() / "Bank");
    std::ofstream(dir.Path() / "Bank" / "a.s1v") << "x";
    const std::string folder = WithBackslashes(dir.Path().string());
    const std::string forward = dir.Path().generic_string();
    EXPECT_EQ(std::optional<std::string>(folder + "\\Bank\\"), platform::ToWindowsPath(forward + "/Bank"));
    EXPECT_EQ(std::optional<std::string>(folder + "\\Bank\\a.s1v"),
              platform::ToWindowsPath(forward + "/Bank/./a.s1v"));
    EXPECT_EQ(std::optional<std::string>("C:\\"), platform::ToWindowsPath("C:\\"));
}

}  // namespace
