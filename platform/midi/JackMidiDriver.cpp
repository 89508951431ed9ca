#include "platform/midi/JackMidiDriver.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/midi/JackStatus.h"
#include "platform/midi/StreamDevices.h"

using platform::OutputLine;
using platform::SendPacer;
using namespace std::chrono_literals;

namespace {

constexpr const char* kClientName = "Sonderik";
// How long an open waits for the server to make its connection.
constexpr auto kConnectBound = 2s;
// How long a message may wait for a process cycle to carry it.
constexpr auto kCarryBound = 2s;
// How often a waiting sender looks whether its port was reset.
constexpr auto kCancelCheck = 5ms;

// libjack prints every failed attempt to reach a server; without one that
// is the normal case here and not worth a word.
void QuietJack(const char*) {}

// One message on its way out, shared by its sender and the process thread.
struct Outgoing {
    enum class State { Queued, Written, Done };
    std::vector<std::uint8_t> bytes;
    State state = State::Queued;
    MMRESULT verdict = MMSYSERR_NOERROR;
};

// A port of ours, connected to `peer` (the port it was opened for). A
// closed port stays registered and connected, idle, for the next open of
// the same peer: registering and connecting cost the server a few cycles,
// which a musician would hear as a late note.
struct OutPort {
    jack_port_t* port = nullptr;
    std::string peer;
    bool idle = false;
    std::deque<std::shared_ptr<Outgoing>> queued;
    std::vector<std::shared_ptr<Outgoing>> written;  // in the cycle now running
};

struct InPort {
    jack_port_t* port = nullptr;
    std::string peer;
    bool idle = false;
    platform::ReceiverSlot receiver;  // under the client's lock
};

void Finish(Outgoing& message, MMRESULT verdict)
{
    message.state = Outgoing::State::Done;
    message.verdict = verdict;
}

}  // namespace

// The program's JACK client and everything its process thread touches.
// Open ports hold it, so it lives until the last of them is closed; its
// libjack client may be closed before that (see Close).
struct JackMidiDriver::Client {
    // Null once closed. Set and cleared only under the driver's lock, or
    // with no other holder left; `closing` keeps a port given back on
    // another thread from using it while it is closed.
    jack_client_t* jack = nullptr;
    std::mutex closing;                // never taken by the callbacks
    std::mutex mutex;                  // guards all below; the process thread takes it once a cycle
    std::condition_variable changed;   // a cycle ran, or the server went
    bool gone = false;
    // Every port of the client, open or idle: each output is cleared every
    // cycle, so that nothing stale is ever sent.
    std::vector<std::unique_ptr<OutPort>> outputs;
    std::vector<std::unique_ptr<InPort>> inputs;

    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() { Close(); }

    // Closes the libjack client, once; its callbacks have ended when this
    // returns. A client whose server went must be closed before any other
    // client of the process is opened: that open makes libjack close and
    // free it itself, and a later close of ours would then free it again,
    // or close whichever new client was given its memory. Not called under
    // `mutex`, which the process thread may be waiting for.
    void Close()
    {
        const std::lock_guard lock(closing);
        if (jack != nullptr) {
            jack_client_close(jack);
            jack = nullptr;
        }
    }

    static std::shared_ptr<Client> Open()
    {
        auto client = std::make_shared<Client>();
        jack_status_t status{};
        client->jack = jack_client_open(kClientName, JackNoStartServer, &status);
        if (client->jack == nullptr) {
            platform::ExplainMidiFailure(platform::JackStatusText(status));
            return nullptr;
        }
        jack_set_process_callback(client->jack, &Client::Process, client.get());
        jack_on_shutdown(client->jack, &Client::Shutdown, client.get());
        if (jack_activate(client->jack) != 0) {
            return nullptr;
        }
        return client;
    }

