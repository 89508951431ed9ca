#include "platform/midi/JackMidiDriver.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

#include "platform/midi/JackStatus.h"
#include "platform/midi/RealtimeSection.h"
#include "platform/midi/StreamDevices.h"

using platform::OutputLine;
using platform::SendPacer;
using namespace std::chrono_literals;

namespace {

constexpr const char* kClientName = "Sonderik";
// How long an open waits for the server to make its connection.
constexpr auto kConnectBound = 2s;
// How often an open looks at the connection again while it waits: the
// server tells of a new connection before the process graph that has it is
// in use, and nothing tells when that graph is.
constexpr auto kConnectCheck = 1ms;
// How long a message may wait for a process cycle to carry it.
constexpr auto kCarryBound = 2s;
// How often a waiting sender looks whether its port was reset.
constexpr auto kCancelCheck = 5ms;
// How long a port that leaves the process cycle waits for the cycle that
// may still use it to end, and how often it looks: a cycle takes a period,
// and ends without telling anyone when it had nothing to report.
constexpr auto kCycleEndBound = kCarryBound;
constexpr auto kCycleEndCheck = 200us;
// Ports the client can hold per direction, open or idle. More peers than
// this in one run cost the oldest idle port its connection.
constexpr std::size_t kPortSlots = 32;
// Each port's ring between the process thread and the rest: more than the
// largest message a cycle of any usual buffer size carries.
constexpr std::size_t kRingBytes = 64 * 1024;

// libjack prints every failed attempt to reach a server; without one that
// is the normal case here and not worth a word.
void QuietJack(const char*) {}

// An outgoing message in an output port's ring: this header, then its bytes.
struct OutRecord {
    std::uint64_t serial = 0;  // the port's count of messages queued, from 1
    std::uint32_t size = 0;
};
// An incoming one in an input port's ring: this header, then its bytes.
struct InRecord {
    std::uint32_t size = 0;
};

// Reads the header of the next record of `ring` into `head`, leaving it
// there; false while no whole record is there.
template <typename Head>
bool NextRecord(jack_ringbuffer_t* ring, Head& head)
{
    return jack_ringbuffer_peek(ring, reinterpret_cast<char*>(&head), sizeof head) == sizeof head &&
           jack_ringbuffer_read_space(ring) >= sizeof head + head.size;
}

// A port of ours, connected to `peer` (the port it was opened for). A
// closed port stays registered and connected, idle, for the next open of
// the same peer: registering and connecting cost the server a few cycles,
// which a musician would hear as a late note.
//
// `jack` is what the process cycle uses: set once the slot is ready and
// cleared, with the cycle that may have read it waited out, before the port
// is unregistered or the slot used again. The ring is made at the slot's
// first use and kept until the client goes. What is neither atomic nor the
// ring belongs to the non-realtime side, under the client's lock.
struct PortSlot {
    std::atomic<jack_port_t*> jack{nullptr};
    jack_ringbuffer_t* ring = nullptr;
    std::string peer;
    bool idle = false;
};

// Serials count the messages queued on the port; each has its verdict once
// `done` or `refused` reaches it.
struct OutPort : PortSlot {
    std::atomic<std::uint64_t> done{0};     // the last one whose carrying cycle has ended
    std::atomic<std::uint64_t> refused{0};  // the last one larger than a whole cycle can carry
    std::atomic<std::uint64_t> dropTo{0};   // given back up to here: the cycle skips them
    std::uint64_t carried = 0;              // the process thread's: written in the cycle just run
    std::uint64_t queued = 0;               // the sender's: the last serial queued
    std::size_t largest = 0;                // the longest message the ring holds
};

struct InPort : PortSlot {
    platform::ReceiverSlot receiver;  // under the client's lock
};

void MakeRing(PortSlot& slot)
{
    if (slot.ring == nullptr) {
        slot.ring = jack_ringbuffer_create(kRingBytes);
        // Best effort: a ring that cannot be locked in memory still works,
        // at the risk of a page fault on the process thread.
        static_cast<void>(jack_ringbuffer_mlock(slot.ring));
    } else {
        jack_ringbuffer_reset(slot.ring);  // what a port before left
    }
}

// One cycle of an output port: what the last cycle carried is done now
// that it has ended; what is queued is written while it fits. True when a
// sender has a verdict to pick up.
bool CarryOut(OutPort& out, void* buffer)
{
    jack_midi_clear_buffer(buffer);
    bool settled = false;
    if (out.carried != 0) {
        out.done.store(out.carried);
        out.carried = 0;
        settled = true;
    }
    bool wrote = false;
    OutRecord record;
    while (NextRecord(out.ring, record)) {
        if (record.serial <= out.dropTo.load()) {
            jack_ringbuffer_read_advance(out.ring, sizeof record + record.size);
            continue;
        }
        jack_midi_data_t* room = jack_midi_event_reserve(buffer, 0, record.size);
        if (room == nullptr && wrote) {
            break;  // the next cycle
        }
        jack_ringbuffer_read_advance(out.ring, sizeof record);
        if (room == nullptr) {
            jack_ringbuffer_read_advance(out.ring, record.size);  // larger than a whole cycle can carry
            out.refused.store(record.serial);
            settled = true;
            continue;
        }
        jack_ringbuffer_read(out.ring, reinterpret_cast<char*>(room), record.size);
        out.carried = record.serial;
        wrote = true;
    }
    return settled;
}

// One cycle of an input port: what arrived goes into the ring, whole, or
// is lost when the ring is full, as on an overrun cable. True when
// something arrived.
bool TakeIn(InPort& in, void* buffer)
{
    bool took = false;
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, buffer, i) != 0) {
            continue;
        }
        const InRecord record{static_cast<std::uint32_t>(event.size)};
        if (jack_ringbuffer_write_space(in.ring) < sizeof record + record.size) {
            continue;
        }
        jack_ringbuffer_write(in.ring, reinterpret_cast<const char*>(&record), sizeof record);
        jack_ringbuffer_write(in.ring, reinterpret_cast<const char*>(event.buffer), record.size);
        took = true;
    }
    return took;
}

}  // namespace

