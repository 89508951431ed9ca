#pragma once

#include <cstdint>
#include <string>

#include "midi/SysexMessage.h"
#include "platform/midi/WinMidi.h"
#include "platform/threads/WinSync.h"
#include "voice/EXParams.h"

// One MIDI output port. A job opens it with its parameters, which then hold
// the driver's handle (midiOutHandle) for every later call; the port keeps
// a copy of its own handle only to close itself if it is destroyed open.
// Created, used and destroyed on one thread.
class MidiOutWin {
public:
    // The name of output port `port`, cut to `size` - 1 characters.
    static int GetDeviceName(UINT port, char* lpszDeviceName, int size);

    MidiOutWin();
    // Closes a port still open, without a log, giving a message still on
    // its way the time it needs; never raises.
    virtual ~MidiOutWin();
    MidiOutWin(const MidiOutWin&) = delete;
    MidiOutWin& operator=(const MidiOutWin&) = delete;

    // 0, or the driver's code (and the port stays closed); never raises.
    // Port midiOutPort as chosen under the name midiOutName (see
    // JobSettings): followed when it moved, refused (MIDIERR_NODEVICE) when
    // it went. Why an open failed goes with what the port raises next.
    MMRESULT Open(EXParams& params);
    int SendShortMessage(EXParams& params, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // Queues the message and returns without waiting for the driver; the
    // next send or Close waits for it. At most 1024 bytes.
    int SendLongMessage(EXParams& params, const std::uint8_t* data, int size);
    // Takes the buffer back from the driver, waiting while it still plays:
    // `attempts` polls, each the SysEx delay apart or, for a message whose
    // time on the wire the polls would not cover, further (DrainInterval).
    void UnprepareMessage(EXParams& params);
    MMRESULT Close(EXParams& params);
    int GetMessageCount() const { return messageCount_; }
    bool IsOpen() const { return open_; }
    // Why the last Open failed, when a driver said; empty otherwise.
    const std::string& OpenFailure() const { return openFailure_; }

private:
    void CloseOpenPort();
    [[noreturn]] void Raise(const char* format, MMRESULT code, int line) const;

    HANDLE done_ = nullptr;  // set by the driver's callback when a message is done
    int messageCount_ = 0;
    SysexMessage message_;
    bool open_ = false;
    HMIDIOUT handle_ = nullptr;
    std::string openFailure_;  // why the last open failed, when a driver said
};
