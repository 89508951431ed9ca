#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/MidiCommands.h"
#include "instrument/Jobs.h"
#include "midi/MidiOutWin.h"
#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinMidi.h"
#include "simulator/VirtualEX5.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/JackPeer.h"
#include "tests/support/JackServer.h"
#include "tests/support/JobHarness.h"
#include "tests/support/PortIndex.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/SysexCalls.h"
#include "tests/support/TempDir.h"
#include "tests/support/VoiceFileBuilder.h"
#include "tests/support/Within.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

// A JACK server of the test's own, stopped while the program holds a port
// on it and after it left another idle: what was open fails cleanly and
// nothing waits for a server that is gone; a server started again under the
// same name is found at the next refresh of the port lists.
//
// libjack closes and frees every client of a server that went at the next
// client open anywhere in the process, so a peer of the old server is closed
// before anything else in the test opens a client.

using namespace std::chrono_literals;

namespace {

// What servers of this name and their clients left in /dev/shm: the clients
// of a server that went cannot remove their semaphores.
std::vector<std::filesystem::path> Leftovers(const std::string& server)
{
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        if (entry.path().filename().string().find(server) != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// A JACK server of the test's own, named after the test and this process
// and made the default one for the test's scope. However the test ends, the
// drivers installed with it are taken away while it may still run (the ones
// before come back), it is stopped with TERM
// (a server killed outright keeps its slot in libjack's registry, which has
// only a few, so that no server could start on the machine any more) and
// what it left in /dev/shm goes.
class OwnServer {
public:
    OwnServer(const std::string& test, std::filesystem::path logFolder)
        : name_("sonderik-" + test + "-" + std::to_string(::getpid())), logFolder_(std::move(logFolder)),
          env_("JACK_DEFAULT_SERVER", name_)
    {
    }
    ~OwnServer()
    {
        drivers_.reset();
        Stop();
        for (const auto& path : Leftovers(name_)) {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    }
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    // True once `answers` says it is there; each start has a log of its own.
    bool Start(const std::function<bool()>& answers = &JackServerRunning)
    {
        const std::string log = (logFolder_ / ("jackd-" + std::to_string(++starts_) + ".log")).string();
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000",
                                     "-p", "256"},
            std::vector<std::string>{}, log);
        return process_->Started() && Within(5s, answers);
    }
    void Stop()
    {
        if (process_) {
            process_->Terminate();
        }
    }
    const std::string& Name() const { return name_; }
    void InstallDrivers(ScopedMidiDrivers::Drivers drivers) { drivers_.emplace(std::move(drivers)); }

private:
    std::string name_;
    std::filesystem::path logFolder_;
    ScopedEnv env_;
    std::unique_ptr<ChildProcess> process_;
    int starts_ = 0;
    std::optional<ScopedMidiDrivers> drivers_;
};

}  // namespace

TEST(JackServerGoneTest, PortsOnAServerThatStoppedFailCleanlyAndLeaveTheLists)
{
    const TempDir dir;
    OwnServer server("gone", dir.Path());
    if (!server.Start()) {
        GTEST_SKIP() << "skipped: no JACK server of our own could be started";
    }
    auto jack = std::make_shared<JackMidiDriver>();
    server.InstallDrivers({jack});
    {
        JackPeer peer("gone-peer");
        ASSERT_TRUE(peer.Ready());
        platform::RescanMidiPorts();
        const UINT index = OutPortIndex(peer.InName());
        ASSERT_NE(kNotListed, index);
        HMIDIOUT idle = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&idle, index, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutClose(idle));  // left idle and connected
        HMIDIOUT out = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, index, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(out, 0x403C90));

        server.Stop();
        EXPECT_TRUE(Within(5s, [&] { return midiOutShortMsg(out, 0x403C90) != MMSYSERR_NOERROR; }))
            << "a note sent after the server went is not reported as sent";
        EXPECT_EQ(MMSYSERR_NOERROR, midiOutReset(out));
        EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    }
    platform::RescanMidiPorts();
    EXPECT_EQ(0u, midiOutGetNumDevs());
    EXPECT_EQ(0u, midiInGetNumDevs());
}