    // The process thread: what the last cycle carried is done; what is
    // queued is written while it fits; what arrived goes to the devices.
    static int Process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Client*>(arg);
        {
            const std::lock_guard lock(self->mutex);
            for (const auto& out : self->outputs) {
                void* buffer = jack_port_get_buffer(out->port, frames);
                jack_midi_clear_buffer(buffer);
                for (const auto& message : out->written) {
                    Finish(*message, MMSYSERR_NOERROR);
                }
                out->written.clear();
                while (!out->queued.empty()) {
                    const std::shared_ptr<Outgoing> message = out->queued.front();
                    if (jack_midi_event_write(buffer, 0, message->bytes.data(), message->bytes.size()) == 0) {
                        message->state = Outgoing::State::Written;
                        out->written.push_back(message);
                    } else if (out->written.empty()) {
                        Finish(*message, MMSYSERR_INVALPARAM);  // larger than a whole cycle can carry
                    } else {
                        break;  // the next cycle
                    }
                    out->queued.pop_front();
                }
            }
            for (const auto& in : self->inputs) {
                void* buffer = jack_port_get_buffer(in->port, frames);
                const jack_nframes_t count = jack_midi_get_event_count(buffer);
                for (jack_nframes_t i = 0; i < count; ++i) {
                    jack_midi_event_t event{};
                    if (jack_midi_event_get(&event, buffer, i) == 0) {
                        in->receiver.Deliver(std::span<const std::uint8_t>(event.buffer, event.size));
                    }
                }
            }
        }
        self->changed.notify_all();
        return 0;
    }

    // The server went: nothing queued or in flight will be carried.
    static void Shutdown(void* arg)
    {
        auto* self = static_cast<Client*>(arg);
        {
            const std::lock_guard lock(self->mutex);
            self->gone = true;
            for (const auto& out : self->outputs) {
                for (const auto& message : out->queued) {
                    Finish(*message, MIDIERR_NODEVICE);
                }
                for (const auto& message : out->written) {
                    Finish(*message, MIDIERR_NODEVICE);
                }
                out->queued.clear();
                out->written.clear();
            }
        }
        self->changed.notify_all();
    }

    bool Gone()
    {
        const std::lock_guard lock(mutex);
        return gone;
    }

    // An idle port of ours connected to `peer`, now open again; or a new
    // port, registered under the name `name()` gives. Null when the server
    // refuses a new one.
    template <typename Port, typename Name>
    Port* Take(std::vector<std::unique_ptr<Port>>& ports, const std::string& peer, Name name, unsigned long flags)
    {
        {
            const std::lock_guard lock(mutex);
            for (const auto& port : ports) {
                if (port->idle && port->peer == peer) {
                    port->idle = false;
                    return port.get();
                }
            }
        }
        jack_port_t* registered = jack_port_register(jack, name().c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        if (registered == nullptr) {
            return nullptr;
        }
        auto port = std::make_unique<Port>();
        port->port = registered;
        port->peer = peer;
        Port* taken = port.get();
        const std::lock_guard lock(mutex);
        ports.push_back(std::move(port));
        return taken;
    }

    // A closed port waits, idle, for the next open of its peer; one idle
    // port per peer is enough, so a second one goes.
    template <typename Port>
    void Release(std::vector<std::unique_ptr<Port>>& ports, Port* released)
    {
        std::unique_ptr<Port> surplus;
        {
            const std::lock_guard lock(mutex);
            const bool another = std::any_of(ports.begin(), ports.end(), [&](const auto& port) {
                return port->idle && port->peer == released->peer;
            });
            const auto at = std::find_if(ports.begin(), ports.end(),
                                         [&](const auto& port) { return port.get() == released; });
            if (at == ports.end()) {
                return;
            }
            if (another) {
                surplus = std::move(*at);
                ports.erase(at);
            } else {
                (*at)->idle = true;
            }
        }
        if (surplus) {
            const std::lock_guard lock(closing);
            if (jack != nullptr) {
                jack_port_unregister(jack, surplus->port);
            }
        }
    }

    // Connects `from` to `to` and waits until the server has made the
    // connection, so that the next cycle carries data across it.
    MMRESULT Connect(jack_port_t* ours, const std::string& from, const std::string& to)
    {
        const std::string other = (from == jack_port_name(ours)) ? to : from;
        if (jack_port_connected_to(ours, other.c_str()) != 0) {
            return MMSYSERR_NOERROR;  // an idle port, still connected
        }
        const int made = jack_connect(jack, from.c_str(), to.c_str());
        if (made != 0 && made != EEXIST) {
            return MMSYSERR_ERROR;
        }
        const auto deadline = std::chrono::steady_clock::now() + kConnectBound;
        while (jack_port_connected_to(ours, other.c_str()) == 0) {
            if (Gone() || std::chrono::steady_clock::now() >= deadline) {
                return MIDIERR_NOTREADY;
            }
            std::this_thread::sleep_for(500us);
        }
        return MMSYSERR_NOERROR;
    }
};

