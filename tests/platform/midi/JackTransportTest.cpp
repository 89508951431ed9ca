#include <gtest/gtest.h>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/Cli.h"
#include "platform/midi/JackMidiDriver.h"
#include "simulator/ProgramDrivers.h"
#include "simulator/VirtualEX5.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/CliRun.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/JackPeer.h"
#include "tests/support/JackServer.h"
#include "tests/support/JobHarness.h"
#include "tests/support/PortIndex.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/Within.h"

// The program against an outside JACK client made here (JackPeer), which
// answers an Identity Request in the very cycle it arrives. A dummy server
// without realtime (and the more so under a sanitizer) can miss cycles, and
// JACK may lose a message then: the peer counts those misses, and a message
// may be sent again only when one happened while it was on its way.

using namespace std::chrono_literals;

namespace {

class JackTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!JackServerRunning()) {
            GTEST_SKIP() << "skipped: no JACK server is running";
        }
        ASSERT_TRUE(peer.Ready());
        drivers.Install({jack, instrument});
    }

    CliRun Cli(const std::vector<std::string>& args)
    {
        return ::Cli(args, [this] {
            drivers.Install({jack, instrument});
            return instrument.get();
        });
    }

    // Other programs' ports may come and go between two listings (another
    // test's peer, another Sonderik's ports), so the jobs find the peer by
    // name, as the window does, and not by an index listed earlier.
    void StorePeerPorts() const
    {
        ASSERT_TRUE(SaveSettings(MemorySettings(Settings{"", -1, -1, 0, 0, 1, false, peer.OutName(), peer.InName(), false, false, ""})));
    }

    // Every port listed now that belongs to the program's own client.
    std::vector<std::string> OwnPortsListed() const
    {
        platform::RescanMidiPorts();
        const std::string own = jack->ClientName() + ":";
        std::vector<std::string> found;
        for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) {
            MIDIOUTCAPSA caps{};
            if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                std::string(caps.szPname).rfind(own, 0) == 0) {
                found.emplace_back(caps.szPname);
            }
        }
        for (UINT i = 0, n = midiInGetNumDevs(); i < n; ++i) {
            MIDIINCAPSA caps{};
            if (midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                std::string(caps.szPname).rfind(own, 0) == 0) {
                found.emplace_back(caps.szPname);
            }
        }
        return found;
    }

    ConfigFolder config;
    JobHarness harness;  // a folder of its own for the log
    JackPeer peer;
    std::shared_ptr<JackMidiDriver> jack = std::make_shared<JackMidiDriver>();
    std::shared_ptr<VirtualEX5Driver> instrument =
        std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig("", nullptr));
    ScopedMidiDrivers drivers;
};

std::size_t Requests(const std::vector<JackPeer::Bytes>& received)
{
    std::size_t n = 0;
    for (const JackPeer::Bytes& m : received) {
        if (virtual_ex5::IdentityRequestTarget(m)) {
            ++n;
        }
    }
    return n;
}

}  // namespace

TEST_F(JackTransportTest, JobsOpenExactlyThePeersPortsAndNeverTheProgramsOwn)
{
    const UINT peerIn = OutPortIndex(peer.InName());
    ASSERT_NE(kNotListed, peerIn) << "the peer's input is listed";
    ASSERT_NE(kNotListed, InPortIndex(peer.OutName())) << "the peer's output is listed";
    const UINT builtIn = OutPortIndex(instrument->OutputName(0));
    ASSERT_NE(kNotListed, builtIn) << "the built-in instrument is listed";
    EXPECT_LT(peerIn, builtIn) << "listed before the built-in";
    StorePeerPorts();

    const CliRun identify = Cli({"identify", "--sysex-delay", "0"});
    ASSERT_EQ(0, identify.status) << identify.err;
    EXPECT_EQ("EX5\n", identify.out);
    std::ifstream log(harness.Dir().File("Sonderik.log"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos,
              text.find("Parameters: MIDI OUT=" + peer.InName() + ", MIDI IN=" + peer.OutName() + "\r\n"))
        << text;

    // While the program holds ports open, its own stay out of the lists.
    HMIDIIN in = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&in, InPortIndex(peer.OutName()), 0, 0, CALLBACK_NULL));
    HMIDIOUT out = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, OutPortIndex(peer.InName()), 0, 0, CALLBACK_NULL));
    EXPECT_FALSE(jack->ClientName().empty());
    EXPECT_EQ(std::vector<std::string>{}, OwnPortsListed());
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(in));

    const CliRun send = Cli({"send", SONDERIK_DEMO_FILE, "I1-002", "--sysex-delay", "0", "--midi-delay", "0"});
    EXPECT_EQ(0, send.status) << send.err;
    EXPECT_EQ("Sent I1-002 Glass Grand to " + peer.InName() + "\n", send.out);
    EXPECT_TRUE(instrument->Instrument().GetReceived().voices.empty()) << "nothing went to the built-in instrument";
}