// The program still holds an output and an input on the first server, and
// left an output idle, when the server stops; a second server under the
// same name starts beside what the first left in /dev/shm. A refresh finds
// the new server's ports and only those, a SysEx and a note reach a peer
// there and its reply comes back, and the ports held since the first
// server close without harm to the new client.
TEST(JackServerGoneTest, ARefreshAfterTheServerRestartedFindsTheNewServerAndReachesItsPeers)
{
    const TempDir dir;
    OwnServer server("restart", dir.Path());
    if (!server.Start()) {
        GTEST_SKIP() << "skipped: no JACK server of our own could be started";
    }
    auto jack = std::make_shared<JackMidiDriver>();
    server.InstallDrivers({jack});
    HMIDIOUT heldOut = nullptr;
    HMIDIIN heldIn = nullptr;
    std::string oldPeerIn;
    {
        JackPeer old("restart-old");
        ASSERT_TRUE(old.Ready());
        oldPeerIn = old.InName();
        platform::RescanMidiPorts();
        const UINT index = OutPortIndex(old.InName());
        ASSERT_NE(kNotListed, index);
        HMIDIOUT idle = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&idle, index, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutClose(idle));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&heldOut, index, 0, 0, CALLBACK_NULL));
        const UINT source = InPortIndex(old.OutName());
        ASSERT_NE(kNotListed, source);
        ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&heldIn, source, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiInStart(heldIn));

        server.Stop();
        ASSERT_TRUE(Within(5s, [&] { return midiOutShortMsg(heldOut, 0x403C90) != MMSYSERR_NOERROR; }));
    }  // the old peer closes before any other client of this process opens
    platform::RescanMidiPorts();
    EXPECT_EQ(0u, midiOutGetNumDevs()) << "no server, no ports";
    ASSERT_FALSE(Leftovers(server.Name()).empty()) << "the first server left its shared memory behind";

    // As a user would: refresh the port list until the program finds it.
    // Nothing else opens a client first, which would free the old one.
    ASSERT_TRUE(server.Start([&] {
        platform::RescanMidiPorts();
        return !jack->ClientName().empty();
    })) << "the new server was not found";
    JackPeer fresh("restart-new");
    ASSERT_TRUE(fresh.Ready());
    {
        JackPeer quitter("restart-quit");
        ASSERT_TRUE(quitter.Ready());
        platform::RescanMidiPorts();
        ASSERT_NE(kNotListed, OutPortIndex(quitter.InName()));
    }
    platform::RescanMidiPorts();
    EXPECT_EQ(kNotListed, OutPortIndex("restart-quit:in")) << "a peer that quit is not listed";
    EXPECT_EQ(kNotListed, OutPortIndex(oldPeerIn)) << "nor a peer of the old server";
    const UINT target = OutPortIndex(fresh.InName());
    ASSERT_NE(kNotListed, target);
    const UINT source = InPortIndex(fresh.OutName());
    ASSERT_NE(kNotListed, source);

    HMIDIIN in = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&in, source, 0, 0, CALLBACK_NULL));
    std::array<char, 64> replyBuffer{};
    MIDIHDR reply{};
    ASSERT_EQ(MMSYSERR_NOERROR, CaptureInto(in, reply, replyBuffer));
    HMIDIOUT out = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, target, 0, 0, CALLBACK_NULL));

    // The ports held since the first server close first: their client must
    // not take the new one with it.
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(heldOut));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInStop(heldIn));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(heldIn));

    // A dummy server without realtime can miss a cycle, and lose a message
    // then: only such a miss allows sending again.
    const auto replied = [&] { return (reply.dwFlags & MHDR_DONE) != 0; };
    const std::vector<std::uint8_t> request = {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
    for (int attempt = 0; attempt < 3 && !replied(); ++attempt) {
        const std::size_t before = fresh.Received().size();
        const int xruns = fresh.Xruns();
        ASSERT_EQ(MMSYSERR_NOERROR, SendSysex(out, request, 2s));
        if (!fresh.Await(before + 1, 2s) || !Within(2s, replied)) {
            ASSERT_NE(xruns, fresh.Xruns()) << "the request or its reply was lost without a missed cycle";
        }
    }
    ASSERT_TRUE(replied()) << "the peer's reply came in";
    EXPECT_EQ(request, fresh.Received().back());
    EXPECT_EQ(MMSYSERR_NOERROR, midiInReset(in));
    const auto answer = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
    ASSERT_EQ(answer.size(), reply.dwBytesRecorded);
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), reinterpret_cast<const std::uint8_t*>(replyBuffer.data())));

    const std::size_t sysexes = fresh.Received().size();
    for (int attempt = 0; attempt < 3 && fresh.Received().size() == sysexes; ++attempt) {
        const int xruns = fresh.Xruns();
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(out, 0x403C90));
        if (!fresh.Await(sysexes + 1, 2s)) {
            ASSERT_NE(xruns, fresh.Xruns()) << "the note was lost without a missed cycle";
        }
    }
    ASSERT_EQ(sysexes + 1, fresh.Received().size());
    EXPECT_EQ((std::vector<std::uint8_t>{0x90, 0x3C, 0x40}), fresh.Received().back());

    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInUnprepareHeader(in, &reply, sizeof reply));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(in));
}