namespace {

using Client = JackMidiDriver::Client;

class JackOutLine final : public OutputLine {
public:
    JackOutLine(std::shared_ptr<Client> client, OutPort* port) : client_(std::move(client)), port_(port) {}
    ~JackOutLine() override
    {
        {
            // Whatever a reset left queued has no sender any more.
            const std::lock_guard lock(client_->mutex);
            port_->queued.clear();
        }
        client_->Release(client_->outputs, port_);
    }

    // Queues the message for the next cycle and waits until a cycle has
    // carried it and ended, the port was reset, or the bound is reached.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) override
    {
        auto outgoing = std::make_shared<Outgoing>();
        outgoing->bytes.assign(message.begin(), message.end());
        std::unique_lock lock(client_->mutex);
        if (client_->gone) {
            return MIDIERR_NODEVICE;
        }
        port_->queued.push_back(outgoing);
        const auto deadline = std::chrono::steady_clock::now() + kCarryBound;
        for (;;) {
            if (client_->changed.wait_for(lock, kCancelCheck,
                                          [&] { return outgoing->state == Outgoing::State::Done; })) {
                return outgoing->verdict;
            }
            lock.unlock();
            const bool carryOn = pacer.Pause(std::chrono::microseconds(0));
            lock.lock();
            if (outgoing->state == Outgoing::State::Done) {
                return outgoing->verdict;
            }
            const bool late = std::chrono::steady_clock::now() >= deadline;
            if (!carryOn || late) {
                auto& queued = port_->queued;
                queued.erase(std::remove(queued.begin(), queued.end(), outgoing), queued.end());
                // Taken back by a reset: nothing to report. Out of time: the
                // server runs no cycles, and the message may never go.
                return carryOn ? MIDIERR_NOTREADY : MMSYSERR_NOERROR;
            }
        }
    }

private:
    std::shared_ptr<Client> client_;
    OutPort* port_;  // the client's
};

class JackInLine final : public platform::SlotInputLine {
public:
    JackInLine(std::shared_ptr<Client> client, InPort* port)
        : SlotInputLine(client->mutex, port->receiver), client_(std::move(client)), port_(port)
    {
    }
    ~JackInLine() override
    {
        Disconnect();  // before the port may go: Release can drop a surplus one
        client_->Release(client_->inputs, port_);
    }

private:
    std::shared_ptr<Client> client_;
    InPort* port_;  // the client's
};

// The MIDI ports of the server with these flags, without the client's own.
std::vector<std::string> ListPorts(jack_client_t* jack, unsigned long flags)
{
    std::vector<std::string> names;
    const char** found = jack_get_ports(jack, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (found == nullptr) {
        return names;
    }
    for (const char** name = found; *name != nullptr; ++name) {
        const jack_port_t* port = jack_port_by_name(jack, *name);
        if (port != nullptr && jack_port_is_mine(jack, port) == 0) {
            names.emplace_back(*name);
        }
    }
    jack_free(static_cast<void*>(found));
    return names;
}

}  // namespace

JackMidiDriver::JackMidiDriver()
{
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
}

JackMidiDriver::~JackMidiDriver() = default;

std::shared_ptr<JackMidiDriver::Client> JackMidiDriver::Connected()
{
    if (client_ && client_->Gone()) {
        // Closed now, though ports still open on it keep the object until
        // they are closed: the open below would otherwise free it under them.
        client_->Close();
        client_.reset();
        probed_ = false;
    }
    if (!client_ && !probed_) {
        probed_ = true;
        client_ = Client::Open();
    }
    return client_;
}

void JackMidiDriver::Rescan()
{
    const std::lock_guard lock(mutex_);
    probed_ = false;
}

std::string JackMidiDriver::ClientName()
{
    const std::lock_guard lock(mutex_);
    const auto client = Connected();
    return client ? jack_get_client_name(client->jack) : std::string();
}

UINT JackMidiDriver::OutputCount()
{
    const std::lock_guard lock(mutex_);
    const auto client = Connected();
    outputs_ = client ? ListPorts(client->jack, JackPortIsInput) : std::vector<std::string>{};
    return static_cast<UINT>(outputs_.size());
}

UINT JackMidiDriver::InputCount()
{
    const std::lock_guard lock(mutex_);
    const auto client = Connected();
    inputs_ = client ? ListPorts(client->jack, JackPortIsOutput) : std::vector<std::string>{};
    return static_cast<UINT>(inputs_.size());
}

std::string JackMidiDriver::OutputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < outputs_.size() ? outputs_[port] : std::string();
}

