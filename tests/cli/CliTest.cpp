#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/Cli.h"
#include "tests/support/CliRun.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        demo = DemoBank();
        demo.Voice(2, "Pad", 12).Element(2, 1, 3);
        demo.Write(dir.File("bank.s1y"), VoiceFileBuilder::Kind::S1y);
        file = dir.File("bank.s1y");
    }

    TempDir dir;
    VoiceFileBuilder demo;
    std::string file;
};

}  // namespace

TEST_F(CliTest, ListPrintsTheListLinesInTheListsOrder)
{
    for (const bool catOrder : {false, true}) {
        for (const bool inits : {false, true}) {
            MemoryVoiceList expected(catOrder);
            FillVoiceList(expected, demo.Image(), inits);
            std::vector<std::string> args = {"list", file};
            if (catOrder) {
                args.push_back("--cat-order");
            }
            if (inits) {
                args.push_back("--show-inits");
            }
            const CliRun run = Cli(args);
            EXPECT_EQ(0, run.status);
            EXPECT_EQ("", run.err);
            EXPECT_EQ(expected.Lines(), Lines(run.out)) << catOrder << inits;
        }
    }
}

TEST_F(CliTest, ListShowsControlCharactersInNamesAsQuestionMarksKeepingOneLinePerVoice)
{
    demo.Voice(5, "a\nb\tc\x1b[", 1);
    demo.Write(file, VoiceFileBuilder::Kind::S1y);
    const CliRun run = Cli({"list", file, "--show-inits"});
    const std::vector<std::string> lines = Lines(run.out);
    MemoryVoiceList expected(false);
    FillVoiceList(expected, demo.Image(), true);
    ASSERT_EQ(expected.Lines().size(), lines.size());
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "Pf\tI1-006\ta?b?c?[     ")) << run.out;
    for (const std::string& line : lines) {
        EXPECT_EQ(2, std::count(line.begin(), line.end(), '\t')) << line;
    }
}

TEST_F(CliTest, ExportWritesTheMessageADoubleClickSends)
{
    EX5Patch patch("AssemblPatch", 0);
    ASSERT_TRUE(LoadVoice(patch, VoiceListLine(demo.Image(), 130), demo.Image()));
    const std::uint8_t* m = patch.Assemble();
    const std::string expected(reinterpret_cast<const char*>(m), patch.GetMessageLength());

    for (const char* voice : {"I2-003", "i2-003", "130"}) {
        const std::string out = dir.File(std::string(voice) + ".syx");
        const CliRun run = Cli({"export", file, voice, "-o", out});
        EXPECT_EQ(0, run.status) << run.err;
        std::ifstream in(out, std::ios::binary);
        EXPECT_EQ(expected, std::string(std::istreambuf_iterator<char>(in), {})) << voice;
    }
    const CliRun toStdout = Cli({"export", file, "I2-003", "-o", "-"});
    EXPECT_EQ(expected, toStdout.out);
}

TEST_F(CliTest, RefusedRequestsSayWhyAndLeaveNoFile)
{
    // Voice 0 is a drum voice; voice 3 has no element at all.
    VoiceFileBuilder b;
    b.Voice(0, "Kit", 17).Voice(3, "Hollow", 4).Element(0, 0, 1);
    b.Write(dir.File("odd.s1v"), VoiceFileBuilder::Kind::S1v);
    const std::string out = dir.File("out.syx");

    const CliRun drum = Cli({"export", dir.File("odd.s1v"), "I1-001", "-o", out});
    EXPECT_EQ(1, drum.status);
    EXPECT_EQ("sonderik-cli: " + dir.File("odd.s1v") + ": Sorry, no drums yet.\n", drum.err);

    const CliRun hollow = Cli({"export", dir.File("odd.s1v"), "3", "-o", out});
    EXPECT_EQ(1, hollow.status);
    EXPECT_NE(std::string::npos,
              hollow.err.find("Problem assembling patch.\nsonderik-cli: voice 3 has no element present in the file\n"))
        << hollow.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    std::filesystem::create_directory(dir.File("folder.s1a"));
    const CliRun folder = Cli({"list", dir.File("folder.s1a")});
    EXPECT_EQ(1, folder.status);
    EXPECT_EQ("sonderik-cli: " + dir.File("folder.s1a") + ": Is a folder, not a voice file\n", folder.err);
    EXPECT_EQ("", folder.out);

    const CliRun unwritable = Cli({"export", file, "1", "-o", dir.File("no/such/folder.syx")});
    EXPECT_EQ(1, unwritable.status);
    EXPECT_NE(std::string::npos, unwritable.err.find("Cannot write the message"));
}

