#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/Cli.h"
#include "cli/MidiCommands.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/CliRun.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/JobHarness.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "tests/support/VoiceFileBuilder.h"

namespace {

// The command line against a virtual instrument set up as a user would, by
// SONDERIK_VIRTUAL_EX5, with no settings stored unless a test stores them.
class CliMidiTest : public ::testing::Test {
protected:
    CliRun Cli(const std::string& instrument, const std::vector<std::string>& args)
    {
        const ScopedEnv env("SONDERIK_VIRTUAL_EX5", instrument);
        return ::Cli(args, BuiltIn());
    }

    // The built-in instrument alone, as SONDERIK_VIRTUAL_EX5 says when a command sets it up.
    MidiSetup BuiltIn()
    {
        return [this] {
            driver = std::make_shared<VirtualEX5Driver>(VirtualEX5Driver::ConfigFromEnvironment());
            drivers.Install({driver});
            return driver.get();
        };
    }

    // `installed`, when a command sets them up.
    MidiSetup Only(ScopedMidiDrivers::Drivers installed, VirtualEX5Driver* instrument = nullptr)
    {
        return [this, installed, instrument] {
            drivers.Install(installed);
            return instrument;
        };
    }

    std::string WriteBank()
    {
        bank.Voice(1, "Glass Grand", 1).CommonPattern(1, 9);
        bank.Element(1, 0, 30);
        bank.Element(1, 3, 31);
        bank.Voice(2, "Kit", 17).Element(2, 0, 32);
        const std::string file = harness.Dir().File("bank.s1a");
        bank.Write(file, VoiceFileBuilder::Kind::S1a);
        return file;
    }

