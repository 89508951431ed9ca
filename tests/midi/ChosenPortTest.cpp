#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "midi/MidiParams.h"
#include "platform/midi/MidiDriver.h"
#include "tests/support/Raised.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"

// A port is chosen by its line and opened as the port that line named:
// followed when the lists moved it, refused, with the driver's words and its
// name, when it went; never whatever took its line.

using Call = ScriptedMidiDriver::Call;

namespace {

class ChosenPortTest : public ::testing::Test {
protected:
    ChosenPortTest() : driver(std::make_shared<ScriptedMidiDriver>(kPorts, kPorts)), drivers({driver})
    {
        driver->Allow({Call::OutOpen, Call::OutUnprepare, Call::OutClose, Call::InOpen, Call::InReset,
                       Call::InUnprepare, Call::InClose});
        params.sysexDelay = 1;
        params.attempts = 2;
        params.midiInPort = 1;
        params.midiOutPort = 1;
        params.midiInName = "Synth";
        params.midiOutName = "Synth";
        midiOutGetNumDevs();  // the listing the choice was made from
        midiInGetNumDevs();
    }

    // The ports there are now, listed again as a refresh would.
    void Replug(const std::vector<std::string>& ports)
    {
        driver->SetPorts(ports, ports);
        platform::RescanMidiPorts();
    }

    // What opening the input raised: its message and its reason.
    static std::string InputRaised(MidiParams& pair, EXParams& params)
    {
        return RaisedBecause([&] { pair.midiIn.Open(params); });
    }

    const std::vector<std::string> kPorts{"Desk", "Synth"};
    std::shared_ptr<ScriptedMidiDriver> driver;
    ScopedMidiDrivers drivers;
    EXParams params;
};

TEST_F(ChosenPortTest, APortThatMovedIsFollowedAndOneThatWentIsNeverReplaced)
{
    Replug({"Synth", "Desk"});
    {
        MidiParams pair;
        EXPECT_EQ("nothing raised", InputRaised(pair, params));
        EXPECT_EQ(MMSYSERR_NOERROR, pair.midiOut.Open(params));
        EXPECT_EQ(0u, params.midiInPort) << "followed to its new line";
        EXPECT_EQ(0u, params.midiOutPort);
        pair.midiOut.Close(params);
        pair.midiIn.Close(params);
    }

    Replug({"Desk", "Other"});
    const int opensBefore = driver->CountOf(Call::OutOpen) + driver->CountOf(Call::InOpen);
    MidiParams pair;
    EXPECT_EQ("Cannot open MIDI device for input / \"Synth\" is not there any more", InputRaised(pair, params));
    EXPECT_EQ(static_cast<MMRESULT>(MIDIERR_NODEVICE), pair.midiOut.Open(params));
    EXPECT_EQ(opensBefore, driver->CountOf(Call::OutOpen) + driver->CountOf(Call::InOpen))
        << "nothing is opened in a gone port's place";
    EXPECT_EQ("the MIDI output port was not opened: \"Synth\" is not there any more", pair.midiOut.OpenFailure());
    EXPECT_EQ("Error 0x5 sending MIDI message / " + pair.midiOut.OpenFailure(),
              RaisedBecause([&] { pair.midiOut.SendShortMessage(params, 0x90, 60, 64); }))
        << "the fixed text as ever, and the open's reason with it";
}

// A failed open lists the ports anew: the port is looked for in that
// listing, and the driver's words travel with whatever is raised.
TEST_F(ChosenPortTest, AFailedOpenIsTriedOnceMoreWhereTheNewListingHasThePortAndSaysWhy)
{
    driver->Explain("the device is busy");
    driver->SetPorts({"Synth"}, {"Synth"});  // not listed until the open fails
    driver->Script(Call::OutOpen, {MMSYSERR_ALLOCATED});
    MidiParams pair;
    EXPECT_EQ(MMSYSERR_NOERROR, pair.midiOut.Open(params));
    EXPECT_EQ(0u, params.midiOutPort);
    EXPECT_EQ(2, driver->CountOf(Call::OutOpen));
    pair.midiOut.Close(params);

    platform::RescanMidiPorts();  // listed where it is now
    driver->Script(Call::InOpen, {MMSYSERR_ALLOCATED});
    EXPECT_EQ("Cannot open MIDI device for input / the device is busy", InputRaised(pair, params));
    EXPECT_EQ(1, driver->CountOf(Call::InOpen)) << "a port still listed where it was is not tried again";
}

}  // namespace