// The program's JACK client and everything its process thread touches.
// Open ports hold it, so it lives until the last of them is closed; its
// libjack client may be closed before that (see Close).
//
// The process thread takes no lock and makes no heap call: it meets the
// rest through the ports' rings and atomics, and wakes the relay thread
// with at most one sem_post a cycle. The relay hands what arrived to the
// input devices and wakes the senders and opens waiting on `changed`.
struct JackMidiDriver::Client {
    // Null once closed. Set and cleared only under the driver's lock, or
    // with no other holder left; `closing` keeps a port given back on
    // another thread from using it while it is closed.
    jack_client_t* jack = nullptr;
    std::mutex closing;               // never taken by the callbacks
    std::mutex mutex;                 // the ports' bookkeeping and receivers; never taken by the process thread
    std::condition_variable changed;  // the relay woke: a cycle settled or received, a connection, the server went
    std::atomic<bool> gone{false};
    // Twice the cycles begun, plus one while a cycle runs: how a port that
    // leaves the cycle knows when no cycle can still be using it.
    std::atomic<std::uint64_t> cycles{0};
    sem_t wake{};                     // the relay's: posted by the callbacks and to stop it
    std::atomic<bool> quit{false};
    std::array<OutPort, kPortSlots> outputs;
    std::array<InPort, kPortSlots> inputs;
    std::vector<std::uint8_t> relayed = std::vector<std::uint8_t>(kRingBytes);  // the relay's
    std::thread relay;

    Client() { sem_init(&wake, 0, 0); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client()
    {
        Close();
        if (relay.joinable()) {
            quit = true;
            sem_post(&wake);
            relay.join();
        }
        const auto free = [](PortSlot& slot) {
            if (slot.ring != nullptr) {
                jack_ringbuffer_free(slot.ring);
            }
        };
        std::for_each(outputs.begin(), outputs.end(), free);
        std::for_each(inputs.begin(), inputs.end(), free);
        sem_destroy(&wake);
    }

    // Closes the libjack client, once; its callbacks have ended when this
    // returns. A client whose server went must be closed before any other
    // client of the process is opened: that open makes libjack close and
    // free it itself, and a later close of ours would then free it again,
    // or close whichever new client was given its memory.
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
        jack_set_port_connect_callback(client->jack, &Client::ConnectionChanged, client.get());
        client->relay = std::thread([self = client.get()] { self->Relay(); });
        if (jack_activate(client->jack) != 0) {
            return nullptr;
        }
        return client;
    }

    // The process thread: each port's cycle, then one wake for the relay
    // if a sender has its verdict or something arrived.
    static int Process(jack_nframes_t frames, void* arg)
    {
        const platform::RealtimeSection realtime;
        auto* self = static_cast<Client*>(arg);
        self->cycles.fetch_add(1);
        bool wake = false;
        for (OutPort& out : self->outputs) {
            if (jack_port_t* port = out.jack.load(); port != nullptr) {
                wake = CarryOut(out, jack_port_get_buffer(port, frames)) || wake;
            }
        }
        for (InPort& in : self->inputs) {
            if (jack_port_t* port = in.jack.load(); port != nullptr) {
                wake = TakeIn(in, jack_port_get_buffer(port, frames)) || wake;
            }
        }
        self->cycles.fetch_add(1);
        if (wake) {
            sem_post(&self->wake);
        }
        return 0;
    }