    ConfigFolder config;
    JobHarness harness;
    VoiceFileBuilder bank;
    std::shared_ptr<VirtualEX5Driver> driver;
    ScopedMidiDrivers drivers;
};

const std::vector<std::string> kQuick = {"--sysex-delay", "0"};

std::vector<std::string> Args(std::vector<std::string> args, const std::vector<std::string>& more = kQuick)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST_F(CliMidiTest, PortsListsTheVirtualInstrumentWithItsIndex)
{
    const CliRun run = Cli("model=EX7", {"ports"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("in 0 Sonderik virtual EX7 (built in)\nout 0 Sonderik virtual EX7 (built in)\n", run.out);
}

TEST_F(CliMidiTest, PortNamesWithControlCharactersStayOneLineEach)
{
    const MidiSetup hostile =
        Only({std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out\x1b]0;owned\x07"},
                                                   std::vector<std::string>{"In\nout 9 fake", "Tab\tbed"})});
    const CliRun run = ::Cli({"ports"}, hostile);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("in 0 In?out 9 fake\nin 1 Tab?bed\nout 0 Out?]0;owned?\n", run.out);
}

TEST_F(CliMidiTest, IdentifyPrintsTheResultAndSucceedsOnlyForOurInstruments)
{
    const std::vector<std::string> quick = {"--sysex-delay", "0", "--timeout", "20"};
    const CliRun ex7 = Cli("model=EX7", Args({"identify"}, quick));
    EXPECT_EQ(0, ex7.status) << ex7.err;
    EXPECT_EQ("EX7\n", ex7.out);

    const CliRun broadcast = Cli("device=5", Args({"identify"}, quick));
    EXPECT_EQ(0, broadcast.status);
    EXPECT_EQ("EX5\n", broadcast.out);
    EXPECT_NE(std::string::npos, broadcast.err.find("device number 5")) << broadcast.err;

    const CliRun other = Cli("reply=F07E010602410041023300000001F7", Args({"identify"}, quick));
    EXPECT_EQ(1, other.status);
    EXPECT_EQ("Nothing known found.\n", other.out);

    const CliRun silent = Cli("silent=99", Args({"identify"}, quick));
    EXPECT_EQ(1, silent.status);
    EXPECT_EQ("No reply to ID request.\n", silent.out);

    const CliRun broken = Cli("reply=F07E0106024300F7", Args({"identify"}, quick));
    EXPECT_EQ(1, broken.status);
    EXPECT_EQ("sonderik-cli: identify: Midi:116 Cannot translate the reply.\n", broken.err);
}

TEST_F(CliMidiTest, SendDeliversTheFilesVoiceIntact)
{
    const std::string file = WriteBank();
    const CliRun run = Cli("", Args({"send", file, "I1-002", "--midi-delay", "50"}));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("Sent I1-002 Glass Grand to Sonderik virtual EX5 (built in)\n"
              "The virtual instrument received the voice \"Glass Grand\" (Piano) with 2 elements\n",
              run.out);

    const auto received = driver->Instrument().GetReceived();
    ASSERT_EQ(1u, received.voices.size());
    const std::uint8_t* common = bank.Image().data() + bank::kCommonOffset + bank::kCommonSize;
    EXPECT_TRUE(std::equal(received.voices[0].common.begin(), received.voices[0].common.end(), common));
    ASSERT_EQ(2u, received.voices[0].elements.size());
    const auto& last = received.voices[0].elements[1];
    EXPECT_EQ(VoiceFileBuilder::ElementPattern(31), std::vector<std::uint8_t>(last.begin(), last.end()));
    EXPECT_NE(std::string::npos, harness.Log().find("SendSysexVoice confirms: Voice sent\n"));
}

#ifdef SONDERIK_CONTAINER_FIXTURES
TEST_F(CliMidiTest, AVoiceInsideADiskImageOrAnArchiveReachesTheInstrumentAsFromOutside)
{
    const auto sent = [&](const std::string& file) {
        const CliRun run = Cli("", Args({"send", file, "I1-002", "--midi-delay", "50"}));
        EXPECT_EQ(0, run.status) << file << ": " << run.err;
        const auto received = driver->Instrument().GetReceived();
        return received.voices.empty() ? decltype(received.voices)::value_type{} : received.voices.back();
    };
    const auto outside = sent(SONDERIK_DEMO_FILE);
    ASSERT_FALSE(outside.elements.empty());
    std::vector<std::string> inside = {"floppy-720.img/DEMO.S1V"};
#ifdef SONDERIK_WITH_ARCHIVE
    inside.push_back("voices.zip/DEMO.S1V");
#endif
    for (const std::string& path : inside) {
        const auto voice = sent(std::string(SONDERIK_CONTAINER_FIXTURES) + "/" + path);
        EXPECT_EQ(outside.common, voice.common) << path;
        EXPECT_EQ(outside.elements, voice.elements) << path;
    }
}
#endif

TEST_F(CliMidiTest, SendRefusesDrumsAndSaysWhereTheLogCouldNotBeOpened)
{
    const std::string file = WriteBank();
    const CliRun drum = Cli("", Args({"send", file, "I1-003"}));
    EXPECT_EQ(1, drum.status);
    EXPECT_EQ("sonderik-cli: " + file + ": Sorry, no drums yet.\n", drum.err);
    EXPECT_FALSE(std::filesystem::exists(harness.Dir().File("Sonderik.log"))) << "no job started";

    std::filesystem::create_directory(harness.Dir().File("Sonderik.log"));
    const CliRun noLog = Cli("", Args({"send", file, "1", "--midi-delay", "0"}));
    EXPECT_EQ(1, noLog.status);
    EXPECT_EQ("sonderik-cli: Sonderik.log: Cannot open log file in " + std::filesystem::current_path().string() +
                  ": Sonderik.log is a folder there; choose another folder with --log-dir DIR\n",
              noLog.err);
    EXPECT_TRUE(driver->Instrument().GetReceived().voices.empty());

    const CliRun identify = Cli("", Args({"identify"}));
    EXPECT_EQ(1, identify.status);
    EXPECT_EQ(noLog.err, identify.err);
    EXPECT_EQ("", identify.out);
}

TEST_F(CliMidiTest, JobsTakeTheirPortsFromTheStoredSettings)
{
    // A stored port beyond the lists selects none: the job fails visibly
    // instead of sounding somewhere else.
    MemorySettings stored(Settings{"", 0, 5, 0, 0, 1, false, "", "", false, false, ""});
    ASSERT_TRUE(SaveSettings(stored));
    const std::string file = WriteBank();
    const CliRun run = Cli("", Args({"send", file, "1"}));
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("MidiOutWin:186 Error 0x5 unpreparing MIDI out header (no MIDI output port is "
                                              "selected; choose one with --out N (see sonderik-cli ports))"))
        << run.err;

