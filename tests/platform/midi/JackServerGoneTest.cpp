#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinMidi.h"
#include "simulator/VirtualEX5.h"
#include "tests/support/JackPeer.h"
#include "tests/support/JackServer.h"
#include "tests/support/PortIndex.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/SysexCalls.h"
#include "tests/support/TempDir.h"
#include "tests/support/Within.h"

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
