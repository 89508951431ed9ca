#include <gtest/gtest.h>
#include <jack/jack.h>
#include <RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/MidiParams.h"
#include "platform/midi/RtMidiDriver.h"
#include "simulator/VirtualEx5.h"
#include "voice/EXException.h"

// SysEx over real JACK MIDI ports, through the RtMidi driver and the
// program's ports, to a peer made of two plain RtMidi ports that answers
// Identity Requests like an EX5 at device 1. JACK may drop a message when
// the server misses a period, so every exchange is retried until a deadline.

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 20s;
constexpr DWORD kTryMs = 500;

bool JackServerRunning()
{
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    jack_status_t status{};
    jack_client_t* client = jack_client_open("sonderik-test-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

class Peer {
public:
    Peer() : in_(RtMidi::UNIX_JACK, "sonderik-peer-in"), out_(RtMidi::UNIX_JACK, "sonderik-peer-out")
    {
        in_.ignoreTypes(false, true, true);
        in_.setCallback(&Peer::OnMessage, this);
        in_.openVirtualPort("in");
        out_.openVirtualPort("out");
    }

    // Waits up to `limit` for a message equal to `expected`.
    bool Got(const Bytes& expected, std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, limit, [&] {
            for (const Bytes& m : received_) {
                if (m == expected) {
                    return true;
                }
            }
            return false;
        });
    }

private:
    // On JACK's process thread.
    static void OnMessage(double, std::vector<unsigned char>* message, void* self)
    {
        auto* peer = static_cast<Peer*>(self);
        if (virtual_ex5::IdentityRequestTarget(*message)) {
            const auto reply = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
            peer->out_.sendMessage(reply.data(), reply.size());
        }
        {
            const std::lock_guard lock(peer->mutex_);
            peer->received_.emplace_back(message->begin(), message->end());
        }
        peer->arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
    RtMidiIn in_;
    RtMidiOut out_;
};

template <typename Name>
UINT FindPort(UINT count, Name name, const std::string& wanted)
{
    for (UINT port = 0; port < count; ++port) {
        if (name(port) == wanted) {
            return port;
        }
    }
    return count;
}

TEST(JackTransportTest, SysexAndAnIdentityExchangeCrossJackPortsIntact)
{
    if (!JackServerRunning()) {
        GTEST_SKIP() << "skipped: no JACK server is running";
    }
    auto system = std::make_shared<RtMidiDriver>();
    platform::InstallMidiDrivers({system});
    Peer peer;

    EXParams params;
    params.sysexDelay = 5;
    params.attempts = 200;
    params.midiOutPort = FindPort(midiOutGetNumDevs(), [&](UINT p) { return system->OutputName(p); },
                                  "sonderik-peer-in:in");
    params.midiInPort = FindPort(midiInGetNumDevs(), [&](UINT p) { return system->InputName(p); },
                                 "sonderik-peer-out:out");
    ASSERT_LT(params.midiOutPort, midiOutGetNumDevs()) << "the peer's input is listed";
    ASSERT_LT(params.midiInPort, midiInGetNumDevs()) << "the peer's output is listed";

    try {
        MidiParams pair;
        pair.midiIn.Open(params.midiInPort);
        ASSERT_EQ(0u, pair.midiOut.Open(params));

        Bytes voice(891);
        for (std::size_t i = 0; i < voice.size(); ++i) {
            voice[i] = static_cast<std::uint8_t>((i * 7) & 0x7F);
        }
        voice.front() = 0xF0;
        voice.back() = 0xF7;
        bool crossed = false;
        for (const auto end = Clock::now() + kDeadline; !crossed && Clock::now() < end;) {
            pair.midiOut.SendLongMessage(params, voice.data(), static_cast<int>(voice.size()));
            crossed = peer.Got(voice, std::chrono::milliseconds(kTryMs));
        }
        EXPECT_TRUE(crossed) << "891 bytes of SysEx reached the peer whole";

        const std::uint8_t request[6] = {0xF0, 0x7E, 0x01, 0x06, 0x01, 0xF7};
        const auto expected = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
        Bytes reply;
        for (const auto end = Clock::now() + kDeadline; reply.empty() && Clock::now() < end;) {
            const HANDLE event = pair.midiIn.StartCapture(params, 4096, 1);
            pair.midiOut.SendLongMessage(params, request, 6);
            if (WaitForSingleObject(event, kTryMs) == WAIT_OBJECT_0) {
                pair.midiIn.Stop();
                reply.resize(4096);
                reply.resize(static_cast<std::size_t>(pair.midiIn.ReadMessage(reply.data(), 4096, 0)));
            }
        }
        EXPECT_EQ(Bytes(expected.begin(), expected.end()), reply);
        EXPECT_TRUE(peer.Got(Bytes(request, request + 6), 0ms));

        pair.midiIn.Close(params);
        pair.midiOut.Close(params);
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        char text[200];
        FormatEX(e.get(), text, sizeof text);
        ADD_FAILURE() << text;
    }
    platform::InstallMidiDrivers({});
}

}  // namespace