    const CliRun overridden = Cli("", Args({"send", file, "1", "--out", "0", "--midi-delay", "50"}));
    EXPECT_EQ(0, overridden.status) << overridden.err;
}

TEST_F(CliMidiTest, AuditionPrintsWhatTheBuiltInInstrumentReceived)
{
    const CliRun major = Cli("", Args({"audition", "major", "--hold", "5"}));
    EXPECT_EQ(0, major.status) << major.err;
    EXPECT_EQ("90 3C 40\n90 40 40\n90 43 40\n90 3C 00\n90 3F 00\n90 40 00\n90 43 00\n90 48 00\n", major.out);

    // A hold shorter than the run still lets the whole run out first.
    const ScopedEnv env("SONDERIK_VIRTUAL_EX5", "");
    JobOptions options;
    options.sysexDelay = 0;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(0, PlayAudition(BuiltIn(), "trill", 1, options, out, err, std::chrono::milliseconds(20))) << err.str();
    EXPECT_EQ("90 3C 40\n90 40 40\n90 43 40\n90 48 40\n90 3C 00\n90 3F 00\n90 40 00\n90 43 00\n90 48 00\n",
              out.str());
}

TEST_F(CliMidiTest, AuditionReportsAPortItCannotOpenAndRefusesUnknownActions)
{
    const CliRun noPort = Cli("", Args({"audition", "note", "--hold", "0", "--out", "4"}));
    EXPECT_EQ(1, noPort.status);
    EXPECT_EQ("", noPort.out);
    EXPECT_NE(std::string::npos, noPort.err.find("SonderikDlg:1470 Error 0x2 opening MIDI device for output"))
        << noPort.err;

    const CliRun chord = Cli("", {"audition", "chord"});
    EXPECT_EQ(2, chord.status);
    EXPECT_EQ(0u, driver ? driver->Instrument().GetReceived().channelMessages.size() : 0u);
}

TEST_F(CliMidiTest, AStoredPortIsFoundByNameAndAVanishedOneIsNeverReplaced)
{
    // Two instruments; the settings name the EX7, stored when it was listed
    // first. Now the EX5 is listed before it.
    auto ex5 = std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig("model=EX5", nullptr));
    auto ex7 = std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig("model=EX7", nullptr));
    const MidiSetup both = Only({ex5, ex7}, ex7.get());
    const std::string ex7Name = ex7->OutputName(0);
    const std::string file = WriteBank();
    const auto send = [&] { return ::Cli(Args({"send", file, "1", "--midi-delay", "0"}), both); };

    ASSERT_TRUE(SaveSettings(MemorySettings(Settings{"", 0, 0, 0, 0, 1, false, ex7Name, ex7Name, false, false, ""})));
    const CliRun found = send();
    EXPECT_EQ(0, found.status) << found.err;
    EXPECT_EQ(1u, ex7->Instrument().GetReceived().voices.size());
    EXPECT_TRUE(ex5->Instrument().GetReceived().voices.empty()) << "not the port that took its index";

    ASSERT_TRUE(SaveSettings(MemorySettings(Settings{"", 0, 0, 0, 0, 1, false, ex7Name, "HW:out 24:0", false, false, ""})));
    const CliRun gone = send();
    EXPECT_EQ(1, gone.status);
    EXPECT_EQ("sonderik-cli: " + file +
                  ": the MIDI Out port \"HW:out 24:0\" of the settings is not there (see sonderik-cli ports)\n",
              gone.err);
    EXPECT_TRUE(ex5->Instrument().GetReceived().voices.empty());
    EXPECT_EQ(1u, ex7->Instrument().GetReceived().voices.size());
}

