#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/RegistryKey.h"
#include "app/Settings.h"
#include "app/SettingsPlace.h"
#include "platform/registry/Registry.h"
#ifdef _WIN32
#include "tests/support/ScopedRegistryKeys.h"
#else
#include "tests/support/ConfigFolder.h"
#endif

namespace {

// Two ports on each side, as a machine with an interface and a thru box.
const PortLists kTwoPorts{{"Interface in", "Thru in"}, {"Interface out", "Thru out"}};

class SettingsTest : public ::testing::Test {
protected:
    static RegistryKey SettingsKey(HKEY root = SettingsRoot())
    {
        RegistryKey key;
        key.SetRootKey(root);
        key.SetKey(kSettingsKeyPath, true);
        return key;
    }

    // The values the settings key holds, by name.
    static std::vector<std::string> StoredNames(HKEY root = SettingsRoot())
    {
        HKEY k = nullptr;
        std::vector<std::string> names;
        if (RegOpenKeyExA(root, kSettingsKeyPath, 0, KEY_READ, &k) != ERROR_SUCCESS) {
            return names;
        }
        for (const char* name : {"Path", "midiin", "midiout", "delay", "mididelay", "deviceno", "keepontop",
                                 "midiinname", "midioutname"}) {
            DWORD type = 0;
            if (RegQueryValueExA(k, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS) {
                names.emplace_back(name);
            }
        }
        RegCloseKey(k);
        return names;
    }

    static Settings Loaded(const std::optional<PortLists>& ports = kTwoPorts)
    {
        MemorySettings dialog(Settings{}, ports);
        LoadSettings(dialog);
        return dialog.Values();
    }

    static Settings Some()
    {
        return Settings{"/home/me/voices/", 0, 1, 30, 700, 16, true, "Interface in", "Thru out", false, false, ""};
    }

    // Whether nothing at all was stored: no settings key where they are kept.
    bool NothingStored() const
    {
#ifdef _WIN32
        HKEY k = nullptr;
        if (RegOpenKeyExA(SettingsRoot(), kSettingsKeyPath, 0, KEY_READ, &k) != ERROR_SUCCESS) {
            return true;
        }
        RegCloseKey(k);
        return false;
#else
        return !std::filesystem::exists(config.Path());
#endif
    }

#ifdef _WIN32
    ScopedRegistryKeys keys{{HKEY_CURRENT_USER, "Software\\Sonderik"}, {HKEY_LOCAL_MACHINE, "Software\\Sonderik"}};
#else
    ConfigFolder config;
#endif
};

}  // namespace

TEST_F(SettingsTest, FirstRunKeepsTheBuiltInValuesAndMakesTheKeyWithOnlyAPath)
{
    EXPECT_EQ(Settings{}, StartSettings(kTwoPorts));
    EXPECT_TRUE(NothingStored()) << "asking writes nothing";

    EXPECT_EQ((Settings{"", -1, -1, 0, 0, 1, false, "", "", false, false, ""}), Loaded());
    EXPECT_EQ(std::vector<std::string>{"Path"}, StoredNames());
    EXPECT_EQ("C:\\", SettingsKey().ReadString("Path", ""));

    // The next start finds the key with its other values absent.
    const Settings absent{"C:\\", 1, 1, 25, 500, 1, false, "Thru in", "Thru out", false, false, ""};
    EXPECT_EQ(absent, Loaded());
    EXPECT_EQ(absent, StartSettings(kTwoPorts));
}

TEST_F(SettingsTest, WhatIsSavedAtCloseIsWhatTheNextStartHolds)
{
    const MemorySettings closing(Some(), kTwoPorts);
    EXPECT_TRUE(SaveSettings(closing));
    EXPECT_EQ(Some(), Loaded());
    EXPECT_EQ(Some(), StartSettings(kTwoPorts));
    EXPECT_EQ(Some(), StartSettings()) << "the stored lines, when the ports are not known";
    EXPECT_EQ(std::vector<std::string>({"Path", "midiin", "midiout", "delay", "mididelay", "deviceno", "keepontop",
                                        "midiinname", "midioutname"}),
              StoredNames());
}

struct PortCase {
    std::int32_t stored;
    std::int32_t selected;  // with two ports
};

class StoredPortTest : public SettingsTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(StoredPortTest, SelectsTheLineOnlyWhenThereIsOne)
{
    Settings stored = Some();
    stored.midiIn = GetParam().stored;
    stored.midiOut = GetParam().stored;
    stored.midiInName.clear();  // as stored before names were kept
    stored.midiOutName.clear();
    ASSERT_TRUE(SaveSettings(MemorySettings(stored)));

    const Settings start = Loaded(kTwoPorts);
    EXPECT_EQ(GetParam().selected, start.midiIn);
    EXPECT_EQ(GetParam().selected, start.midiOut);
    EXPECT_EQ(-1, Loaded(PortLists{}).midiIn) << "no ports, no selection";

