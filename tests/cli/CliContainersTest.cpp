// The command line over voice files inside disk images and archives that
// outside tools made: every command reads them as it reads the same file
// outside, the broken ones are refused in words, and nothing is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/containers/ContainerFixtures.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempDir.h"
#include "platform/files/WinFiles.h"
#include "tests/support/ScopedEnv.h"

namespace {

// The zeros the fixtures' .s1a and .s1y files start with, before the bank.
constexpr std::size_t kS1aLead = 275244;
constexpr std::size_t kS1yLead = 275116;

struct Inside {
    std::string container;
    std::string file;  // inside, as a Windows path
    std::size_t lead;  // the zeros before the demo bank
};

class CliContainersTest : public ::testing::Test {
protected:
    CliContainersTest()
#ifndef _WIN32
        : drives_("SONDERIK_DRIVES", "C=" + (Root() / "c").string())
#endif
    {
        disks = Root() / "c" / "Disks";
        std::filesystem::create_directories(disks);
        for (const char* name : {"floppy-720.img", "floppy-1440.img", "fat16.img"}) {
            std::filesystem::copy_file(fixtures::Path(name), disks / name);
        }
#ifdef SONDERIK_WITH_ARCHIVE
        for (const char* name : {"voices.zip", "voices.7z", "voices.tar.gz", "bomb.zip"}) {
            std::filesystem::copy_file(fixtures::Path(name), disks / name);
        }
#endif
        demo = fixtures::Bytes(SONDERIK_DEMO_FILE);
    }

    // The Windows path of a place under the disks' folder: "C:\\Disks\\" here,
    // and wherever the system keeps temporary files on Windows.
    std::string Win(const std::string& relative) const
    {
        return platform::ToWindowsPath(disks.string()).value_or("?") + relative;
    }

    // The same file outside any container.
    std::string Outside(std::size_t lead, const std::string& name)
    {
        std::filesystem::create_directories(Root() / "outside");
        const std::filesystem::path path = Root() / "outside" / name;
        std::ofstream(path, std::ios::binary) << std::string(lead, '\0') << demo;
        return path.string();
    }

    // Every file under the test's drive with its size and time: what a command may not change.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> seen;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Root() / "c")) {
            const auto stamp = std::filesystem::last_write_time(entry.path()).time_since_epoch().count();
            seen[entry.path().string()] =
                (entry.is_regular_file() ? std::to_string(entry.file_size()) : "dir") + "@" + std::to_string(stamp);
        }
        return seen;
    }

    std::filesystem::path Root() const { return temp.Path(); }

    TempDir temp;
    std::filesystem::path disks;
    std::string demo;

private:
#ifndef _WIN32
    ScopedEnv drives_;
#endif
};

TEST_F(CliContainersTest, AVoiceFileInsideListsAndExportsAsTheSameFileOutside)
{
    const std::vector<Inside> cases = {
        {"floppy-720.img", "DEMO.S1V", 0},
        {"floppy-720.img", "EX5\\PADS\\My Pads.s1a", kS1aLead},
        {"floppy-1440.img", "factory sets\\VOICES.S1Y", kS1yLead},
        {"fat16.img", "EX5\\DEMO.S1V", 0},
#ifdef SONDERIK_WITH_ARCHIVE
        {"voices.zip", "EX5\\PADS\\My Pads.s1a", kS1aLead},
        {"voices.zip", "Factory Sets\\voices.s1y", kS1yLead},
        {"voices.7z", "DEMO.S1V", 0},
        {"voices.tar.gz", "EX5\\PADS\\My Pads.s1a", kS1aLead},
#endif
    };
    const auto before = Snapshot();
    for (const Inside& c : cases) {
        const std::string name = c.file.substr(c.file.find_last_of('\\') + 1);
        const std::string outside = Outside(c.lead, name);
        const std::string path = Win(c.container + "\\" + c.file);
        const CliRun listed = Cli({"list", path});
        ASSERT_EQ(0, listed.status) << path << ": " << listed.err;
        EXPECT_EQ(Cli({"list", outside}).out, listed.out) << path;

        const std::string fromInside = (Root() / "inside.syx").string();
        const std::string fromOutside = (Root() / "outside.syx").string();
        ASSERT_EQ(0, Cli({"export", path, "I1-002", "-o", fromInside}).status) << path;
        ASSERT_EQ(0, Cli({"export", outside, "I1-002", "-o", fromOutside}).status);
        EXPECT_EQ(fixtures::Bytes(fromOutside), fixtures::Bytes(fromInside)) << path;
    }
    // The same through a path of this system.
    const CliRun local = Cli({"list", (disks / "floppy-720.img" / "EX5" / "PADS" / "My Pads.s1a").string()});
    EXPECT_EQ(0, local.status) << local.err;
    EXPECT_EQ(Cli({"list", Outside(kS1aLead, "My Pads.s1a")}).out, local.out);
    EXPECT_EQ(before, Snapshot());
}