TEST_F(CliMidiTest, AVoiceAtCableSpeedWithZeroDelaysArrivesWholeAndTheJobSucceeds)
{
    // 891 bytes take 285 ms on the cable: far longer than four polls at a
    // SysEx delay of 0 ms. The job waits as long as the message needs.
    bank.Voice(3, "Full Strings", 9);
    for (std::uint8_t position = 0; position < 4; ++position) {
        bank.Element(3, position, static_cast<std::uint8_t>(40 + position));
    }
    const std::string file = harness.Dir().File("full.s1v");
    bank.Write(file, VoiceFileBuilder::Kind::S1v);

    const CliRun run = Cli("wire=1", Args({"send", file, "3", "--midi-delay", "0"}));
    EXPECT_EQ(0, run.status) << run.err;
    const auto voices = driver->Instrument().GetReceived().voices;
    ASSERT_EQ(1u, voices.size());
    EXPECT_EQ(4u, voices[0].elements.size()) << "all 891 bytes arrived";
    EXPECT_NE(std::string::npos, harness.Log().find("Waiting for MIDI Out.")) << harness.Log();
}

TEST_F(CliMidiTest, PortsAreOpenedAsListedAndAStoredNameFollowsItsPortToANewLine)
{
    auto scripted = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth", "Interface 24:0"},
                                                         std::vector<std::string>{"Synth", "Interface 24:0"});
    scripted->AllowAll();
    ASSERT_TRUE(SaveSettings(MemorySettings(Settings{"", 1, 1, 0, 0, 1, false, "Interface 24:0", "Interface 24:0", false, false, ""})));

    // Plugged in again: a new ALSA address, and a device listed before it.
    scripted->SetPorts({"Drum machine", "Synth", "Interface 28:0"}, {"Synth", "Drum machine", "Interface 28:0"});
    const std::string file = WriteBank();
    const CliRun run = ::Cli(Args({"send", file, "1", "--midi-delay", "0"}), Only({scripted}));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("Sent I1-002 Glass Grand to Interface 28:0\n", run.out);
    const auto calls = scripted->Calls();
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "midiInOpen 2"));
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "midiOutOpen 2"));

    // The ports of the last listing are the ones opened, even when the
    // system's list changed since.
    scripted->SetPorts({"Interface 28:0"}, {});
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(3u, midiOutGetNumDevs());
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutGetDevCapsA(2, &caps, sizeof caps));
    EXPECT_STREQ("Interface 28:0", caps.szPname);
    platform::RescanMidiPorts();  // the user refreshes the lists
    EXPECT_EQ(1u, midiOutGetNumDevs());
    EXPECT_EQ(MMSYSERR_BADDEVICEID, midiOutGetDevCapsA(2, &caps, sizeof caps)) << "a new listing, a new numbering";
}

TEST_F(CliMidiTest, TheLogGoesWhereLogDirSaysMadeIfMissingWithTildeAsHome)
{
    const std::string file = WriteBank();
    const ScopedEnv home(kHomeVariable, harness.Dir().File("home"));
    const CliRun run = Cli("", Args({"send", file, "1", "--midi-delay", "0", "--log-dir", "~/logs/today"}));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              ConfigFolder::Contents(harness.Dir().File("home/logs/today/Sonderik.log")).find("Voice sent"));
    EXPECT_FALSE(std::filesystem::exists(harness.Dir().File("Sonderik.log")));

    std::ofstream(harness.Dir().File("plain")) << "a file, not a folder";
    const CliRun blocked = Cli("", Args({"identify", "--log-dir", harness.Dir().File("plain/logs")}));
    EXPECT_EQ(1, blocked.status);
    const std::string shown = std::filesystem::path(harness.Dir().File("plain/logs")).make_preferred().string();
    EXPECT_NE(std::string::npos, blocked.err.find("Cannot open log file in " + shown + ": ")) << blocked.err;
    EXPECT_NE(std::string::npos, blocked.err.find("--log-dir DIR")) << blocked.err;
}

