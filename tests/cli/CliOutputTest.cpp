#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/Cli.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where `export` writes: the bank in one folder, the output in another, so
// that a stray temporary file shows as an extra name there.
class ExportOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bank = DemoBank();
        bankFile = dir.File("bank.s1v");
        bank.Write(bankFile, VoiceFileBuilder::Kind::S1v);
        out = dir.Path() / "out";
        fs::create_directory(out);
    }

    std::string Message(int voice) const
    {
        EX5Patch patch("AssemblPatch", 0);
        LoadVoice(patch, VoiceListLine(bank.Image(), voice), bank.Image());
        const std::uint8_t* m = patch.Assemble();
        return std::string(reinterpret_cast<const char*>(m), patch.GetMessageLength());
    }

    CliRun Export(const std::string& target, const std::string& voice = "3")
    {
        return Cli({"export", bankFile, voice, "-o", target});
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    VoiceFileBuilder bank;
    std::string bankFile;
    fs::path out;
};

}  // namespace

TEST_F(ExportOutputTest, ARegularFileIsReplacedWholeKeepingItsMode)
{
    const fs::path file = out / "voice.syx";
    std::ofstream(file) << "old contents";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const CliRun run = Export(file.string());
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(Message(3), Contents(file));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
              fs::status(file).permissions());

    const CliRun fresh = Export((out / "new.syx").string());
    EXPECT_EQ(0, fresh.status) << fresh.err;
    EXPECT_EQ(Message(3), Contents(out / "new.syx"));
    EXPECT_NE(fs::perms::none, fs::status(out / "new.syx").permissions() & fs::perms::others_read)
        << "a new file gets the umask's mode, not the temporary file's 0600";
    EXPECT_EQ((std::vector<std::string>{"new.syx", "voice.syx"}), Names());
}

TEST_F(ExportOutputTest, ALinkIsFollowedAndWhatItNamesReplaced)
{
    fs::create_directory(out / "real");
    std::ofstream(out / "real" / "target.syx") << "old";
    fs::create_symlink("real/target.syx", out / "link.syx");
    fs::create_symlink("real/later.syx", out / "dangling.syx");

    EXPECT_EQ(0, Export((out / "link.syx").string()).status);
    EXPECT_TRUE(fs::is_symlink(out / "link.syx"));
    EXPECT_EQ(Message(3), Contents(out / "real" / "target.syx"));

    EXPECT_EQ(0, Export((out / "dangling.syx").string()).status);
    EXPECT_TRUE(fs::is_symlink(out / "dangling.syx"));
    EXPECT_EQ(Message(3), Contents(out / "real" / "later.syx"));
}

TEST_F(ExportOutputTest, ALinkPlantedWhereTheTemporaryFileUsedToBeIsNotWrittenThrough)
{
    std::ofstream(dir.File("victim")) << "precious";
    fs::create_symlink(dir.File("victim"), out / "voice.syx.part");
    EXPECT_EQ(0, Export((out / "voice.syx").string()).status);
    EXPECT_EQ("precious", Contents(dir.File("victim")));
    EXPECT_EQ(Message(3), Contents(out / "voice.syx"));
}

