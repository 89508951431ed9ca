#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A JACK client of the test's own, outside the program: one MIDI input port
// that notes every short message arriving and when its process cycle saw
// it, and one MIDI output port that stays silent (something for the
// program's input port to connect to).
class NotePeer {
public:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        std::vector<std::uint8_t> bytes;
        Clock::time_point at;
    };

    // No server: Ok() is false and the peer does nothing.
    explicit NotePeer(const std::string& name);
    ~NotePeer();
    NotePeer(const NotePeer&) = delete;
    NotePeer& operator=(const NotePeer&) = delete;

    bool Ok() const { return client_ != nullptr; }
    std::string InName() const { return name_ + ":in"; }
    std::string OutName() const { return name_ + ":out"; }

    // Waits at most `limit` until `count` messages have arrived since the
    // last Clear, and returns those that have.
    std::vector<Arrival> Wait(std::size_t count, std::chrono::milliseconds limit);
    void Clear();
    // Periods the server has missed since the peer was made: JACK may lose
    // a message in one.
    int Xruns() const { return xruns_.load(); }

private:
    struct Event {
        std::uint8_t size;
        std::uint8_t bytes[3];
        std::int64_t at;  // steady clock, nanoseconds
    };

    static int Process(jack_nframes_t frames, void* self);
    static int Xrun(void* self);
    void Drain();

    std::string name_;
    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_ringbuffer_t* ring_ = nullptr;
    std::vector<Arrival> arrived_;
    std::atomic<int> xruns_{0};
};
