#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/Settings.h"
#include "tests/support/CliRun.h"
#include "tests/support/FileWorld.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/VoiceFileBuilder.h"

namespace {

// One line per voice: the file, then the list's own line with its bank-number
// first, the name padded exactly as `list` prints it; nothing at all when
// nothing is found.
TEST(CliSearchTest, PrintsEachVoiceFoundAsTheListPrintsItBehindItsFile)
{
    FileWorld world;
    const ScopedEnv drives("SONDERIK_DRIVES", "C=" + world.Folder("c").string());
    const ScopedEnv cache("SONDERIK_CACHE_DIR", (world.Root() / "cache").string());
    const std::filesystem::path voices = world.Folder("c/Voices/Set 2");
    VoiceFileBuilder().Voice(12, "Dust Pad", 12).Voice(140, "dusty\tkeys", 1).Write((voices / "b.s1v").string(),
                                                                                   VoiceFileBuilder::Kind::S1v);
    std::ofstream(voices / "short.s1v") << "x";

    const CliRun run = Cli({"search", "DUST", "C:\\voices\\"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("C:\\voices\\Set 2\\b.s1v\tI1-013\tPd\tDust Pad    \n"
              "C:\\voices\\Set 2\\b.s1v\tI2-013\tPf\tdusty?keys  \n",
              run.out);
    EXPECT_NE(std::string::npos, Cli({"list", (voices / "b.s1v").string()}).out.find("Pd\tI1-013\tDust Pad    \n"));
    EXPECT_EQ("sonderik-cli: C:\\voices\\Set 2\\short.s1v: Voice file ends before its voice bank is complete\n",
              run.err);

    // A path of this system is shown by its drive letter.
    EXPECT_EQ("C:\\Voices\\Set 2\\b.s1v\tI1-013\tPd\tDust Pad    \n",
              Cli({"search", "dust", (world.Root() / "c" / "Voices").string(), "--category", "PD"}).out);

    const CliRun none = Cli({"search", "no such voice", "C:\\Voices"});
    EXPECT_EQ(0, none.status);
    EXPECT_EQ("", none.out);

    const CliRun gone = Cli({"search", "dust", "C:\\Gone\\"});
    EXPECT_EQ(1, gone.status);
    EXPECT_EQ("sonderik-cli: C:\\Gone\\: Cannot find the folder\n", gone.err);

    const CliRun code = Cli({"search", "dust", "C:\\Voices", "--category", "Qq"});
    EXPECT_EQ(2, code.status);
    EXPECT_NE(std::string::npos, code.err.find("--category must be one of xx Pf Cp")) << code.err;

    // Without FOLDER: the window's folder, or a word that there is none.
    const CliRun unset = Cli({"search", "dust"});
    EXPECT_EQ(1, unset.status);
    EXPECT_NE(std::string::npos, unset.err.find("No FOLDER given")) << unset.err;
    Settings stored;
    stored.path = "C:\\Voices\\Set 2\\";
    ASSERT_TRUE(SaveSettings(MemorySettings(stored)));
    EXPECT_EQ("C:\\Voices\\Set 2\\b.s1v\tI1-013\tPd\tDust Pad    \n", Cli({"search", "dust pad"}).out);
}

}  // namespace