std::string JackMidiDriver::InputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < inputs_.size() ? inputs_[port] : std::string();
}

MMRESULT JackMidiDriver::OpenOutput(UINT port, const MidiOutCallback& callback,
                                    std::shared_ptr<MidiOutDevice>& device)
{
    const std::lock_guard lock(mutex_);
    if (!client_ || client_->Gone() || port >= outputs_.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const std::shared_ptr<Client> client = client_;
    const std::string target = outputs_[port];
    if (jack_port_by_name(client->jack, target.c_str()) == nullptr) {
        return MIDIERR_NODEVICE;  // listed, but gone since
    }
    OutPort* out = client->Take(
        client->outputs, target, [this] { return "out-" + std::to_string(++portsMade_); }, JackPortIsOutput);
    if (out == nullptr) {
        return MMSYSERR_ERROR;
    }
    jack_port_t* ours = out->port;
    auto line = std::make_unique<JackOutLine>(client, out);
    const MMRESULT connected = client->Connect(ours, jack_port_name(ours), target);
    if (connected != MMSYSERR_NOERROR) {
        return connected;  // the line gives the port back, idle
    }
    device = std::make_shared<platform::StreamOutDevice>(std::move(line), callback);
    return MMSYSERR_NOERROR;
}

MMRESULT JackMidiDriver::OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device)
{
    const std::lock_guard lock(mutex_);
    if (!client_ || client_->Gone() || port >= inputs_.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const std::shared_ptr<Client> client = client_;
    const std::string source = inputs_[port];
    if (jack_port_by_name(client->jack, source.c_str()) == nullptr) {
        return MIDIERR_NODEVICE;
    }
    InPort* in = client->Take(
        client->inputs, source, [this] { return "in-" + std::to_string(++portsMade_); }, JackPortIsInput);
    if (in == nullptr) {
        return MMSYSERR_ERROR;
    }
    jack_port_t* ours = in->port;
    auto line = std::make_unique<JackInLine>(client, in);
    const MMRESULT connected = client->Connect(ours, source, jack_port_name(ours));
    if (connected != MMSYSERR_NOERROR) {
        return connected;
    }
    device = std::make_shared<platform::StreamInDevice>(std::move(line), callback);
    return MMSYSERR_NOERROR;
}