struct UsageCase {
    std::vector<std::string> args;
    int status;
    std::string err;  // the first line on standard error, when there is one
};

void PrintTo(const UsageCase& c, std::ostream* os)
{
    for (const std::string& a : c.args) {
        *os << a << ' ';
    }
}

class CliUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsageTest, SaysWhatIsWrongInOneLineNamingTheProgram)
{
    const CliRun run = Cli(GetParam().args);
    EXPECT_EQ(GetParam().status, run.status) << run.err;
    EXPECT_EQ(GetParam().err, run.err.substr(0, run.err.find('\n')));
    if (run.status == 2) {
        EXPECT_NE(std::string::npos, run.err.find("\nRun 'sonderik-cli --help' for more information.\n")) << run.err;
    }
}

// The system's words for a path through a folder that is not there.
#ifdef _WIN32
const std::string kNoSuchFolder = "Path not found";
#else
const std::string kNoSuchFolder = "No such file or directory";
#endif

const std::string kBadVoice = "sonderik-cli: VOICE must be a bank-number such as I1-005, I1-5 or I2-128, or a voice "
                              "number 0 to 255, not ";

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageTest,
    ::testing::Values(
        UsageCase{{}, 2, "sonderik-cli: A subcommand is required"}, UsageCase{{"--help"}, 0, ""},
        UsageCase{{"--version"}, 0, ""}, UsageCase{{"list"}, 2, "sonderik-cli: FILE is required"},
        UsageCase{{"dance"}, 2,
                  "sonderik-cli: unknown command \"dance\"; the commands are list, export, settings, drives, folder, "
                  "search, ports, identify, send and audition"},
        UsageCase{{"da\x1b[2Jnce"}, 2,
                  "sonderik-cli: unknown command \"da?[2Jnce\"; the commands are list, export, settings, drives, "
                  "folder, search, ports, identify, send and audition"},
        UsageCase{{"list", "a", "b", "c", "d"}, 2, "sonderik-cli: The following arguments were not expected: b c d"},
        UsageCase{{"list", "a", "b"}, 2, "sonderik-cli: The following argument was not expected: b"},
        UsageCase{{"export", "f.s1v", "I1-005"}, 2, "sonderik-cli: --output is required"},
        UsageCase{{"export", "f.s1v", "I3-001", "-o", "x"}, 2, kBadVoice + "\"I3-001\""},
        UsageCase{{"export", "f.s1v", "I1-129", "-o", "x"}, 2, kBadVoice + "\"I1-129\""},
        UsageCase{{"export", "f.s1v", "256", "-o", "x"}, 2, kBadVoice + "\"256\""},
        UsageCase{{"export", "f.s1v", "I1-\n1", "-o", "x"}, 2, kBadVoice + "\"I1-?1\""},
        UsageCase{{"list", "/nonexistent/f.s1v"}, 1,
                  "sonderik-cli: /nonexistent/f.s1v: Cannot open input file #1: " + kNoSuchFolder}));

TEST(CliHelpTest, SaysWhatVoiceNumbersExitCodesSettingsAndTheVirtualInstrumentAre)
{
    const CliRun run = Cli({"--help"});
#ifdef _WIN32
    const char* const settingsPlace = "HKEY_CURRENT_USER\\Software\\Sonderik\\Settings";
#else
    const char* const settingsPlace = "~/.config/sonderik";
#endif
    for (const char* part : {"0 is I1-001", "128 is I2-001", "I1-5", "Exit status: 0", "2 a usage error",
                             settingsPlace, "SONDERIK_VIRTUAL_EX5"}) {
        EXPECT_NE(std::string::npos, run.out.find(part)) << part;
    }
}

TEST(CliVersionTest, PrintsTheVersionText)
{
    const CliRun run = Cli({"--version"});
    EXPECT_EQ("1.0.3\n", run.out);
}

struct VoiceArgCase {
    const char* text;
    int voice;
};

