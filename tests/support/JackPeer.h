#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// An outside JACK client for tests and benchmarks: one MIDI input and one
// MIDI output ("NAME:in", "NAME:out"). It keeps every message it receives,
// answers an Identity Request like an EX5 at device 1 in the very cycle it
// arrives, and counts the cycles the server missed (xruns), in which JACK
// may lose a message.
class JackPeer {
public:
    using Bytes = std::vector<std::uint8_t>;

    explicit JackPeer(const char* name = "sonderik-peer");
    ~JackPeer();
    JackPeer(const JackPeer&) = delete;
    JackPeer& operator=(const JackPeer&) = delete;

    // False when no server runs (or it refused the client).
    bool Ready() const { return client_ != nullptr && in_ != nullptr && out_ != nullptr; }
    std::string InName() const;
    std::string OutName() const;
    int Xruns() const { return xruns_.load(); }

    // The ports connected to the peer's input, and cutting them all, as a
    // user of a patchbay would.
    std::vector<std::string> InConnections() const;
    void DisconnectIn();

    std::vector<Bytes> Received();
    // Waits up to `bound` for the count of received messages to reach `count`.
    bool Await(std::size_t count, std::chrono::milliseconds bound);

private:
    static int Process(jack_nframes_t frames, void* arg);
    static int Xrun(void* arg);

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::atomic<int> xruns_{0};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
};