TEST_F(CliMidiTest, IdentifyOnATerminalShowsWhichRequestIsWaitingAndWipesItAtTheEnd)
{
    const std::vector<std::string> args = Args({"identify"}, {"--sysex-delay", "0", "--timeout", "20"});
    const ScopedEnv env("SONDERIK_VIRTUAL_EX5", "silent=99");
    const auto identify = [&](bool errIsTerminal) { return ::Cli(args, BuiltIn(), Terminals{false, errIsTerminal}); };

    const CliRun watched = identify(true);
    EXPECT_EQ(1, watched.status);
    EXPECT_EQ("No reply to ID request.\n", watched.out) << "standard output stays clean";
    // Earlier requests may be overtaken between two looks; the last one is
    // always shown before the line is wiped.
    EXPECT_NE(std::string::npos,
              watched.err.find("\r\033[Ksonderik-cli: Requesting Id from device number 127 (4 of 4), waiting for the "
                               "answer"))
        << watched.err;
    ASSERT_GE(watched.err.size(), 4u);
    EXPECT_EQ("\r\033[K", watched.err.substr(watched.err.size() - 4)) << "nothing of it stays on the screen";

    const CliRun piped = identify(false);
    EXPECT_EQ(1, piped.status);
    EXPECT_EQ("", piped.err) << "no status line where nobody watches";
}

TEST_F(CliMidiTest, AVoiceStillOnItsWayWhenTheMidiDelayRanOutIsExplained)
{
    auto scripted = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth"},
                                                         std::vector<std::string>{"Synth"});
    scripted->AllowAll();
    scripted->StillPlaying(ScriptedMidiDriver::Call::OutUnprepare, 1000);
    const std::string file = WriteBank();
    const CliRun run = ::Cli(Args({"send", file, "1", "--in", "0", "--out", "0", "--midi-delay", "0"}), Only({scripted}));
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out) << "a voice not known to be delivered is not reported as sent";
    EXPECT_EQ("sonderik-cli: " + file +
                  ": MidiOutWin:186 Error 0x41 unpreparing MIDI out header (the voice was still being sent when the "
                  "MIDI delay ran out; raise it with --midi-delay MS)\n",
              run.err);
}

TEST_F(CliMidiTest, IdentifySaysTheDeviceNumberWheneverOnlyTheRequestToEveryDeviceWasAnswered)
{
    const std::vector<std::string> quick = {"--sysex-delay", "0", "--timeout", "20"};
    const CliRun sameNumber = Cli("silent=4", Args({"identify"}, quick));
    EXPECT_EQ(0, sameNumber.status);
    EXPECT_EQ("EX5\n", sameNumber.out);
    EXPECT_NE(std::string::npos, sameNumber.err.find("only the request to every device, as device number 1 (the first requests went to "
                                                    "device number 1)"))
        << sameNumber.err;

    const CliRun firstPass = Cli("", Args({"identify"}, quick));
    EXPECT_EQ("", firstPass.err);
}

struct WarningCase {
    const char* what;
    Settings stored;
    std::vector<std::string> args;
    std::string warnings;
};

void PrintTo(const WarningCase& c, std::ostream* os) { *os << c.what; }