    // The server went: nothing queued or in flight will be carried.
    static void Shutdown(void* arg)
    {
        auto* self = static_cast<Client*>(arg);
        self->gone = true;
        sem_post(&self->wake);
    }

    static void ConnectionChanged(jack_port_id_t, jack_port_id_t, int, void* arg)
    {
        sem_post(&static_cast<Client*>(arg)->wake);
    }

    // The relay thread: hands what the inputs received to their devices and
    // wakes whoever waits on `changed`. It takes the lock at every wake, so a
    // waiter that looked before the change is waiting by the time it notifies.
    void Relay()
    {
        for (;;) {
            while (sem_wait(&wake) != 0 && errno == EINTR) {
            }
            if (quit) {
                return;
            }
            {
                const std::lock_guard lock(mutex);
                for (InPort& in : inputs) {
                    Drain(in);
                }
            }
            changed.notify_all();
        }
    }

    void Drain(InPort& in)  // caller holds mutex
    {
        if (in.ring == nullptr) {
            return;
        }
        InRecord record;
        while (NextRecord(in.ring, record)) {
            jack_ringbuffer_read_advance(in.ring, sizeof record);
            jack_ringbuffer_read(in.ring, reinterpret_cast<char*>(relayed.data()), record.size);
            in.receiver.Deliver(std::span<const std::uint8_t>(relayed.data(), record.size));
        }
    }

    bool Gone() const { return gone; }

    // Takes `slot` out of the process cycle and unregisters its port, once
    // no cycle can still be using it. Caller holds mutex.
    void Unplug(PortSlot& slot)
    {
        jack_port_t* port = slot.jack.exchange(nullptr);
        const std::uint64_t at = cycles.load();
        if (at % 2 != 0) {
            const auto deadline = std::chrono::steady_clock::now() + kCycleEndBound;
            while (cycles.load() == at && !Gone() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(kCycleEndCheck);
            }
        }
        slot.peer.clear();
        slot.idle = false;
        const std::lock_guard lock(closing);
        if (jack != nullptr && port != nullptr) {
            jack_port_unregister(jack, port);
        }
    }

