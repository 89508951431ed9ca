#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Jobs.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinMidi.h"
#include "tests/support/JobHarness.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

using Call = ScriptedMidiDriver::Call;

namespace {

// One driver failure during a job, and the whole log it leaves.
struct Fault {
    const char* label;
    Call call;
    std::vector<MMRESULT> results;
    const char* log;  // after the banner line, up to the last line
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.label; }

constexpr const char* kParameters =
    "Parameters: MIDI OUT=Out A, MIDI IN=In A\r\n"
    "Instrument=Yamaha EX5/5R/7, Device number=1, Delay=0, Timeout=10, Retries=0\r\n";

class JobFaultTest : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override
    {
        driver = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out A"},
                                                      std::vector<std::string>{"In A"});
        driver->AllowAll();
        const Fault& f = GetParam();
        for (MMRESULT r : f.results) {
            driver->Script(f.call, {r});
        }
        drivers.Install({driver});
    }

    // Every port the job opened was closed again, by the job or at the latest
    // by the port's destruction.
    void ExpectPortsClosed() const
    {
        EXPECT_EQ(driver->CountOf(Call::InOpen) - (GetParam().call == Call::InOpen ? 1 : 0),
                  driver->CountOf(Call::InClose) - (GetParam().call == Call::InClose ? 1 : 0));
        EXPECT_EQ(driver->CountOf(Call::OutOpen) - (GetParam().call == Call::OutOpen ? 1 : 0),
                  driver->CountOf(Call::OutClose));
    }

    std::shared_ptr<ScriptedMidiDriver> driver;
    JobHarness harness;
    ScopedMidiDrivers drivers;
};

class IdentifyFaultTest : public JobFaultTest {};
class SendFaultTest : public JobFaultTest {};

}  // namespace

TEST_P(IdentifyFaultTest, IsLoggedAndTheJobStillClosesAndEnds)
{
    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    params->sysexDelay = 0;
    params->timeout = 10;
    params->attempts = 1;
    std::snprintf(params->identResult, sizeof params->identResult, "old");
    EXPECT_EQ("Done", harness.Run(&IdentifyJob, *params));
    std::string expected = GetParam().log;
    if (const auto at = expected.find("PARAMS"); at != std::string::npos) {
        expected.replace(at, 6, kParameters);
    }
    EXPECT_EQ("Sonderik 1.0.3 started at <date>\n" + expected + "Finished instrument ident <date>\n", harness.Log());
    if (GetParam().call != Call::InClose) {
        EXPECT_STREQ("old", params->identResult) << "a failed identification names nothing";
    }
    ExpectPortsClosed();
}

INSTANTIATE_TEST_SUITE_P(
    DriverFailures, IdentifyFaultTest,
    ::testing::Values(
        Fault{"InOpen", Call::InOpen, {MMSYSERR_ALLOCATED}, "MidiInWin:121 Cannot open MIDI device for input\r\n"},
        Fault{"InPrepare", Call::InPrepare, {MMSYSERR_INVALPARAM},
              "PARAMSMidiInWin:198 Error 0xB preparing MIDI input buffer\r\n"},
        Fault{"InAdd", Call::InAdd, {MMSYSERR_NOMEM}, "PARAMSMidiInWin:205 Error 0x7 adding MIDI input buffer\r\n"},
        Fault{"InStart", Call::InStart, {MMSYSERR_ERROR},
              "PARAMSMidiInWin:213 Error 0x1 starting MIDI input device\r\n"},
        Fault{"OutOpen", Call::OutOpen, {MMSYSERR_ALLOCATED},
              "PARAMSRequesting Id.MidiOutWin:186 Error 0x5 unpreparing MIDI out header\r\n"},
        Fault{"OutPrepare", Call::OutPrepare, {MMSYSERR_NOMEM},
              "PARAMSRequesting Id.MidiOutWin:128 Error 0x7 preparing MIDI out header\r\n"},
        Fault{"OutLong", Call::OutLong, {MMSYSERR_NODRIVER},
              "PARAMSRequesting Id.MidiOutWin:136 Error 0x6 sending MIDI message\r\n"},
        Fault{"InClose", Call::InClose, {MMSYSERR_ERROR},
              "PARAMSRequesting Id.Requesting Id. No reply to ID request\r\n"
              "MidiInWin:366 Error 0x1 closing MIDI input device\r\n"}));