class CliWarningTest : public CliMidiTest, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(CliWarningTest, WarnOnlyAboutStoredValuesTheCommandUsesNamingTheValueUsed)
{
    const WarningCase& c = GetParam();
    ASSERT_TRUE(SaveSettings(MemorySettings(c.stored)));
    std::vector<std::string> args = c.args;
    if (args[0] == "send") {
        args.insert(args.begin() + 1, {WriteBank(), "1"});
    }
    const CliRun run = Cli("", args);
    std::string warnings;
    for (std::size_t at = 0; (at = run.err.find("sonderik-cli: the stored", at)) != std::string::npos;) {
        const std::size_t end = run.err.find('\n', at);
        warnings += run.err.substr(at, end - at + 1);
        at = end;
    }
    EXPECT_EQ(c.warnings, warnings) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Stored, CliWarningTest,
    ::testing::Values(
        WarningCase{"IdentifyIgnoresTheMidiDelay", Settings{"", 0, 0, 0, 900000, 1, false, "", "", false, false, ""},
                    {"identify", "--timeout", "20"}, ""},
        WarningCase{"AnOptionOverridesTheStoredDelay", Settings{"", 0, 0, 900000, 0, 1, false, "", "", false, false, ""},
                    {"identify", "--timeout", "20", "--sysex-delay", "0"}, ""},
        WarningCase{"DeviceNumberClamped", Settings{"", 0, 0, 0, 0, 201, false, "", "", false, false, ""}, {"identify", "--timeout", "20"},
                    "sonderik-cli: the stored device number 201 is out of range (0 to 127); using 127\n"},
        WarningCase{"AnOptionOverridesTheStoredDeviceNumber", Settings{"", 0, 0, 0, 0, 201, false, "", "", false, false, ""},
                    {"identify", "--timeout", "20", "--device", "1"}, ""},
        WarningCase{"SendIgnoresTheDeviceNumber", Settings{"", 0, 0, 0, 0, 201, false, "", "", false, false, ""}, {"send"}, ""}),
    [](const ::testing::TestParamInfo<WarningCase>& p) { return p.param.what; });

// --in and --out take a port by index or by name: the port of exactly that
// name, else the one whose name contains it; none or several is a usage
// error that lists the ports as `ports` does.
TEST_F(CliMidiTest, APortIsTakenByItsIndexItsNameOrThePartOfItsNameOnlyOnePortHas)
{
    auto scripted = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth", "Synth Module", "Desk"},
                                                         std::vector<std::string>{"Synth"});
    scripted->AllowAll();
    const std::string file = WriteBank();
    const auto send = [&](const std::string& out) {
        return ::Cli(Args({"send", file, "1", "--in", "Synth", "--out", out, "--midi-delay", "0"}), Only({scripted}));
    };
    for (const auto& [typed, port] : std::vector<std::pair<std::string, std::string>>{
             {"Synth", "Synth"}, {"Mod", "Synth Module"}, {"2", "Desk"}, {"esk", "Desk"}}) {
        const CliRun run = send(typed);
        EXPECT_EQ(0, run.status) << typed << ": " << run.err;
        EXPECT_EQ("Sent I1-002 Glass Grand to " + port + "\n", run.out) << typed;
    }

    const std::string ports = "in 0 Synth\nout 0 Synth\nout 1 Synth Module\nout 2 Desk\n"
                              "Run 'sonderik-cli --help' for more information.\n";
    const CliRun several = send("ynt");
    EXPECT_EQ(2, several.status);
    EXPECT_EQ("sonderik-cli: --out ynt: 2 ports have a name that contains it; the ports are:\n" + ports, several.err);
    const CliRun none = send("synth");
    EXPECT_EQ(2, none.status) << "names are compared with case";
    EXPECT_EQ("sonderik-cli: --out synth: no port has this name or a name that contains it; the ports are:\n" + ports,
              none.err);
    EXPECT_EQ(2, ::Cli(Args({"identify", "--in", "Piano"}), Only({scripted})).status);
    EXPECT_EQ(4, scripted->CountOf(ScriptedMidiDriver::Call::OutOpen)) << "a usage error opens nothing";
}

TEST_F(CliMidiTest, TheDriversReasonFollowsTheFailureOnALineOfItsOwn)
{
    auto scripted = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth"},
                                                         std::vector<std::string>{"Synth"});
    scripted->AllowAll();
    scripted->Explain("the device is busy");
    scripted->Script(ScriptedMidiDriver::Call::InOpen, {MMSYSERR_ALLOCATED});
    const std::string file = WriteBank();
    const CliRun run =
        ::Cli(Args({"send", file, "1", "--in", "0", "--out", "0", "--midi-delay", "0"}), Only({scripted}));
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("sonderik-cli: " + file +
                  ": MidiInWin:121 Cannot open MIDI device for input (MIDI input port 0 is Synth; choose one with --in "
                  "N (see sonderik-cli ports))\nsonderik-cli: the device is busy\n",
              run.err);
}
