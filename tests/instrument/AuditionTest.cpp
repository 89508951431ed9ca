#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Audition.h"
#include "midi/MidiParams.h"
#include "platform/midi/MidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"

using Bytes = std::vector<std::uint8_t>;
using Call = ScriptedMidiDriver::Call;
using namespace std::chrono_literals;

namespace {

const Bytes kC{0x90, 0x3C, 0x40}, kEb{0x90, 0x3F, 0x40}, kE{0x90, 0x40, 0x40}, kG{0x90, 0x43, 0x40},
    kHighC{0x90, 0x48, 0x40};
const std::vector<Bytes> kRelease{
    {0x90, 0x3C, 0x00}, {0x90, 0x3F, 0x00}, {0x90, 0x40, 0x00}, {0x90, 0x43, 0x00}, {0x90, 0x48, 0x00}};

std::vector<Bytes> Then(std::vector<Bytes> first, const std::vector<Bytes>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The job parameters as the dialog leaves them after a job on ports 0.
void LastJob(EXParams& params, std::uint32_t sysexDelay)
{
    params.PrepareIdentify(nullptr, JobSettings{0, 0, 1, sysexDelay, 0, {}, {}}, "1.0.3");
}

struct PressCase {
    int control;
    std::vector<Bytes> pressed;
};

class AuditionSequenceTest : public ::testing::TestWithParam<PressCase> {};

TEST_P(AuditionSequenceTest, PressAndReleaseSendTheirNotesInOrder)
{
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({driver});
    EXParams params;
    LastJob(params, 0);
    Audition audition(params, 1ms);

    EXPECT_EQ(1, audition.OnAuditionPress(GetParam().control, 0x00050007));
    EXPECT_EQ(1, audition.StopAudition(GetParam().control, 0));
    EXPECT_EQ(Then(GetParam().pressed, kRelease), driver->Instrument().GetReceived().channelMessages);
    EXPECT_EQ(nullptr, params.midiOutHandle) << "the job's handle field is left alone";

    // Each action opened and closed its own ports, so a second one can too.
    driver->Instrument().Clear();
    audition.StopAudition(0, 0);
    EXPECT_EQ(kRelease, driver->Instrument().GetReceived().channelMessages);
}

INSTANTIATE_TEST_SUITE_P(Buttons, AuditionSequenceTest,
                         ::testing::Values(PressCase{Audition::kNoteControl, {kC}},
                                           PressCase{Audition::kMajorControl, {kC, kE, kG}},
                                           PressCase{Audition::kMinorControl, {kC, kEb, kG}},
                                           PressCase{Audition::kTrillControl, {kC, kE, kG, kHighC}},
                                           PressCase{6, {kC, kE, kG, kHighC}},
                                           PressCase{1000, {kC, kE, kG, kHighC}}));

TEST(AuditionTest, TheRunHoldsItsPauseAndTheSysexDelayBetweenNotesAndTheChordDoesNot)
{
    auto driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const ScopedMidiDrivers drivers({driver});
    EXParams params;
    LastJob(params, 10);
    Audition audition(params, 60ms);

    audition.PlayTrill();
    audition.PlayMajorChord();
    const auto received = driver->Instrument().GetReceived();
    ASSERT_EQ(7u, received.channelTimes.size());
    for (std::size_t i = 1; i < 4; ++i) {
        const auto gap = received.channelTimes[i] - received.channelTimes[i - 1];
        // 60 ms pause and 10 ms delay; a note may leave the port's queue a
        // little late, the next one then a little less late. How far above
        // this the gaps land is audition_bench's BM_NoteGapsBuiltIn.
        EXPECT_GE(gap, 65ms) << "before note " << i;
    }
    for (std::size_t i = 5; i < 7; ++i) {
        const auto gap = received.channelTimes[i] - received.channelTimes[i - 1];
        EXPECT_GE(gap, 5ms) << "the SysEx delay spaces the chord's notes too";
    }
}

// A conversation whose SendShort answers nonzero from its `failAt`-th note
// on, as a driver reporting by result would.
class RefusingMidi : public Midi {
public:
    explicit RefusingMidi(int failAt) : failAt_(failAt) {}
    int SendShort(EXParams& params, MidiParams& pair, std::uint8_t status, std::uint8_t data1,
                  std::uint8_t data2) override
    {
        if (sent_++ >= failAt_) {
            return 1;
        }
        return Midi::SendShort(params, pair, status, data1, data2);
    }

private:
    int failAt_;
    int sent_ = 0;
};

struct FailureCase {
    int control;  // 0: the release
    int failAt;
    std::string report;
};

class AuditionFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AuditionFailureTest, EachNoteHasItsOwnErrorLine)
{
    auto driver = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Out"}, std::vector<std::string>{"In"});
    driver->AllowAll();
    const ScopedMidiDrivers drivers({driver});
    EXParams params;
    LastJob(params, 0);
    const int failAt = GetParam().failAt;
    Audition audition(params, 0ms, [failAt] { return std::make_unique<RefusingMidi>(failAt); });