    // An idle port of ours connected to `peer`, now open again; or a new
    // port, registered under the name `name()` gives, in a free slot (or
    // one an idle port of another peer gives up). Null when the server
    // refuses a new one.
    template <typename Port, typename Name>
    Port* Take(std::array<Port, kPortSlots>& ports, const std::string& peer, Name name, unsigned long flags)
    {
        {
            const std::lock_guard lock(mutex);
            for (Port& port : ports) {
                if (port.jack.load() != nullptr && port.idle && port.peer == peer) {
                    port.idle = false;
                    return &port;
                }
            }
        }
        jack_port_t* registered = jack_port_register(jack, name().c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        if (registered == nullptr) {
            return nullptr;
        }
        const std::lock_guard lock(mutex);
        auto free = std::find_if(ports.begin(), ports.end(), [](const Port& port) { return port.jack.load() == nullptr; });
        if (free == ports.end()) {
            free = std::find_if(ports.begin(), ports.end(), [](const Port& port) { return port.idle; });
            if (free == ports.end()) {
                jack_port_unregister(jack, registered);
                return nullptr;
            }
            Unplug(*free);
        }
        MakeRing(*free);
        if constexpr (std::is_same_v<Port, OutPort>) {
            free->largest = jack_ringbuffer_write_space(free->ring) - sizeof(OutRecord);
        }
        free->peer = peer;
        free->idle = false;
        free->jack.store(registered);
        return &*free;
    }

    // A closed port waits, idle, for the next open of its peer; one idle
    // port per peer is enough, so a second one goes.
    template <typename Port>
    void Release(std::array<Port, kPortSlots>& ports, Port* released)
    {
        const std::lock_guard lock(mutex);
        const bool another = std::any_of(ports.begin(), ports.end(), [&](const Port& port) {
            return &port != released && port.jack.load() != nullptr && port.idle && port.peer == released->peer;
        });
        if (another) {
            Unplug(*released);
        } else {
            released->idle = true;
        }
    }

    // Connects `from` to `to` and waits until the server has made the
    // connection, so that the next cycle carries data across it.
    MMRESULT Connect(jack_port_t* ours, const std::string& from, const std::string& to)
    {
        const std::string other = (from == jack_port_name(ours)) ? to : from;
        const auto connected = [&] { return jack_port_connected_to(ours, other.c_str()) != 0; };
        if (connected()) {
            return MMSYSERR_NOERROR;  // an idle port, still connected
        }
        const int made = jack_connect(jack, from.c_str(), to.c_str());
        if (made != 0 && made != EEXIST) {
            return MMSYSERR_ERROR;
        }
        const auto deadline = std::chrono::steady_clock::now() + kConnectBound;
        std::unique_lock lock(mutex);
        while (!connected()) {
            if (Gone() || std::chrono::steady_clock::now() >= deadline) {
                return MIDIERR_NOTREADY;
            }
            changed.wait_for(lock, kConnectCheck);
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
        port_->dropTo = port_->queued;  // whatever a reset left queued has no sender any more
        client_->Release(client_->outputs, port_);
    }

    // Queues the message for the next cycle and waits until a cycle has
    // carried it and ended, the port was reset, or the bound is reached.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) override
    {
        if (message.size() > port_->largest) {
            // More than the port's ring holds, and so more than a cycle carries.
            platform::ExplainMidiFailure(TooLong(message.size(), "the " + std::to_string(port_->largest) +
                                                                     " bytes JACK port \"" + port_->peer +
                                                                     "\" can queue"));
            return MMSYSERR_INVALPARAM;
        }
        const OutRecord record{port_->queued + 1, static_cast<std::uint32_t>(message.size())};
        bool queued = false;
        // The cycles' verdict on the message, once there is one; the message
        // goes into the ring once there is room (a reset may leave some
        // there for the next cycle to skip).
        const auto verdict = [&]() -> std::optional<MMRESULT> {
            if (!queued && jack_ringbuffer_write_space(port_->ring) >= sizeof record + message.size()) {
                jack_ringbuffer_write(port_->ring, reinterpret_cast<const char*>(&record), sizeof record);
                jack_ringbuffer_write(port_->ring, reinterpret_cast<const char*>(message.data()), message.size());
                port_->queued = record.serial;
                queued = true;
            }
            if (queued && port_->refused.load() == record.serial) {
                platform::ExplainMidiFailure(TooLong(message.size(), "what one JACK cycle carries"));
                return MMSYSERR_INVALPARAM;
            }
            if (queued && port_->done.load() >= record.serial) {
                return MMSYSERR_NOERROR;
            }
            if (client_->Gone()) {
                platform::ExplainMidiFailure("the JACK server went away before JACK port \"" + port_->peer +
                                             "\" had the message");
                return MIDIERR_NODEVICE;
            }
            return std::nullopt;
        };
        const auto deadline = std::chrono::steady_clock::now() + kCarryBound;
        std::unique_lock lock(client_->mutex);
        for (;;) {
            std::optional<MMRESULT> settled;
            client_->changed.wait_for(lock, kCancelCheck, [&] {
                settled = verdict();
                return settled.has_value();
            });
            if (settled) {
                return *settled;
            }
            lock.unlock();
            const bool carryOn = pacer.Pause(std::chrono::microseconds(0));
            lock.lock();
            if (settled = verdict(); settled) {
                return *settled;
            }
            if (!carryOn || std::chrono::steady_clock::now() >= deadline) {
                if (queued) {
                    port_->dropTo = record.serial;
                }
                // Taken back by a reset: nothing to report. Out of time: the
                // server runs no cycles, and the message may never go.
                if (!carryOn) {
                    return MMSYSERR_NOERROR;
                }
                platform::ExplainMidiFailure("JACK ran no cycle to carry the message to \"" + port_->peer +
                                             "\" within " + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kCarryBound).count()) +
                                             " s");
                return MIDIERR_NOTREADY;
            }
        }
    }

private:
    static std::string TooLong(std::size_t bytes, const std::string& than)
    {
        return "a message of " + std::to_string(bytes) + " bytes is more than " + than;
    }

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
    jack_port_t* ours = out->jack.load();
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
    jack_port_t* ours = in->jack.load();
    auto line = std::make_unique<JackInLine>(client, in);
    const MMRESULT connected = client->Connect(ours, source, jack_port_name(ours));
    if (connected != MMSYSERR_NOERROR) {
        return connected;
    }
    device = std::make_shared<platform::StreamInDevice>(std::move(line), callback);
    return MMSYSERR_NOERROR;
}
