#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/Cli.h"
#include "tests/support/CliRun.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"

namespace {

TEST(CliFolderTest, ShowsSubfoldersAsTheTreeThenVoiceFilesAsTheList)
{
    FileWorld world;
    const std::filesystem::path music = world.Folder("c/Music");
    for (const char* name : {"alpha.s1y", "BETA.S1V", "gamma.s1a", "notes.txt"}) {
        std::ofstream(music / name) << "x";
    }
    world.Folder("c/Music/VOICES");
    world.Folder("c/Music/bank.s1a");
    ScopedEnv drives("SONDERIK_DRIVES", "C=" + (world.Root() / "c").string());

    const std::string expected =
        "dir bank.s1a\ndir Voices\nfile alpha.s1y\nfile bank.s1a\nfile BETA.S1V\nfile gamma.s1a\n";
    for (const char* path : {"C:\\Music\\", "c:\\MUSIC"}) {
        const CliRun run = Cli({"folder", path});
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_EQ(expected, run.out) << path;
    }
    EXPECT_EQ(expected, Cli({"folder", music.string()}).out);

    const CliRun gone = Cli({"folder", "C:\\Gone\\"});
    EXPECT_EQ(1, gone.status);
    EXPECT_EQ("", gone.out);
    EXPECT_EQ("sonderik-cli: C:\\Gone\\: Cannot find the folder\n", gone.err);
    EXPECT_EQ(1, Cli({"folder", "C:\\Music\\notes.txt"}).status);
}

TEST(CliFolderTest, ANameWithALineBreakStaysOneLine)
{
    FileWorld world;
    world.Folder("c/two\nlines");
    std::ofstream(world.Root() / "c" / "tab\there.s1v") << "x";
    ScopedEnv drives("SONDERIK_DRIVES", "C=" + (world.Root() / "c").string());
    EXPECT_EQ("dir two?lines\nfile tab?here.s1v\n", Cli({"folder", "C:\\"}).out);
}

TEST(CliDrivesTest, ListsDrivesInLetterOrderThenShares)
{
    FileWorld world;
    const std::filesystem::path share = world.Folder("share");
    world.Mounts({FileWorld::Mount("/", "ext4", "/dev/sda1"),
                  FileWorld::Mount("/media/" + FileWorld::User() + "/STICK", "vfat", "/dev/sdb1"),
                  FileWorld::Mount(share.string(), "cifs", "//BOX/Voices")});
    const CliRun run = Cli({"drives"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("C: 3 " + world.Home().string() + "\nD: 3 /media/" + FileWorld::User() + "/STICK\nZ: 3 /\n" +
                  "\\\\BOX\\Voices " + share.string() + "\n",
              run.out);
}

}  // namespace