    EXPECT_EQ(GetParam().report, ReportAudition([&] {
                  if (GetParam().control == 0) {
                      audition.StopAudition(0, 0);
                  } else {
                      audition.OnAuditionPress(GetParam().control, 0);
                  }
              }));
    EXPECT_EQ(failAt, static_cast<int>(driver->Sent().size())) << "nothing after the note that failed";
    EXPECT_EQ(1, driver->CountOf(Call::OutClose)) << "the ports are closed after a failure";
    EXPECT_EQ(1, driver->CountOf(Call::InClose));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AuditionFailureTest,
    ::testing::Values(FailureCase{7, 0, "SonderikDlg:1595 Error sending note"},
                      FailureCase{4, 0, "SonderikDlg:1617 Error sending chord #1"},
                      FailureCase{4, 1, "SonderikDlg:1621 Error sending chord #1"},
                      FailureCase{4, 2, "SonderikDlg:1625 Error sending chord #1"},
                      FailureCase{3, 0, "SonderikDlg:1648 Error sending chord #1"},
                      FailureCase{3, 1, "SonderikDlg:1652 Error sending chord #1"},
                      FailureCase{3, 2, "SonderikDlg:1656 Error sending chord #1"},
                      FailureCase{5, 0, "SonderikDlg:1549 Error sending trill #1"},
                      FailureCase{5, 1, "SonderikDlg:1556 Error sending trill #1"},
                      FailureCase{5, 2, "SonderikDlg:1562 Error sending trill #1"},
                      FailureCase{5, 3, "SonderikDlg:1568 Error sending trill #1"},
                      FailureCase{0, 0, "SonderikDlg:1491 Error sending note off"},
                      FailureCase{0, 1, "SonderikDlg:1495 Error sending note off"},
                      FailureCase{0, 2, "SonderikDlg:1499 Error sending note off"},
                      FailureCase{0, 3, "SonderikDlg:1503 Error sending note off"},
                      FailureCase{0, 4, "SonderikDlg:1507 Error sending note off"}));

class AuditionDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        drivers.Install({driver});
        LastJob(params, 0);
    }

    std::shared_ptr<ScriptedMidiDriver> driver = std::make_shared<ScriptedMidiDriver>(
        std::vector<std::string>{"Out"}, std::vector<std::string>{"In"});
    EXParams params;
    Audition audition{params, 0ms};
    ScopedMidiDrivers drivers;
};

TEST_F(AuditionDriverTest, ThePortsFailuresAreRaisedAndTheReleaseWorksOnceThePortDoes)
{
    driver->AllowAll();
    driver->Script(Call::InOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ("MidiInWin:121 Cannot open MIDI device for input", ReportAudition([&] { audition.PlayNote(); }));
    EXPECT_EQ(0, driver->CountOf(Call::OutOpen));

    driver->Script(Call::OutOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ("SonderikDlg:1470 Error 0x4 opening MIDI device for output",
              ReportAudition([&] { audition.PlayNote(); }));
    EXPECT_EQ(0, driver->CountOf(Call::OutShort));

    driver->Script(Call::OutShort, {MMSYSERR_ERROR});
    EXPECT_EQ("MidiOutWin:105 Error 0x1 sending MIDI message", ReportAudition([&] { audition.PlayMajorChord(); }));
    EXPECT_EQ(1, driver->CountOf(Call::OutShort)) << "the chord stops at the note that failed";

    EXPECT_EQ("", ReportAudition([&] { audition.StopAudition(Audition::kMajorControl, 0); }));
    EXPECT_EQ(kRelease, driver->Sent());
    EXPECT_EQ(driver->CountOf(Call::InOpen) - 1, driver->CountOf(Call::InClose)) << "every port opened is closed";
    EXPECT_EQ(driver->CountOf(Call::OutOpen) - 1, driver->CountOf(Call::OutClose));
}

TEST_F(AuditionDriverTest, ThePortsAndDelayOfTheLastJobAreUsedAtEachAction)
{
    driver->AllowAll();
    params.midiOutPort = 5;  // the next job's port
    EXPECT_EQ("SonderikDlg:1470 Error 0x2 opening MIDI device for output",
              ReportAudition([&] { audition.PlayNote(); }));
    params.midiOutPort = 0;
    EXPECT_EQ("", ReportAudition([&] { audition.PlayNote(); }));
    EXPECT_EQ(1u, driver->Sent().size());
}

}  // namespace
