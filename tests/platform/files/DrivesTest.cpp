#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/files/WinFiles.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

std::string Drive(char letter)
{
    return std::string{letter, ':', '\\'};
}

std::string MediaOf(const std::string& name)
{
    return "/media/" + FileWorld::User() + "/" + name;
}

struct TypeCase {
    const char* fsType;
    bool removableDevice;
    UINT expected;
};

void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.fsType; }

class MountTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(MountTypeTest, ComesFromTheMountTable)
{
    const TypeCase& c = GetParam();
    FileWorld world;
    if (c.removableDevice) {
        world.RemovableDevice("8:17");
    }
    // The mount point does not exist: a mount's type never needs its folder.
    world.Mounts({FileWorld::Mount("/", "ext4", "/dev/sda1", "8:1"),
                  FileWorld::Mount(MediaOf("THING"), c.fsType, "/dev/sdb1", "8:17")});
    EXPECT_EQ(c.expected, GetDriveTypeA(Drive('D').c_str()));
}

INSTANTIATE_TEST_SUITE_P(Types, MountTypeTest,
                         ::testing::Values(TypeCase{"ext4", false, DRIVE_FIXED}, TypeCase{"vfat", true, DRIVE_REMOVABLE},
                                           TypeCase{"iso9660", false, DRIVE_CDROM}, TypeCase{"udf", true, DRIVE_CDROM},
                                           TypeCase{"nfs4", false, DRIVE_REMOTE}, TypeCase{"cifs", false, DRIVE_REMOTE},
                                           TypeCase{"fuse.sshfs", false, DRIVE_REMOTE},
                                           TypeCase{"tmpfs", false, DRIVE_RAMDISK}));