    // What the lists show at close is what is stored: -1 for no selection.
    ASSERT_TRUE(SaveSettings(MemorySettings(start)));
    EXPECT_EQ(GetParam().selected, SettingsKey().ReadInt("midiin", 99));
}

INSTANTIATE_TEST_SUITE_P(Indexes, StoredPortTest,
                         ::testing::Values(PortCase{0, 0}, PortCase{1, 1}, PortCase{2, -1}, PortCase{1000, -1},
                                           PortCase{-1, -1}, PortCase{-7, -1}));

TEST_F(SettingsTest, APathTooLongToStoreLeavesThePreviousOne)
{
    Settings s = Some();
    s.path = "/" + std::string(253, 'a');
    EXPECT_TRUE(SaveSettings(MemorySettings(s)));
    EXPECT_EQ(s.path, Loaded().path);

    Settings longer = Some();
    longer.path = "/" + std::string(254, 'b');
    longer.deviceNo = 3;
    EXPECT_FALSE(SaveSettings(MemorySettings(longer)));
    EXPECT_EQ(s.path, Loaded().path);
    EXPECT_EQ(3u, Loaded().deviceNo) << "the other values are still stored";
}

#ifndef _WIN32
TEST_F(SettingsTest, AFolderThatCannotBeWrittenMeansBuiltInValuesAndNothingStored)
{
    ConfigFolder::Put(config.Temp().Path() / "blocker", "x");
    const ScopedEnv env("SONDERIK_CONFIG_DIR", (config.Temp().Path() / "blocker" / "config").string());
    MemorySettings dialog(Some());
    LoadSettings(dialog);
    EXPECT_EQ(Some(), dialog.Values()) << "the dialog keeps what it holds";
    std::string problem;
    EXPECT_FALSE(SaveSettings(dialog, &problem));
    EXPECT_NE(std::string::npos, problem.find("cannot save the settings in " +
                                              (config.Temp().Path() / "blocker" / "config" / "HKEY_LOCAL_MACHINE.txt").string() + ": "))
        << problem;
    EXPECT_EQ(Settings{}, StartSettings());
    EXPECT_EQ("x", ConfigFolder::Contents(config.Temp().Path() / "blocker"));
}
#else
// Settings an earlier installation kept for the whole machine are taken over
// while the user has none, and are never written: a program without
// administrator rights could not. The next save is the user's own.
TEST_F(SettingsTest, TheMachinesSettingsAreReadUntilTheUserSavesAndAreNeverWritten)
{
    const RegistryKey machine = SettingsKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.WriteString("Path", "D:\\Banks"));
    ASSERT_TRUE(machine.WriteInt("delay", 40));
    ASSERT_TRUE(machine.WriteString("midioutname", "Thru out"));

    Settings earlier = Loaded();
    EXPECT_EQ("D:\\Banks", earlier.path);
    EXPECT_EQ(40u, earlier.sysexDelay);
    EXPECT_EQ(1, earlier.midiOut);
    EXPECT_EQ(500u, earlier.midiDelay) << "absent values read as absent";
    EXPECT_EQ(earlier, StartSettings(kTwoPorts));
    EXPECT_TRUE(NothingStored()) << "reading takes them over without writing";

    earlier.sysexDelay = 60;
    ASSERT_TRUE(SaveSettings(MemorySettings(earlier, kTwoPorts)));
    EXPECT_EQ(std::vector<std::string>({"Path", "midiin", "midiout", "delay", "mididelay", "deviceno", "keepontop",
                                        "midiinname", "midioutname"}),
              StoredNames(HKEY_CURRENT_USER));
    EXPECT_EQ(std::vector<std::string>({"Path", "delay", "midioutname"}), StoredNames(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(40, machine.ReadInt("delay", 0));

    ASSERT_TRUE(machine.WriteInt("delay", 90));
    EXPECT_EQ(earlier, Loaded()) << "the user's key, once there, is the one read";
}
#endif

TEST(SettingsTextTest, NamesTheSevenSettingsInTheKeysOrderThenThePortNamesThenTheWindowsOwn)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Path", "C:\\"},          {"midiin", "-1"},   {"midiout", "1"},
        {"delay", "25"},           {"mididelay", "4294967295"}, {"deviceno", "16"},
        {"keepontop", "1"},        {"midiinname", ""}, {"midioutname", "HW:out 24:0"},
        {"catorder", "1"},         {"showinits", "0"}, {"window", "10,20,900,600"}};
    EXPECT_EQ(expected, SettingsAsText(Settings{"C:\\", -1, 1, 25, 4294967295u, 16, true, "", "HW:out 24:0", true,
                                                false, "10,20,900,600"}));
}

TEST_F(SettingsTest, AStoredPortIsFoundByItsNameWhereverItIsListedNow)
{
    ASSERT_TRUE(SaveSettings(MemorySettings(Some())));
    // A device came before the two and the interface was plugged in again.
    const PortLists now{{"Synth in 20:0", "Thru in", "Interface in"}, {"Thru out 24:0", "Synth out", "Interface out"}};
    const Settings start = Loaded(now);
    EXPECT_EQ(2, start.midiIn);
    EXPECT_EQ("Interface in", start.midiInName);
    EXPECT_EQ(0, start.midiOut) << "the same device under its new ALSA address";
    EXPECT_EQ("Thru out 24:0", start.midiOutName);

    // The interface is gone: nothing is selected, not what took its line.
    const Settings without = Loaded(PortLists{{"Synth in", "Thru in"}, {"Synth out", "Thru out"}});
    EXPECT_EQ(-1, without.midiIn);
    EXPECT_EQ("", without.midiInName);
    EXPECT_EQ(1, without.midiOut);

    // Closing without a selection stores none, and the next start has none.
    ASSERT_TRUE(SaveSettings(MemorySettings(without)));
    EXPECT_EQ(-1, Loaded().midiIn);
    EXPECT_EQ(1, Loaded().midiOut);
}
