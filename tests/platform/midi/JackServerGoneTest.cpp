#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/MidiDriver.h"
#include "platform/midi/WinMidi.h"
#include "tests/support/JackPeer.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

// A JACK server of the test's own, stopped while the program holds a port
// on it and after it left another idle: what was open fails cleanly and
// nothing waits for a server that is gone.

using namespace std::chrono_literals;

namespace {

template <typename Condition>
bool Within(std::chrono::milliseconds bound, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

UINT OutIndexOf(const std::string& name)
{
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) {
        MIDIOUTCAPSA caps{};
        if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            return i;
        }
    }
    return static_cast<UINT>(-1);
}

}  // namespace

TEST(JackServerGoneTest, PortsOnAServerThatStoppedFailCleanlyAndLeaveTheLists)
{
    const TempDir dir;
    const std::string server = "sonderik-gone-" + std::to_string(::getpid());
    const ScopedEnv env("JACK_DEFAULT_SERVER", server);
    ChildProcess jackd({"/usr/bin/jackd", "-n", server, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"},
                       {}, (dir.Path() / "jackd.log").string());
    if (!jackd.Started() || !Within(5s, [] { return JackPeer::ServerRunning(); })) {
        GTEST_SKIP() << "skipped: no JACK server of our own could be started";
    }
    auto jack = std::make_shared<JackMidiDriver>();
    platform::InstallMidiDrivers({jack});
    {
        JackPeer peer("gone-peer");
        ASSERT_TRUE(peer.Ready());
        platform::RescanMidiPorts();
        const UINT index = OutIndexOf(peer.InName());
        ASSERT_NE(static_cast<UINT>(-1), index);
        HMIDIOUT idle = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&idle, index, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutClose(idle));  // left idle and connected
        HMIDIOUT out = nullptr;
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, index, 0, 0, CALLBACK_NULL));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(out, 0x403C90));

        jackd.Terminate();
        EXPECT_TRUE(Within(5s, [&] { return midiOutShortMsg(out, 0x403C90) != MMSYSERR_NOERROR; }))
            << "a note sent after the server went is not reported as sent";
        EXPECT_EQ(MMSYSERR_NOERROR, midiOutReset(out));
        EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    }
    platform::RescanMidiPorts();
    EXPECT_EQ(0u, midiOutGetNumDevs());
    EXPECT_EQ(0u, midiInGetNumDevs());
    platform::InstallMidiDrivers({});
    // The clients of a server that went cannot remove their semaphores.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        if (entry.path().filename().string().find(server) != std::string::npos) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}