TEST(DriveTableTest, HomeIsCRootIsZAndUserMountsTakeLettersFromD)
{
    FileWorld world;
    world.Mounts({FileWorld::Mount("/", "ext4", "/dev/sda1"), FileWorld::Mount("/boot", "ext4", "/dev/sda2"),
                  FileWorld::Mount(MediaOf("STICK"), "vfat", "/dev/sdb1"),
                  FileWorld::Mount("/mnt/my\\040disk", "ext4", "/dev/sdc1"),
                  FileWorld::Mount("/media/someone-else/X", "vfat", "/dev/sdd1")});

    const std::vector<platform::DriveEntry> drives = platform::ListDrives();
    ASSERT_EQ(4u, drives.size());
    EXPECT_EQ('C', drives[0].letter);
    EXPECT_EQ(world.Home().string(), drives[0].folder);
    EXPECT_EQ(DRIVE_FIXED, drives[0].type);
    EXPECT_EQ('D', drives[1].letter);
    EXPECT_EQ(MediaOf("STICK"), drives[1].folder);
    EXPECT_EQ('E', drives[2].letter);
    EXPECT_EQ("/mnt/my disk", drives[2].folder);
    EXPECT_EQ('Z', drives[3].letter);
    EXPECT_EQ("/", drives[3].folder);
    EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA("Z:\\"));
    EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA("c:"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("F:\\"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("A:\\"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("nonsense"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA(nullptr));
}

TEST(DriveTableTest, AMountKeepsItsLetterAcrossRunsAndAnAbsentOneKeepsItReserved)
{
    FileWorld world;
    world.Mounts({FileWorld::Mount(MediaOf("ONE"), "vfat", "/dev/sdb1"),
                  FileWorld::Mount(MediaOf("TWO"), "vfat", "/dev/sdc1")});
    ASSERT_EQ(DRIVE_FIXED, GetDriveTypeA("E:\\"));

    // Next run: ONE is gone, THREE is new, TWO has moved up in the table.
    world.Mounts({FileWorld::Mount(MediaOf("THREE"), "vfat", "/dev/sdd1"),
                  FileWorld::Mount(MediaOf("TWO"), "vfat", "/dev/sdc1")});
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("D:\\"));  // reserved for ONE
    std::vector<platform::DriveEntry> drives = platform::ListDrives();
    ASSERT_EQ(4u, drives.size());
    EXPECT_EQ('E', drives[1].letter);
    EXPECT_EQ(MediaOf("TWO"), drives[1].folder);
    EXPECT_EQ('F', drives[2].letter);
    EXPECT_EQ(MediaOf("THREE"), drives[2].folder);

    // A saved path through D: does not lead onto another stick.
    EXPECT_FALSE(platform::ResolveWindowsPath("D:\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    // ONE comes back and finds its letter.
    world.Mounts({FileWorld::Mount(MediaOf("ONE"), "vfat", "/dev/sdb1")});
    drives = platform::ListDrives();
    ASSERT_EQ(3u, drives.size());
    EXPECT_EQ('D', drives[1].letter);
    EXPECT_EQ(MediaOf("ONE"), drives[1].folder);
    const std::string remembered = ConfigFolder::Contents(world.DrivesFile());
    EXPECT_NE(std::string::npos, remembered.find("D=" + MediaOf("ONE") + "\n"));
    EXPECT_NE(std::string::npos, remembered.find("E=" + MediaOf("TWO") + "\n"));
    EXPECT_NE(std::string::npos, remembered.find("F=" + MediaOf("THREE") + "\n"));
}

TEST(DriveTableTest, TheLettersFileIsReadAsWrittenByAnotherRun)
{
    FileWorld world;
    ConfigFolder::Put(world.DrivesFile(), "# kept\nG=/mnt/my\\040disk\nq=/mnt/lower\nC=/ignored\nbroken line\n");
    world.Mounts({FileWorld::Mount("/mnt/new", "ext4", "/dev/sdb1"), FileWorld::Mount("/mnt/lower", "ext4", "/dev/sdc1"),
                  FileWorld::Mount("/mnt/my\\040disk", "ext4", "/dev/sdd1")});
    const std::vector<platform::DriveEntry> drives = platform::ListDrives();
    ASSERT_EQ(5u, drives.size());
    EXPECT_EQ('D', drives[1].letter);
    EXPECT_EQ("/mnt/new", drives[1].folder);
    EXPECT_EQ('G', drives[2].letter);
    EXPECT_EQ("/mnt/my disk", drives[2].folder);
    EXPECT_EQ('Q', drives[3].letter);
}

TEST(DriveTableTest, SonderikDrivesReplacesTheWholeTable)
{
    FileWorld world;
    const std::filesystem::path music = world.Folder("music");
    const std::filesystem::path share = world.Folder("share-mount");
    world.Mounts({FileWorld::Mount(MediaOf("STICK"), "vfat", "/dev/sdb1"),
                  FileWorld::Mount(share.string(), "cifs", "//box/voices")});
    // R's folder does not exist, yet R: is remote: a folder on a network
    // mount is never looked at, as a dead server would block whoever does.
    const std::string drives = "C=" + music.string() + ";d=" + (world.Root() / "missing").string() +
                               ";R=" + (share / "sub").string() + ";bad;X=";
    ScopedEnv table("SONDERIK_DRIVES", drives);

    EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA("C:\\"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("D:\\"));
    EXPECT_EQ(DRIVE_REMOTE, GetDriveTypeA("R:\\"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("Z:\\"));
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("X:\\"));
    EXPECT_EQ(music.string(), platform::ResolveWindowsPath("C:\\").value_or(""));
    EXPECT_FALSE(std::filesystem::exists(world.DrivesFile()));
}

TEST(DriveTableTest, AHomeFolderThatCannotBeFoundHasNoRoot)
{
    FileWorld world;
    ScopedEnv home("HOME", (world.Root() / "gone").string());
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("C:\\"));
}

}  // namespace

TEST(DriveTableTest, APathOfThisSystemIsNamedByTheLetterThatHoldsItMostClosely)
{
    const TempDir dir;
    const std::filesystem::path home = dir.Path() / "home";
    std::filesystem::create_directories(home / "stick" / "VOICES");
    std::filesystem::create_directories(home / "Music");
    std::ofstream(home / "stick" / "VOICES" / "BANK1.S1V") << "x";
    const ScopedEnv drives("SONDERIK_DRIVES", "C=" + home.string() + ";D=" + (home / "stick").string());
    EXPECT_EQ("D:\\VOICES\\BANK1.S1V", platform::ToWindowsPath((home / "stick/VOICES/BANK1.S1V").string()));
    EXPECT_EQ("C:\\Music\\", platform::ToWindowsPath((home / "Music").string()));
    EXPECT_EQ("C:\\Music\\", platform::ToWindowsPath((home / "stick/../Music/").string()));
    EXPECT_EQ("C:\\", platform::ToWindowsPath(home.string()));
    EXPECT_EQ(std::nullopt, platform::ToWindowsPath(dir.Path().string())) << "no letter holds it";
    std::ofstream(home / "Music" / "a\\b.s1v") << "x";
    EXPECT_EQ(std::nullopt, platform::ToWindowsPath((home / "Music" / "a\\b.s1v").string()));
    // Each Windows path names the same file again.
    EXPECT_EQ((home / "stick/VOICES/BANK1.S1V").string(), platform::ToLocalPath("D:\\VOICES\\BANK1.S1V"));
}