TEST_P(SendFaultTest, IsLoggedAndTheJobStillClosesAndEnds)
{
    VoiceFileBuilder bank;
    bank.Voice(0, "Faulty", 3).Element(0, 0, 1);
    auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
    ASSERT_TRUE(LoadVoice(*patch, VoiceListLine(bank.Image(), 0), bank.Image()));

    auto params = std::make_unique<EXParams>();
    JobSettings settings = JobHarness::QuickSettings();
    settings.sysexDelay = 0;
    params->PrepareSendVoice(patch.release(), nullptr, nullptr, settings, "1.0.3");
    EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
    EXPECT_EQ(std::string("Sonderik 1.0.3 sent voice patch at <date>\n") + GetParam().log, harness.Log());
    EXPECT_EQ(nullptr, params->patch);
    EXPECT_NE('\0', params->errorText[0]) << "the starter learns that the voice did not go out";
    ExpectPortsClosed();
}

INSTANTIATE_TEST_SUITE_P(
    DriverFailures, SendFaultTest,
    ::testing::Values(
        Fault{"InOpen", Call::InOpen, {MMSYSERR_ALLOCATED}, "MidiInWin:121 Cannot open MIDI device for input\r\n"},
        Fault{"OutPrepare", Call::OutPrepare, {MMSYSERR_NOMEM}, "MidiOutWin:128 Error 0x7 preparing MIDI out header\r\n"},
        Fault{"OutLong", Call::OutLong, {MMSYSERR_NODRIVER}, "MidiOutWin:136 Error 0x6 sending MIDI message\r\n"},
        // The voice is still on its way when the ports close without a delay.
        Fault{"StillPlayingAtClose", Call::OutUnprepare,
              {MMSYSERR_NOERROR, MIDIERR_STILLPLAYING, MIDIERR_STILLPLAYING, MIDIERR_STILLPLAYING,
               MIDIERR_STILLPLAYING},
              "SendSysexVoice confirms: Voice sent\n"
              "Waiting for MIDI Out....MidiOutWin:186 Error 0x41 unpreparing MIDI out header\r\n"}));

// A driver that says why: its words follow the fixed error line, on a line
// of their own, in the log and for the job's starter; the fixed line is as
// it always was.
TEST(JobReasonTest, TheDriversWordsFollowTheFixedErrorLine)
{
    auto driver = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out A"},
                                                       std::vector<std::string>{"In A"});
    driver->AllowAll();
    driver->Explain("the device is busy");
    const ScopedMidiDrivers drivers({driver});
    JobHarness harness;
    VoiceFileBuilder bank;
    bank.Voice(0, "Faulty", 3).Element(0, 0, 1);
    const auto send = [&] {
        auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
        EXPECT_TRUE(LoadVoice(*patch, VoiceListLine(bank.Image(), 0), bank.Image()));
        auto params = std::make_unique<EXParams>();
        params->PrepareSendVoice(patch.release(), nullptr, nullptr, JobHarness::QuickSettings(), "1.0.3");
        EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
        return std::pair<std::string, std::string>(params->errorText, params->errorReason);
    };
    const std::string banner = "Sonderik 1.0.3 sent voice patch at <date>\n";

    driver->Script(Call::InOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ(std::make_pair(std::string("MidiInWin:121 Cannot open MIDI device for input\r\n"),
                             std::string("the device is busy")),
              send());
    EXPECT_EQ(banner + "MidiInWin:121 Cannot open MIDI device for input\r\nthe device is busy\r\n", harness.Log());

    // The output's open answers a code; what fails after it says why.
    driver->Script(Call::OutOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ(std::make_pair(std::string("MidiOutWin:186 Error 0x5 unpreparing MIDI out header\r\n"),
                             std::string("the MIDI output port was not opened: the device is busy")),
              send());
    const std::string logged = banner +
                               "MidiOutWin:186 Error 0x5 unpreparing MIDI out header\r\n"
                               "the MIDI output port was not opened: the device is busy\r\n";
    EXPECT_NE(std::string::npos, harness.Log().find(logged)) << harness.Log();
}
