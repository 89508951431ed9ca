#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/VirtualEx5Driver.h"
#include "simulator/VirtualEx5.h"
#include "tests/support/ConfigFolder.h"
#include "tests/support/JobHarness.h"

// The program against an outside JACK client made here: a peer with one MIDI
// input and one MIDI output that answers an Identity Request like an EX5 at
// device 1 in the very cycle it arrives. A dummy server without realtime
// (and the more so under a sanitizer) can miss cycles, and JACK may lose a
// message then: the peer counts those misses, and a message may be sent
// again only when one happened while it was on its way.

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

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
    Peer()
    {
        jack_status_t status{};
        client_ = jack_client_open("sonderik-peer", JackNoStartServer, &status);
        if (client_ == nullptr) {
            return;
        }
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &Peer::Process, this);
        jack_set_xrun_callback(client_, &Peer::Xrun, this);
        jack_activate(client_);
    }
    ~Peer()
    {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Ready() const { return client_ != nullptr && in_ != nullptr && out_ != nullptr; }
    std::string InName() const { return jack_port_name(in_); }
    std::string OutName() const { return jack_port_name(out_); }
    int Xruns() const { return xruns_.load(); }

    std::vector<Bytes> Received()
    {
        const std::lock_guard lock(mutex_);
        return received_;
    }

    // Waits a little for the count of received messages to reach `count`:
    // a message whose send is done was carried by a cycle that has ended,
    // so only the hand-over to this thread is left.
    bool Await(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, 2s, [&] { return received_.size() >= count; });
    }

private:
    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Peer*>(arg);
        void* in = jack_port_get_buffer(self->in_, frames);
        void* out = jack_port_get_buffer(self->out_, frames);
        jack_midi_clear_buffer(out);
        const jack_nframes_t count = jack_midi_get_event_count(in);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, in, i) != 0) {
                continue;
            }
            const Bytes message(event.buffer, event.buffer + event.size);
            if (virtual_ex5::IdentityRequestTarget(message)) {
                const auto reply = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
                jack_midi_event_write(out, 0, reply.data(), reply.size());
            }
            {
                const std::lock_guard lock(self->mutex_);
                self->received_.push_back(message);
            }
            self->arrived_.notify_all();
        }
        return 0;
    }

    static int Xrun(void* arg)
    {
        ++static_cast<Peer*>(arg)->xruns_;
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::atomic<int> xruns_{0};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
};

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class JackTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!JackServerRunning()) {
            GTEST_SKIP() << "skipped: no JACK server is running";
        }
        ASSERT_TRUE(peer.Ready());
        platform::InstallMidiDrivers({jack, instrument});
    }
    void TearDown() override { platform::InstallMidiDrivers({}); }

    CliRun Cli(const std::vector<std::string>& args)
    {
        const MidiSetup midi = [this] {
            platform::InstallMidiDrivers({jack, instrument});
            return instrument.get();
        };
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunCli(args, out, err, midi);
        return {status, out.str(), err.str()};
    }

    // The index the program lists the port named `name` at, as text.
    static std::string OutIndex(const std::string& name)
    {
        const UINT count = midiOutGetNumDevs();
        for (UINT i = 0; i < count; ++i) {
            MIDIOUTCAPSA caps{};
            if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
                return std::to_string(i);
            }
        }
        return "none";
    }

    static std::string InIndex(const std::string& name)
    {
        const UINT count = midiInGetNumDevs();
        for (UINT i = 0; i < count; ++i) {
            MIDIINCAPSA caps{};
            if (midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
                return std::to_string(i);
            }
        }
        return "none";
    }

    std::vector<std::string> PeerPorts() const { return {"--in", InIndex(peer.OutName()), "--out", OutIndex(peer.InName())}; }

    static std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more)
    {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    ConfigFolder config;
    JobHarness harness;  // a folder of its own for the log
    Peer peer;
    std::shared_ptr<JackMidiDriver> jack = std::make_shared<JackMidiDriver>();
    std::shared_ptr<VirtualEx5Driver> instrument =
        std::make_shared<VirtualEx5Driver>(virtual_ex5::ParseConfig("", nullptr));
};

