#include "tests/support/NotePeer.h"

#include <jack/midiport.h>

#include <thread>

namespace {

constexpr std::size_t kRingBytes = 64 * 1024;

}  // namespace

NotePeer::NotePeer(const std::string& name) : name_(name)
{
    jack_status_t status{};
    client_ = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                               &status);
    if (client_ == nullptr) {
        return;
    }
    ring_ = jack_ringbuffer_create(kRingBytes);
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (ring_ == nullptr || in_ == nullptr || out_ == nullptr || jack_set_process_callback(client_, &Process, this) != 0 ||
        jack_set_xrun_callback(client_, &Xrun, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

NotePeer::~NotePeer()
{
    if (client_ != nullptr) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    if (ring_ != nullptr) {
        jack_ringbuffer_free(ring_);
    }
}

// On JACK's process thread: only the ring buffer, no lock, no allocation.
int NotePeer::Process(jack_nframes_t frames, void* self)
{
    auto* peer = static_cast<NotePeer*>(self);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    void* in = jack_port_get_buffer(peer->in_, frames);
    jack_midi_clear_buffer(jack_port_get_buffer(peer->out_, frames));
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0 || event.size == 0 || event.size > 3) {
            continue;
        }
        Event e{static_cast<std::uint8_t>(event.size), {0, 0, 0}, now};
        for (std::size_t b = 0; b < event.size; ++b) {
            e.bytes[b] = event.buffer[b];
        }
        if (jack_ringbuffer_write_space(peer->ring_) >= sizeof e) {
            jack_ringbuffer_write(peer->ring_, reinterpret_cast<const char*>(&e), sizeof e);
        }
    }
    return 0;
}

int NotePeer::Xrun(void* self)
{
    ++static_cast<NotePeer*>(self)->xruns_;
    return 0;
}

void NotePeer::Drain()
{
    Event e{};
    while (ring_ != nullptr && jack_ringbuffer_read_space(ring_) >= sizeof e) {
        jack_ringbuffer_read(ring_, reinterpret_cast<char*>(&e), sizeof e);
        arrived_.push_back({std::vector<std::uint8_t>(e.bytes, e.bytes + e.size),
                            Clock::time_point(std::chrono::nanoseconds(e.at))});
    }
}

std::vector<NotePeer::Arrival> NotePeer::Wait(std::size_t count, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    Drain();
    while (arrived_.size() < count && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Drain();
    }
    return arrived_;
}

void NotePeer::Clear()
{
    Drain();
    arrived_.clear();
}