TEST_F(ExportOutputTest, PipesAndDevicesAreWrittenInPlace)
{
    const fs::path fifo = out / "pipe";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    auto reader = std::async(std::launch::async, [&] { return Contents(fifo); });
    // The reader's open may come a moment later; a writer meanwhile is refused.
    CliRun run;
    for (int tries = 0; tries < 200; ++tries) {
        run = Export(fifo.string());
        if (run.status == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(Message(3), reader.get());
    EXPECT_TRUE(fs::is_fifo(fifo));

    const CliRun unread = Export(fifo.string());
    EXPECT_EQ(1, unread.status);
    EXPECT_EQ("sonderik-cli: " + fifo.string() + ": Cannot write the message: nothing is reading from it\n",
              unread.err);

    EXPECT_EQ(0, Export("/dev/null").status);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ((std::vector<std::string>{"pipe"}), Names());
}

TEST_F(ExportOutputTest, FoldersMissingFoldersAndTheVoiceFileItselfAreRefused)
{
    struct Refusal {
        std::string target;
        std::string reason;
    };
    fs::create_symlink(bankFile, out / "bank-link.s1v");
    for (const Refusal& r : {Refusal{out.string(), "it is a folder"},
                             Refusal{(out / "no" / "such.syx").string(), "No such file or directory"},
                             Refusal{bankFile, "it is the voice file being read"},
                             Refusal{(out / "bank-link.s1v").string(), "it is the voice file being read"}}) {
        const CliRun run = Export(r.target);
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("sonderik-cli: " + r.target + ": Cannot write the message: " + r.reason + "\n", run.err);
    }
    const std::string after = Contents(bankFile);
    EXPECT_EQ(bank.FileBytes(VoiceFileBuilder::Kind::S1v), std::vector<std::uint8_t>(after.begin(), after.end()));
    EXPECT_EQ((std::vector<std::string>{"bank-link.s1v"}), Names());
}

TEST_F(ExportOutputTest, AFolderThatCannotBeWrittenIsRefusedAndLeftAsItWas)
{
    std::ofstream(out / "voice.syx") << "old";
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    fs::permissions(dir.Path(), fs::perms::all);
    fs::permissions(bankFile, fs::perms::all);
    // Root writes everywhere, so the export runs as nobody in a child process.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0) {
                std::_Exit(2);
            }
            const CliRun fresh = Export((out / "new.syx").string());
            const CliRun old = Export((out / "voice.syx").string());
            std::_Exit(fresh.err.find("Cannot write the message: Permission denied") != std::string::npos &&
                               old.err.find("Cannot write the message: Permission denied") != std::string::npos
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("old", Contents(out / "voice.syx"));
    EXPECT_EQ((std::vector<std::string>{"voice.syx"}), Names());
}

TEST_F(ExportOutputTest, AnotherUsersFileKeepsItsOwnerAndMode)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    const fs::path file = out / "theirs.syx";
    std::ofstream(file) << "theirs";
    ASSERT_EQ(0, ::chown(file.c_str(), 65534, 65534));
    ASSERT_EQ(0, ::chmod(file.c_str(), 0604));
    EXPECT_EQ(0, Export(file.string()).status);
    struct stat st {};
    ASSERT_EQ(0, ::stat(file.c_str(), &st));
    EXPECT_EQ(65534u, st.st_uid);
    EXPECT_EQ(0604u, st.st_mode & 07777);
    EXPECT_EQ(Message(3), Contents(file));
}

TEST_F(ExportOutputTest, WritersToOneNameAtOnceLeaveOneWholeMessage)
{
    const fs::path file = out / "voice.syx";
    std::vector<std::future<int>> writers;
    for (int i = 0; i < 8; ++i) {
        writers.push_back(std::async(std::launch::async, [&, i] {
            int failures = 0;
            for (int round = 0; round < 10; ++round) {
                failures += Export(file.string(), i % 2 == 0 ? "3" : "4").status != 0 ? 1 : 0;
            }
            return failures;
        }));
    }
    for (auto& w : writers) {
        EXPECT_EQ(0, w.get());
    }
    const std::string written = Contents(file);
    EXPECT_TRUE(written == Message(3) || written == Message(4)) << written.size() << " bytes";
    EXPECT_EQ((std::vector<std::string>{"voice.syx"}), Names());
}

TEST_F(ExportOutputTest, StandardOutputOnATerminalIsRefusedUnlessForced)
{
    const CliRun refused = Cli({"export", bankFile, "3", "-o", "-"}, SystemMidi(), Terminals{true, true});
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("", refused.out);
    EXPECT_NE(std::string::npos, refused.err.find("standard output is a terminal")) << refused.err;
    EXPECT_NE(std::string::npos, refused.err.find("--force")) << refused.err;

    const CliRun forced = Cli({"export", bankFile, "3", "-o", "-", "--force"}, SystemMidi(), Terminals{true, true});
    EXPECT_EQ(0, forced.status);
    EXPECT_EQ(Message(3), forced.out);
}
