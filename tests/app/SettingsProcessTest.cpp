// Settings saved by several real processes: two at once, one killed half-way,
// one meeting a corrupt file. The processes are the settings_writer helper and
// sonderik-cli itself; the killed one stops itself at a chosen point of its
// write (the writer's STOP argument), so no timing is guessed.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "platform/registry/RegistryFile.h"
#include "tests/app/WriterValues.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/Process.h"

namespace {

constexpr const char* kFile = "HKEY_LOCAL_MACHINE.txt";

class SettingsProcessTest : public ::testing::Test {
protected:
    ChildProcess Writer(int rounds, int id, const std::string& stop = "") const
    {
        std::vector<std::string> argv = {SONDERIK_SETTINGS_WRITER, std::to_string(rounds), std::to_string(id)};
        if (!stop.empty()) {
            argv.push_back(stop);
        }
        return ChildProcess(argv, {}, Output("writer-" + std::to_string(id)));
    }

    std::string Output(const std::string& name) const { return config.Temp().File(name + ".out"); }

    bool FileIsWhole() const
    {
        return RegistryHive::Parse(ConfigFolder::Contents(config.Path() / kFile), "HKEY_LOCAL_MACHINE").has_value();
    }

    ConfigFolder config;
};

template <typename T>
void ExpectEither(const T& got, const T& a, const T& b, const char* name)
{
    EXPECT_TRUE(got == a || got == b) << name;
}

}  // namespace

TEST_F(SettingsProcessTest, TwoProcessesSavingAtOnceLeaveOneWholeFile)
{
    constexpr int kRounds = 1000;
    ChildProcess first = Writer(kRounds, 1);
    ChildProcess second = Writer(kRounds, 2);
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_EQ(0, first.WaitExit()) << ConfigFolder::Contents(Output("writer-1"));
    EXPECT_EQ(0, second.WaitExit()) << ConfigFolder::Contents(Output("writer-2"));

    EXPECT_EQ(std::vector<std::string>{kFile}, config.Names()) << "nothing torn, set aside or left over";
    EXPECT_TRUE(FileIsWhole());
    // Each value is the last one either process saved: no write undid another's.
    const Settings got = StartSettings();
    const Settings a = WriterValues(1, kRounds - 1);
    const Settings b = WriterValues(2, kRounds - 1);
    ExpectEither(got.path, a.path, b.path, "Path");
    ExpectEither(got.midiIn, a.midiIn, b.midiIn, "midiin");
    ExpectEither(got.midiOut, a.midiOut, b.midiOut, "midiout");
    ExpectEither(got.sysexDelay, a.sysexDelay, b.sysexDelay, "delay");
    ExpectEither(got.midiDelay, a.midiDelay, b.midiDelay, "mididelay");
    ExpectEither(got.deviceNo, a.deviceNo, b.deviceNo, "deviceno");
    ExpectEither(got.keepOnTop, a.keepOnTop, b.keepOnTop, "keepontop");
}

namespace {

struct KillCase {
    const char* stage;
    const char* value;
};

// The values in the order a save writes them, each with how to take it over.
using Take = std::function<void(Settings& to, const Settings& from)>;
const std::array<std::pair<const char*, Take>, 7> kSaveOrder = {{
    {"Path", [](Settings& t, const Settings& f) { t.path = f.path; }},
    {"midiin", [](Settings& t, const Settings& f) { t.midiIn = f.midiIn; }},
    {"midiout", [](Settings& t, const Settings& f) { t.midiOut = f.midiOut; }},
    {"deviceno", [](Settings& t, const Settings& f) { t.deviceNo = f.deviceNo; }},
    {"delay", [](Settings& t, const Settings& f) { t.sysexDelay = f.sysexDelay; }},
    {"mididelay", [](Settings& t, const Settings& f) { t.midiDelay = f.midiDelay; }},
    {"keepontop", [](Settings& t, const Settings& f) { t.keepOnTop = f.keepOnTop; }},
}};

class KilledSaveTest : public SettingsProcessTest, public ::testing::WithParamInterface<KillCase> {};

}  // namespace

TEST_P(KilledSaveTest, LeavesTheFileOfTheLastWholeWrite)
{
    const KillCase& c = GetParam();
    ASSERT_EQ(0, Writer(1, 1).WaitExit());

    ChildProcess victim = Writer(1, 2, std::string(c.stage) + ":" + c.value);
    ASSERT_TRUE(victim.WaitStopped()) << "the writer never reached its stop";
    victim.Kill();

    // The write it was killed in counts only when its rename was done.
    Settings expected = WriterValues(1, 0);
    const Settings next = WriterValues(2, 0);
    for (const auto& [name, take] : kSaveOrder) {
        if (name == std::string(c.value)) {
            if (std::string(c.stage) == "renamed") {
                take(expected, next);
            }
            break;
        }
        take(expected, next);
    }
    EXPECT_TRUE(FileIsWhole());
    EXPECT_EQ(expected, StartSettings());

    // The next process is neither blocked by the dead one's lock nor confused
    // by its half-written temporary file.
    ASSERT_EQ(0, Writer(1, 3).WaitExit());
    EXPECT_EQ(WriterValues(3, 0), StartSettings());
    EXPECT_EQ(std::vector<std::string>{kFile}, config.Names());
}

INSTANTIATE_TEST_SUITE_P(Stops, KilledSaveTest,
                         ::testing::Values(KillCase{"partial", "Path"}, KillCase{"partial", "deviceno"},
                                           KillCase{"synced", "midiin"}, KillCase{"synced", "keepontop"},
                                           KillCase{"renamed", "Path"}, KillCase{"renamed", "delay"},
                                           KillCase{"renamed", "keepontop"}),
                         [](const ::testing::TestParamInfo<KillCase>& p) {
                             return std::string(p.param.stage) + "_" + p.param.value;
                         });

TEST_F(SettingsProcessTest, ACorruptFileGivesTheDefaultsAndIsKeptAside)
{
    const std::string garbage = "; Sonderik registry HKEY_LOCAL_MACHINE\n[Software\\Sonderik\\Settings]\n\"Path\"=\"/half";
    ConfigFolder::Put(config.Path() / kFile, garbage);

    const std::string builtIn = "Path=\nmidiin=-1\nmidiout=-1\ndelay=0\nmididelay=0\ndeviceno=1\nkeepontop=0\n"
                                "midiinname=\nmidioutname=\ncatorder=0\nshowinits=0\nwindow=\n";
    ChildProcess cli({SONDERIK_CLI, "settings"}, {}, Output("cli"));
    ASSERT_EQ(0, cli.WaitExit());
    EXPECT_EQ(builtIn, ConfigFolder::Contents(Output("cli")));

    std::vector<std::string> names = config.Names();
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(0u, names[0].find(std::string(kFile) + ".corrupt-")) << names[0];
    EXPECT_EQ(garbage, ConfigFolder::Contents(config.Path() / names[0]));

    // Saving afterwards starts a new file and leaves the old one be.
    ASSERT_EQ(0, Writer(1, 4).WaitExit());
    EXPECT_EQ(WriterValues(4, 0), StartSettings());
    EXPECT_EQ(2u, config.Names().size());
    EXPECT_EQ(garbage, ConfigFolder::Contents(config.Path() / names[0]));
}