// A job is given its ports as they were listed when they were chosen. The
// server goes before the job opens them: the lines its JACK ports had now
// belong to the built-in instrument, and the job fails naming the port it
// was given instead of sending there.
TEST(JackServerGoneTest, AJobWhosePortsWentWithTheServerFailsNamingThemAndOpensNoOther)
{
    const TempDir dir;
    OwnServer server("chosen", dir.Path());
    if (!server.Start()) {
        GTEST_SKIP() << "skipped: no JACK server of our own could be started";
    }
    auto builtIn = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    server.InstallDrivers({std::make_shared<JackMidiDriver>(), builtIn});
    JobSettings toPeer = JobHarness::QuickSettings();
    JobSettings fromPeer = JobHarness::QuickSettings();
    std::string peerIn;
    std::string peerOut;
    {
        JackPeer peer("chosen-peer");
        ASSERT_TRUE(peer.Ready());
        peerIn = peer.InName();
        peerOut = peer.OutName();
        platform::RescanMidiPorts();
        const auto choose = [](JobSettings& settings, const std::string& in, const std::string& out) {
            settings.midiInPort = InPortIndex(in);
            settings.midiOutPort = OutPortIndex(out);
            settings.midiInName = in;
            settings.midiOutName = out;
        };
        choose(toPeer, builtIn->InputName(0), peerIn);
        choose(fromPeer, peerOut, builtIn->OutputName(0));
        ASSERT_EQ(0u, toPeer.midiOutPort) << "the line the built-in instrument's port takes once the peer's is gone";
        ASSERT_EQ(0u, fromPeer.midiInPort);
        server.Stop();
    }  // the peer closes before anything opens a client

    VoiceFileBuilder bank;
    bank.Voice(0, "Lost", 3).Element(0, 0, 1);
    JobHarness harness;
    const auto send = [&](const JobSettings& settings) {
        auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
        EXPECT_TRUE(LoadVoice(*patch, VoiceListLine(bank.Image(), 0), bank.Image()));
        auto params = std::make_unique<EXParams>();
        params->PrepareSendVoice(patch.release(), nullptr, nullptr, settings, "1.0.3");
        EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
        return std::string(params->errorText) + params->errorReason;
    };
    // The second job comes after the first one's failed open listed the
    // ports again, as the window's next job or audition would.
    for (int job = 0; job < 2; ++job) {
        const std::string output = send(toPeer);
        EXPECT_EQ(0u, output.find("MidiOutWin:")) << output;
        EXPECT_NE(std::string::npos, output.find("\"" + peerIn + "\" is not there any more")) << output;
    }
    char line0[MAXPNAMELEN] = {};
    MidiOutWin::GetDeviceName(0, line0, sizeof line0);
    EXPECT_EQ(builtIn->OutputName(0), line0) << "the line the peer's port had is the built-in instrument's now";
    const std::string input = send(fromPeer);
    EXPECT_EQ(0u, input.find("MidiInWin:121 Cannot open MIDI device for input\r\n")) << input;
    EXPECT_NE(std::string::npos, input.find("\"" + peerOut + "\" is not there any more")) << input;
    EXPECT_NE(std::string::npos, harness.Log().find(peerOut)) << "the log names it too";
    EXPECT_EQ(0u, builtIn->Instrument().GetReceived().voicesTaken) << "nothing went to the built-in instrument";
}

// The server stops while an identification, given its output port by name,
// waits for its answer: the job fails on that port and says so, and nothing
// goes to the built-in instrument that took its line.
TEST(JackServerGoneTest, AJobUnderWayWhenTheServerStopsFailsOnItsJackPortAndGoesNowhereElse)
{
    const TempDir dir;
    const ConfigFolder config;
    OwnServer server("underway", dir.Path());
    if (!server.Start()) {
        GTEST_SKIP() << "skipped: no JACK server of our own could be started";
    }
    auto builtIn = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
    const MidiSetup setup = [&] {
        server.InstallDrivers({std::make_shared<JackMidiDriver>(), builtIn});
        return builtIn.get();
    };
    std::optional<JackPeer> peer;
    peer.emplace("underway-peer");
    ASSERT_TRUE(peer->Ready());
    const std::string peerIn = peer->InName();

    // The peer's answers go to its own output, which the job does not
    // listen to: the job keeps asking, a reply time-out apart.
    JobOptions options;
    options.in = "built in";
    options.out = peerIn;
    options.sysexDelay = 0;
    options.timeout = 1000;
    options.logDir = dir.Path().string();
    std::ostringstream out;
    std::ostringstream err;
    int status = -1;
    std::thread job([&] { status = Identify(setup, options, out, err); });
    const bool asked = peer->Await(1, 10s);
    server.Stop();
    peer.reset();  // before the job could open a client again
    job.join();

    ASSERT_TRUE(asked) << err.str();
    EXPECT_EQ(1, status);
    const std::string said = err.str();
    EXPECT_NE(std::string::npos, said.find(": MidiOutWin:")) << said;
    EXPECT_NE(std::string::npos, said.find("(MIDI output port 0 is " + peerIn + ";")) << said;
    // The driver's reason follows on a line of its own, about the same port.
    const std::size_t why = said.find("\nsonderik-cli: ");
    ASSERT_NE(std::string::npos, why) << said;
    EXPECT_NE(std::string::npos, said.find("JACK", why)) << said;
    EXPECT_NE(std::string::npos, said.find("\"" + peerIn + "\"", why)) << said;

    // A command given the port by name after it went refuses to start.
    std::ostringstream again;
    EXPECT_EQ(2, Identify(setup, options, out, again));
    EXPECT_NE(std::string::npos, again.str().find("--out " + peerIn + ": no port has this name")) << again.str();
    EXPECT_EQ(0u, builtIn->Instrument().GetReceived().identityRequests) << "nothing went to the built-in instrument";
}