void PrintTo(const VoiceArgCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class VoiceArgumentTest : public ::testing::TestWithParam<VoiceArgCase> {};

TEST_P(VoiceArgumentTest, Parses)
{
    EXPECT_EQ(GetParam().voice, ParseVoiceArgument(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Texts, VoiceArgumentTest,
                         ::testing::Values(VoiceArgCase{"I1-001", 0}, VoiceArgCase{"I1-005", 4},
                                           VoiceArgCase{"i2-128", 255}, VoiceArgCase{"I2-001", 128},
                                           VoiceArgCase{"0", 0}, VoiceArgCase{"255", 255},
                                           VoiceArgCase{"256", -1}, VoiceArgCase{"I1-000", -1},
                                           VoiceArgCase{"I1-5", 4}, VoiceArgCase{"i2-12", 139},
                                           VoiceArgCase{"I1-0005", -1}, VoiceArgCase{"I1-", -1},
                                           VoiceArgCase{"I1-0", -1}, VoiceArgCase{"-1", -1},
                                           VoiceArgCase{"1000", -1}, VoiceArgCase{"", -1}));

TEST(CliSettingsTest, PrintsTheSettingsTheWindowWouldStartWith)
{
    const ConfigFolder config;
    const std::string builtIn = "Path=\nmidiin=-1\nmidiout=-1\ndelay=0\nmididelay=0\ndeviceno=1\nkeepontop=0\n"
                                "midiinname=\nmidioutname=\ncatorder=0\nshowinits=0\nwindow=\n";
    EXPECT_EQ(builtIn, Cli({"settings"}).out);
    EXPECT_EQ(builtIn, Cli({"settings"}).out) << "asking changes nothing";

    MemorySettings firstRun;
    LoadSettings(firstRun);
    const CliRun absent = Cli({"settings"});
    EXPECT_EQ(0, absent.status);
    EXPECT_EQ("Path=C:\\\nmidiin=1\nmidiout=1\ndelay=25\nmididelay=500\ndeviceno=1\nkeepontop=0\nmidiinname=\n"
              "midioutname=\ncatorder=0\nshowinits=0\nwindow=\n",
              absent.out);

    ASSERT_TRUE(
        SaveSettings(MemorySettings(Settings{"/voices/new\nline/", 0, -1, 5, 2000, 16, true, "HW:in 24:0", "", true,
                                             true, "12,34,900,600"})));
    EXPECT_EQ("Path=/voices/new?line/\nmidiin=0\nmidiout=-1\ndelay=5\nmididelay=2000\ndeviceno=16\nkeepontop=1\n"
              "midiinname=HW:in 24:0\nmidioutname=\ncatorder=1\nshowinits=1\nwindow=12,34,900,600\n",
              Cli({"settings"}).out);
    EXPECT_EQ(2, Cli({"settings", "extra"}).status);
}

#ifndef _WIN32  // the settings are files of our own only there
TEST(CliSettingsTest, ASettingsFileThatCannotBeReadIsSetAsideAndNamedOnce)
{
    const ConfigFolder config;
    ConfigFolder::Put(config.RootFile("HKEY_LOCAL_MACHINE"), "not a settings file\n\x01\x02");

    const CliRun first = Cli({"settings"});
    EXPECT_EQ(0, first.status);
    EXPECT_EQ("Path=\nmidiin=-1\nmidiout=-1\ndelay=0\nmididelay=0\ndeviceno=1\nkeepontop=0\nmidiinname=\n"
              "midioutname=\ncatorder=0\nshowinits=0\nwindow=\n",
              first.out);
    const std::vector<std::string> names = config.Names();
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(0u, names[0].rfind("HKEY_LOCAL_MACHINE.txt.corrupt-", 0)) << names[0];
    EXPECT_EQ("sonderik-cli: the settings file " + config.RootFile("HKEY_LOCAL_MACHINE").string() +
                  " could not be read and was set aside as " + names[0] + "; built-in values were used in its place\n",
              first.err);
    EXPECT_EQ("not a settings file\n\x01\x02", ConfigFolder::Contents(config.Path() / names[0])) << "nothing lost";

    EXPECT_EQ("", Cli({"settings"}).err) << "named once, by the command that set it aside";
}
#endif
