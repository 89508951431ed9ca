#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/midi/MidiDriver.h"
#include "platform/threads/WinSync.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/ScriptedMidiDriver.h"

using namespace std::chrono_literals;

namespace {

TEST(MidiLayerTest, PortsAreNumberedAcrossDriversAndThereIsNoMapper)
{
    auto scripted = std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{"Synth A", "Synth B"},
                                                         std::vector<std::string>{"Keys"});
    const ScopedMidiDrivers drivers({scripted, std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})});

    ASSERT_EQ(3u, midiOutGetNumDevs());
    ASSERT_EQ(2u, midiInGetNumDevs());
    MIDIOUTCAPSA out{};
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutGetDevCapsA(2, &out, sizeof out));
    EXPECT_STREQ("Sonderik virtual EX5 (built in)", out.szPname);
    MIDIINCAPSA in{};
    EXPECT_EQ(MMSYSERR_NOERROR, midiInGetDevCapsA(0, &in, sizeof in));
    EXPECT_STREQ("Keys", in.szPname);
    EXPECT_EQ(MMSYSERR_BADDEVICEID, midiInGetDevCapsA(2, &in, sizeof in));
    EXPECT_EQ(MMSYSERR_INVALPARAM, midiOutGetDevCapsA(0, nullptr, sizeof out));

    HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(&out);
    EXPECT_EQ(MMSYSERR_BADDEVICEID, midiOutOpen(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(nullptr, handle) << "a failed open leaves no handle";
    HMIDIIN input = nullptr;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, midiInOpen(&input, MIDI_MAPPER, 0, 0, CALLBACK_NULL));
    EXPECT_TRUE(scripted->Calls().empty());

    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&handle, 2, 0, 0, CALLBACK_NULL));
    HMIDIOUT second = nullptr;
    EXPECT_EQ(MMSYSERR_ALLOCATED, midiOutOpen(&second, 2, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(handle, 0x403C90));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(handle));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, midiOutShortMsg(handle, 0x403C90)) << "a closed handle is refused, not used";
    EXPECT_EQ(MMSYSERR_INVALHANDLE, midiOutClose(handle));
    EXPECT_EQ(MMSYSERR_INVALHANDLE, midiInStart(reinterpret_cast<HMIDIIN>(&in)));
}

// What a test installs goes when its scope does, and what was there before
// comes back, nested or not, and also when nothing had been installed yet.
TEST(MidiLayerTest, ScopedDriversPutBackWhatWasThereBefore)
{
    const auto firstOutput = [] {
        MIDIOUTCAPSA caps{};
        return midiOutGetDevCapsA(0, &caps, sizeof caps) == MMSYSERR_NOERROR ? std::string(caps.szPname) : "";
    };
    const auto synth = [](const std::string& name) {
        return std::make_shared<ScriptedMidiDriver>(std::vector<std::string>{name}, std::vector<std::string>{});
    };
    const bool builtBefore = platform::InstalledMidiDrivers().has_value();
    {
        const ScopedMidiDrivers outer({synth("Outer")});
        {
            const ScopedMidiDrivers inner({synth("Inner")});
            inner.Install({synth("Plugged in")});
            EXPECT_EQ("Plugged in", firstOutput());
        }
        EXPECT_EQ("Outer", firstOutput());
        ASSERT_TRUE(platform::InstalledMidiDrivers().has_value());
        EXPECT_EQ(1u, platform::InstalledMidiDrivers()->size());
    }
    EXPECT_EQ(builtBefore, platform::InstalledMidiDrivers().has_value());
}

TEST(MidiLayerTest, AMachineWithoutSequencerOrJackServerListsWhatItHasAndNothingFails)
{
    // Whichever of them this build has: the ALSA sequencer, JACK, or none.
    for (const auto& system : platform::DefaultMidiDrivers()) {
        const UINT outputs = system->OutputCount();
        for (UINT port = 0; port < outputs; ++port) {
            EXPECT_FALSE(system->OutputName(port).empty());
        }
        std::shared_ptr<MidiOutDevice> device;
        EXPECT_EQ(MMSYSERR_BADDEVICEID, system->OpenOutput(outputs + 5, MidiOutCallback{}, device));
        std::shared_ptr<MidiInDevice> input;
        EXPECT_EQ(MMSYSERR_BADDEVICEID, system->OpenInput(system->InputCount(), MidiInCallback{}, input));
    }
}

#ifndef _WIN32  // the stand-ins for the system's events
TEST(WinSyncTest, EventsWaitWithABoundAndRefuseStaleHandles)
{
    const HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, TRUE, FALSE, "named"));

    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(manual, 1));
    std::thread setter([&] { SetEvent(manual); });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(manual, 10000));
    setter.join();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(manual, 0)) << "a manual-reset event stays set";
    EXPECT_NE(FALSE, ResetEvent(manual));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(manual, 0));

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(automatic, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(automatic, 0)) << "an auto-reset event clears on a wait";

    EXPECT_NE(FALSE, CloseHandle(manual));
    EXPECT_NE(FALSE, CloseHandle(automatic));
    EXPECT_EQ(FALSE, SetEvent(manual));
    EXPECT_EQ(FALSE, ResetEvent(nullptr));
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(manual, 0));
    EXPECT_EQ(FALSE, CloseHandle(manual));
}
#endif

}  // namespace
