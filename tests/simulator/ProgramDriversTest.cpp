#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiDriver.h"
#include "simulator/ProgramDrivers.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"

namespace {

// The port list of one direction, as the layer lists it now.
template <typename Caps>
std::vector<std::string> Names(UINT (*count)(), MMRESULT (*capsOf)(UINT_PTR, Caps*, UINT))
{
    std::vector<std::string> names;
    for (UINT i = 0, n = count(); i < n; ++i) {
        Caps caps{};
        EXPECT_EQ(MMSYSERR_NOERROR, capsOf(i, &caps, sizeof caps));
        names.emplace_back(caps.szPname);
    }
    return names;
}

// Whatever ports this machine and this build have come first, so that the
// indices the settings store for them stay as they were; the built-in
// instrument's come once, last, configured from the environment.
TEST(ProgramDriversTest, TheBuiltInInstrumentComesAfterTheSystemsPortsAsTheEnvironmentSaysAndIsTheOneReturned)
{
    const ScopedEnv model("SONDERIK_VIRTUAL_EX5", "model=EX7");
    const ScopedMidiDrivers drivers;
    const std::shared_ptr<VirtualEX5Driver> builtIn = InstallProgramMidiDrivers();
    ASSERT_NE(nullptr, builtIn);
    const std::string name = "Sonderik virtual EX7 (built in)";
    for (const auto& names : {Names(&midiOutGetNumDevs, &midiOutGetDevCapsA), Names(&midiInGetNumDevs, &midiInGetDevCapsA)}) {
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(name, names.back());
        EXPECT_EQ(1, std::count(names.begin(), names.end(), name));
    }

    HMIDIOUT out = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, midiOutGetNumDevs() - 1, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(out, 0x403C90));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    const auto received = builtIn->Instrument().GetReceived().channelMessages;
    ASSERT_EQ(1u, received.size()) << "the driver returned is the one behind the last port";
    EXPECT_EQ(virtual_ex5::Bytes({0x90, 0x3C, 0x40}), received[0]);
}

}  // namespace