TEST_F(CliContainersTest, ImagesAndArchivesShowAsFoldersWithTheirFoldersAndVoiceFiles)
{
    const CliRun top = Cli({"folder", Win("")});
    ASSERT_EQ(0, top.status) << top.err;
    for (const char* shown : {"dir fat16.img\n", "dir floppy-720.img\n", "dir floppy-1440.img\n"}) {
        EXPECT_NE(std::string::npos, top.out.find(shown)) << top.out;
    }
    EXPECT_EQ("dir Ex5\nfile DEMO.S1V\n", Cli({"folder", Win("floppy-720.img")}).out);
    EXPECT_EQ("file My Pads.s1a\n", Cli({"folder", Win("FLOPPY-720.IMG\\ex5\\pads\\")}).out);
#ifdef SONDERIK_WITH_ARCHIVE
    EXPECT_NE(std::string::npos, top.out.find("dir voices.zip\n")) << top.out;
    EXPECT_EQ("dir Ex5\ndir Factory Sets\nfile DEMO.S1V\n", Cli({"folder", Win("voices.zip\\")}).out);
#endif
    // A file named like an image that is none stays a file, and is no voice file.
    std::ofstream(disks / "notes.img") << "not a disk";
    EXPECT_EQ(std::string::npos, Cli({"folder", Win("")}).out.find("notes.img"));
}

TEST_F(CliContainersTest, BrokenImagesAndArchivesAreRefusedInWordsAndNothingIsWritten)
{
    const std::string image = fixtures::Bytes((disks / "floppy-1440.img").string());
    std::ofstream(disks / "cut.img", std::ios::binary) << image.substr(0, 20000);
    const auto before = Snapshot();

    const CliRun cutFolder = Cli({"folder", Win("cut.img\\EX5\\")});
    EXPECT_EQ(1, cutFolder.status);
    EXPECT_EQ("sonderik-cli: " + Win("cut.img\\EX5\\") + ": Cannot read the folder: the disk image is cut short\n",
              cutFolder.err);
    const CliRun cutFile = Cli({"list", Win("cut.img\\EX5\\PADS\\My Pads.s1a")});
    EXPECT_EQ(1, cutFile.status);
    EXPECT_EQ("", cutFile.out);
    EXPECT_NE(std::string::npos, cutFile.err.find(": Cannot open input file #1: the disk image is cut short"))
        << cutFile.err;

    const CliRun missing = Cli({"list", Win("floppy-720.img\\EX5\\NONE.S1V")});
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("Cannot open input file #1: ")) << missing.err;
    // The image holding a voice is never written over by its export.
    const CliRun over = Cli({"export", Win("floppy-720.img\\DEMO.S1V"), "1", "-o",
                             (disks / "floppy-720.img").string(), "--force"});
    EXPECT_EQ(1, over.status);
    EXPECT_NE(std::string::npos, over.err.find("it is the voice file being read")) << over.err;
    const CliRun folder = Cli({"list", Win("floppy-720.img")});
    EXPECT_EQ(1, folder.status);
    EXPECT_NE(std::string::npos, folder.err.find("Is a folder, not a voice file")) << folder.err;
#ifdef SONDERIK_WITH_ARCHIVE
    const CliRun bomb = Cli({"export", Win("bomb.zip\\ZEROS.S1V"), "1", "-o", "-"});
    EXPECT_EQ(1, bomb.status);
    EXPECT_EQ("", bomb.out);
    EXPECT_NE(std::string::npos, bomb.err.find("Cannot open input file #1: ")) << bomb.err;
#endif
    EXPECT_EQ(before, Snapshot());
}

}  // namespace
