#include "tests/support/JackPeer.h"

#include <jack/midiport.h>

#include "simulator/VirtualEX5.h"

namespace {

void Quiet(const char*) {}

}  // namespace

JackPeer::JackPeer(const char* name)
{
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status{};
    client_ = jack_client_open(name, JackNoStartServer, &status);
    if (client_ == nullptr) {
        return;
    }
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &JackPeer::Process, this);
    jack_set_xrun_callback(client_, &JackPeer::Xrun, this);
    jack_activate(client_);
}

JackPeer::~JackPeer()
{
    if (client_ != nullptr) {
        jack_client_close(client_);
    }
}

std::string JackPeer::InName() const { return jack_port_name(in_); }
std::string JackPeer::OutName() const { return jack_port_name(out_); }

std::vector<std::string> JackPeer::InConnections() const
{
    std::vector<std::string> names;
    if (const char** found = jack_port_get_all_connections(client_, in_)) {
        for (const char** name = found; *name != nullptr; ++name) {
            names.emplace_back(*name);
        }
        jack_free(static_cast<void*>(found));
    }
    return names;
}

void JackPeer::DisconnectIn() { jack_port_disconnect(client_, in_); }

std::vector<JackPeer::Bytes> JackPeer::Received()
{
    const std::lock_guard lock(mutex_);
    return received_;
}

bool JackPeer::Await(std::size_t count, std::chrono::milliseconds bound)
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, bound, [&] { return received_.size() >= count; });
}

int JackPeer::Process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackPeer*>(arg);
    void* in = jack_port_get_buffer(self->in_, frames);
    void* out = jack_port_get_buffer(self->out_, frames);
    jack_midi_clear_buffer(out);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, in, i) != 0) {
            continue;
        }
        Bytes message(event.buffer, event.buffer + event.size);
        if (virtual_ex5::IdentityRequestTarget(message)) {
            const auto reply = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
            jack_midi_event_write(out, 0, reply.data(), reply.size());
        }
        {
            const std::lock_guard lock(self->mutex_);
            self->received_.push_back(std::move(message));
        }
        self->arrived_.notify_all();
    }
    return 0;
}

int JackPeer::Xrun(void* arg)
{
    ++static_cast<JackPeer*>(arg)->xruns_;
    return 0;
}
