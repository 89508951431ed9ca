#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/midi/MidiDriver.h"

// A driver for tests that does only what a test scripted. Each call kind is
// either allowed (it then behaves like a well-mannered driver), or answers
// the results queued for it one by one (a failure code, or
// MIDIERR_STILLPLAYING for k polls), or is not scripted at all: then it
// fails the running test and answers MMSYSERR_NOTSUPPORTED.
class ScriptedMidiDriver final : public MidiDriver {
public:
    enum class Call {
        OutOpen, OutShort, OutPrepare, OutLong, OutUnprepare, OutReset, OutClose,
        InOpen, InPrepare, InUnprepare, InAdd, InStart, InStop, InReset, InClose,
    };

    ScriptedMidiDriver(std::vector<std::string> outputs, std::vector<std::string> inputs);
    ~ScriptedMidiDriver() override;

    void Allow(std::initializer_list<Call> calls);
    void AllowAll();
    // The next calls of this kind answer these results, in order; after
    // them the call is back to allowed or not as before.
    void Script(Call call, std::initializer_list<MMRESULT> results);
    // Every scripted failure from now on comes with these words, as from a
    // driver that says why (empty: none, as before).
    void Explain(std::string reason);
    // The next `polls` unprepare calls answer MIDIERR_STILLPLAYING.
    void StillPlaying(Call unprepare, int polls);

    // The ports the system has from now on; the next count lists them.
    void SetPorts(std::vector<std::string> outputs, std::vector<std::string> inputs);

    // What the program did, one line per call ("midiOutLongMsg 6").
    std::vector<std::string> Calls() const;
    int CountOf(Call call) const;
    // Every message the output ports accepted, short ones as 1 to 3 bytes.
    std::vector<std::vector<std::uint8_t>> Sent() const;

    // Input as the driver sees it arrive, in pieces of `chunk` bytes (0:
    // all at once): SysEx fills the queued buffers in order and each buffer
    // goes back through the callback, from another thread, when full or
    // when F7 ends a message in it. Returns once all callbacks have run.
    void Feed(std::span<const std::uint8_t> bytes, std::size_t chunk = 0);
    // Hands the first queued buffer back holding exactly these bytes.
    void HandBack(std::span<const std::uint8_t> bytes);
    // Sends a bare callback message (MIM_ERROR, ...) to the open input.
    void Notify(UINT message, DWORD_PTR param1 = 0);
    std::size_t QueuedBuffers() const;

    UINT OutputCount() override;
    std::string OutputName(UINT port) override;
    UINT InputCount() override;
    std::string InputName(UINT port) override;
    // The output callback is not called: a scripted header is done only
    // when a poll finds it so, as with a driver that never reports.
    MMRESULT OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device) override;
    MMRESULT OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

const char* CallName(ScriptedMidiDriver::Call call);
