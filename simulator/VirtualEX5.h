#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A simulated EX5 behind the built-in virtual MIDI ports. The protocol is
// pure functions from bytes to bytes, so that it can be tested, and used by
// any test peer, without ports; VirtualEX5 adds the instrument's memory.

namespace virtual_ex5 {

using Bytes = std::vector<std::uint8_t>;

enum class Model { EX5, EX5R, EX7 };

struct Config {
    Model model = Model::EX5;
    std::uint8_t device = 1;        // 0 to 15
    unsigned silent = 0;            // Identity Requests ignored first
    std::optional<Bytes> reply;     // replaces the Identity Reply when set
    bool wire = false;              // bytes leave at the MIDI cable rate
};

// The MIDI cable rate: 31,250 baud at 10 bits a byte.
constexpr unsigned kWireBytesPerSecond = 3125;

// Reads the SONDERIK_VIRTUAL_EX5 syntax: comma-separated `model=EX5|EX5R|EX7`,
// `device=N`, `silent=K`, `reply=HEX`, `wire=0|1`. An item it cannot use is
// described in `problems` and leaves its default.
Config ParseConfig(std::string_view text, std::vector<std::string>* problems);

const char* ModelName(Model model);

// The 15-byte Identity Reply of `model` from device number `device`.
std::array<std::uint8_t, 15> IdentityReply(Model model, std::uint8_t device);

// The device number an Identity Request (F0 7E dd 06 01 F7) addresses, or
// nothing when the message is not one.
std::optional<std::uint8_t> IdentityRequestTarget(std::span<const std::uint8_t> message);

// One voice as the instrument received it.
struct Voice {
    std::uint8_t deviceByte = 0;
    std::array<std::uint8_t, 236> common{};
    std::vector<std::array<std::uint8_t, 132>> elements;  // present ones, in order
};

struct BulkResult {
    std::optional<Voice> voice;
    std::string fault;  // why the message was refused; empty when decoded
};

// Checks and decodes a voice bulk message (F0 43 0n 5B, count, 40 00 00,
// data packed seven bytes into eight, checksum, F7).
BulkResult DecodeVoiceBulk(std::span<const std::uint8_t> message);

// Splits a byte stream into whole MIDI messages: SysEx from F0 to F7 (an
// unterminated one ends the stream), channel and system messages by their
// length. Stray data bytes are dropped.
std::vector<Bytes> SplitMessages(std::span<const std::uint8_t> stream);

// What the instrument has received since it was made or last cleared. The
// lists keep the latest kReceivedKept entries each, so that a session that
// sends and auditions for hours does not grow with it; the counts are whole.
constexpr std::size_t kReceivedKept = 256;

struct Received {
    unsigned identityRequests = 0;   // addressed to it, answered or not
    unsigned identityReplies = 0;    // replies it sent
    unsigned voicesTaken = 0;        // bulk messages that checked out
    std::vector<Voice> voices;       // the latest of them
    std::vector<Bytes> channelMessages;
    // When each kept channel message arrived, one entry per message.
    std::vector<std::chrono::steady_clock::time_point> channelTimes;
    std::vector<std::string> refused;  // one line per refused message
};

}  // namespace virtual_ex5

// The instrument: thread-safe, so a test may read what it received while
// the port's sender thread feeds it.
class VirtualEX5 {
public:
    explicit VirtualEX5(const virtual_ex5::Config& config);

    const virtual_ex5::Config& GetConfig() const { return config_; }

    // Takes what arrived on its MIDI In; returns the messages it answers.
    std::vector<virtual_ex5::Bytes> Receive(std::span<const std::uint8_t> stream);

    virtual_ex5::Received GetReceived() const;
    void Clear();

private:
    const virtual_ex5::Config config_;
    mutable std::mutex mutex_;
    virtual_ex5::Received received_;
    unsigned requestsSeen_ = 0;
};
