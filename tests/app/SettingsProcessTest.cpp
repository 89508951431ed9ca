// Settings saved by several real processes: two at once, one killed half-way,
// one meeting a corrupt file. The processes are the settings_writer helper and
// sonderik-cli itself; the killed one stops itself at a chosen point of its
// write (the writer's STOP argument), so no timing is guessed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
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

TEST_F(SettingsProcessTest, ReadersMeetOnlyWholeSavesOfAWriterSavingOverAndOver)
{
    constexpr int kRounds = 200;
    constexpr int kReaders = 4;
    ASSERT_EQ(0, Writer(1, 1).WaitExit());
    ChildProcess writer = Writer(kRounds, 2);
    ASSERT_TRUE(writer.Started());
    std::atomic<bool> writing{true};
    std::atomic<int> reads{0};
    std::atomic<int> mixed{0};
    std::atomic<int> newest{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            while (writing.load()) {
                // Every value of a save tells the save: a value of another save beside it is a mix.
                const Settings got = StartSettings();
                const auto n = static_cast<std::uint32_t>(got.midiIn);
                const Settings whole = WriterValues(n / 100000, n % 100000);
                mixed += got == whole ? 0 : 1;
                ++reads;
                newest = std::max(newest.load(), static_cast<int>(n % 100000));
            }
        });
    }
    const int exitCode = writer.WaitExit();
    writing = false;
    for (std::thread& reader : readers) {
        reader.join();
    }
    ASSERT_EQ(0, exitCode) << ConfigFolder::Contents(Output("writer-2"));
    EXPECT_EQ(0, mixed.load()) << "of " << reads.load() << " reads";
    EXPECT_GT(newest.load(), 0) << "the reads met the writer's saves";
    EXPECT_EQ(WriterValues(2, kRounds - 1), StartSettings());
}

namespace {

class KilledSaveTest : public SettingsProcessTest, public ::testing::WithParamInterface<const char*> {};

}  // namespace

TEST_P(KilledSaveTest, LeavesTheFileOfTheLastWholeSave)
{
    const std::string stage = GetParam();
    ASSERT_EQ(0, Writer(1, 1).WaitExit());

    ChildProcess victim = Writer(1, 2, stage);
    ASSERT_TRUE(victim.WaitStopped()) << "the writer never reached its stop";
    victim.Kill();

    // A save is one write: it counts whole once its rename was done, else not at all.
    EXPECT_TRUE(FileIsWhole());
    EXPECT_EQ(stage == "renamed" ? WriterValues(2, 0) : WriterValues(1, 0), StartSettings());

    // The next process is neither blocked by the dead one's lock nor confused
    // by its half-written temporary file.
    ASSERT_EQ(0, Writer(1, 3).WaitExit());
    EXPECT_EQ(WriterValues(3, 0), StartSettings());
    EXPECT_EQ(std::vector<std::string>{kFile}, config.Names());
}

INSTANTIATE_TEST_SUITE_P(Stops, KilledSaveTest, ::testing::Values("partial", "synced", "renamed"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

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