// What the programs install, rather than the drivers this fixture picks:
// the build's JACK driver is among them, ahead of the built-in instrument.
TEST_F(JackTransportTest, TheProgramsDriversListTheServersPortsBeforeTheBuiltInInstrument)
{
    const std::shared_ptr<VirtualEX5Driver> builtIn = InstallProgramMidiDrivers();
    const UINT peerIn = OutPortIndex(peer.InName());
    const UINT peerOut = InPortIndex(peer.OutName());
    ASSERT_NE(kNotListed, peerIn);
    ASSERT_NE(kNotListed, peerOut);
    EXPECT_LT(peerIn, OutPortIndex(builtIn->OutputName(0)));
    EXPECT_LT(peerOut, InPortIndex(builtIn->InputName(0)));
}

TEST_F(JackTransportTest, EachIdentificationNeedsOneRequestWhenThePeerAnswersAtOnce)
{
    StorePeerPorts();
    for (int round = 0; round < 5; ++round) {
        const std::size_t before = Requests(peer.Received());
        const int xruns = peer.Xruns();
        const CliRun run = Cli({"identify", "--sysex-delay", "0", "--timeout", "500"});
        ASSERT_EQ(0, run.status) << run.err;
        const std::size_t used = Requests(peer.Received()) - before;
        if (peer.Xruns() == xruns) {
            EXPECT_EQ(1u, used) << "round " << round;
        } else {
            EXPECT_GE(used, 1u) << "round " << round << " met a missed cycle and could ask again";
        }
    }
}

TEST_F(JackTransportTest, TwentyVoicesSentWithZeroDelaysAllArriveWhole)
{
    StorePeerPorts();
    const std::string exported = harness.Dir().File("voice.syx");
    ASSERT_EQ(0, Cli({"export", SONDERIK_DEMO_FILE, "I1-004", "-o", exported}).status);
    std::ifstream file(exported, std::ios::binary);
    const JackPeer::Bytes voice((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(voice.size(), 400u);

    int delivered = 0;
    int retried = 0;
    for (int attempt = 0; delivered < 20 && attempt < 40; ++attempt) {
        const std::size_t before = peer.Received().size();
        const int xruns = peer.Xruns();
        const CliRun run = Cli({"send", SONDERIK_DEMO_FILE, "I1-004", "--sysex-delay", "0", "--midi-delay", "0"});
        ASSERT_EQ(0, run.status) << run.err;
        if (peer.Await(before + 1, 2s)) {
            EXPECT_EQ(voice, peer.Received().back()) << "voice " << delivered << " arrived byte for byte";
            ++delivered;
        } else {
            ASSERT_NE(xruns, peer.Xruns()) << "voice " << delivered << " was lost without a missed cycle";
            ++retried;
        }
    }
    EXPECT_EQ(20, delivered) << retried << " sent again after a missed cycle";
}

TEST_F(JackTransportTest, AClosedPortStaysForTheNextJobAndIsConnectedAgainWhenCut)
{
    StorePeerPorts();
    const std::vector<std::string> send = {"send", SONDERIK_DEMO_FILE, "I1-002", "--sysex-delay", "0",
                                           "--midi-delay", "0"};
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(0, Cli(send).status) << "round " << round;
    }
    const std::vector<std::string> feeding = peer.InConnections();
    ASSERT_EQ(1u, feeding.size()) << "one port of ours served every job";
    EXPECT_EQ(0u, feeding[0].rfind(jack->ClientName() + ":", 0)) << feeding[0];

    peer.DisconnectIn();
    ASSERT_TRUE(Within(2s, [&] { return peer.InConnections().empty(); }));
    const std::size_t before = peer.Received().size();
    const int xruns = peer.Xruns();
    const CliRun again = Cli(send);
    EXPECT_EQ(0, again.status) << again.err;
    EXPECT_EQ(feeding, peer.InConnections()) << "the idle port was connected again";
    if (!peer.Await(before + 1, 2s)) {
        EXPECT_NE(xruns, peer.Xruns()) << "the voice was lost without a missed cycle";
    }
}