std::size_t Requests(const std::vector<Bytes>& received)
{
    std::size_t n = 0;
    for (const Bytes& m : received) {
        if (virtual_ex5::IdentityRequestTarget(m)) {
            ++n;
        }
    }
    return n;
}

}  // namespace

TEST_F(JackTransportTest, JobsOpenExactlyThePeersPortsAndNeverTheProgramsOwn)
{
    const std::vector<std::string> ports = PeerPorts();
    ASSERT_EQ(std::string::npos, ports[1].find("none")) << "the peer's output is listed";
    ASSERT_EQ(std::string::npos, ports[3].find("none")) << "the peer's input is listed";
    EXPECT_LT(std::stoi(ports[3]), std::stoi(OutIndex(instrument->OutputName(0)))) << "listed before the built-in";

    const CliRun identify = Cli(With({"identify", "--sysex-delay", "0"}, ports));
    ASSERT_EQ(0, identify.status) << identify.err;
    EXPECT_EQ("EX5\n", identify.out);
    std::ifstream log(harness.Dir().File("Sonderik.log"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos,
              text.find("Parameters: MIDI OUT=" + peer.InName() + ", MIDI IN=" + peer.OutName() + "\r\n"))
        << text;

    // While the program holds ports open, its own stay out of the lists and
    // every other port keeps its index.
    const UINT outs = midiOutGetNumDevs();
    const UINT ins = midiInGetNumDevs();
    HMIDIIN in = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&in, static_cast<UINT>(std::stoi(ports[1])), 0, 0, CALLBACK_NULL));
    EXPECT_EQ(outs, midiOutGetNumDevs());
    EXPECT_EQ(ins, midiInGetNumDevs());
    EXPECT_EQ(ports, PeerPorts());
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(in));

    const CliRun send = Cli(With({"send", SONDERIK_DEMO_FILE, "I1-002", "--sysex-delay", "0", "--midi-delay", "0"}, ports));
    EXPECT_EQ(0, send.status) << send.err;
    EXPECT_EQ("Sent I1-002 Glass Grand to " + peer.InName() + "\n", send.out);
    EXPECT_TRUE(instrument->Instrument().GetReceived().voices.empty()) << "nothing went to the built-in instrument";
}

TEST_F(JackTransportTest, EachIdentificationNeedsOneRequestWhenThePeerAnswersAtOnce)
{
    const std::vector<std::string> ports = PeerPorts();
    for (int round = 0; round < 5; ++round) {
        const std::size_t before = Requests(peer.Received());
        const int xruns = peer.Xruns();
        const CliRun run = Cli(With({"identify", "--sysex-delay", "0", "--timeout", "500"}, ports));
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
    const std::vector<std::string> ports = PeerPorts();
    const std::string exported = harness.Dir().File("voice.syx");
    ASSERT_EQ(0, Cli({"export", SONDERIK_DEMO_FILE, "I1-004", "-o", exported}).status);
    std::ifstream file(exported, std::ios::binary);
    const Bytes voice((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(voice.size(), 400u);

    int delivered = 0;
    int retried = 0;
    for (int attempt = 0; delivered < 20 && attempt < 40; ++attempt) {
        const std::size_t before = peer.Received().size();
        const int xruns = peer.Xruns();
        const CliRun run =
            Cli(With({"send", SONDERIK_DEMO_FILE, "I1-004", "--sysex-delay", "0", "--midi-delay", "0"}, ports));
        ASSERT_EQ(0, run.status) << run.err;
        if (peer.Await(before + 1)) {
            EXPECT_EQ(voice, peer.Received().back()) << "voice " << delivered << " arrived byte for byte";
            ++delivered;
        } else {
            ASSERT_NE(xruns, peer.Xruns()) << "voice " << delivered << " was lost without a missed cycle";
            ++retried;
        }
    }
    EXPECT_EQ(20, delivered) << retried << " sent again after a missed cycle";
}
