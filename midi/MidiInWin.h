#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "midi/SysexMessage.h"
#include "platform/midi/WinMidi.h"
#include "platform/threads/WinSync.h"
#include "voice/EXParams.h"

struct Pacing;

// One MIDI input port that captures SysEx replies into a set of 1024-byte
// buffers and signals an event once the expected number of complete
// messages has arrived.
//
// Two threads meet here. The owning thread makes every call except
// OnDriverMessage. The layer's callback thread calls OnDriverMessage, which
// touches only the status word, the two counts (all atomic), the event
// (SetEvent) and the header and last byte of the buffer handed back, which
// the owner does not touch until Stop, Reset or Close have returned (they
// return only after the callbacks for what they handed back have run).
class MidiInWin {
public:
    static constexpr int kBufferSize = 1024;

    static int GetDeviceName(UINT port, char* lpszDeviceName, int size);

    MidiInWin();
    // Closes a port still open, without a log and with a short fixed
    // pacing; never raises.
    virtual ~MidiInWin();
    MidiInWin(const MidiInWin&) = delete;
    MidiInWin& operator=(const MidiInWin&) = delete;

    // Raises "Cannot open MIDI device for input" with the drivers' reason.
    int Open(UINT port);
    // Port midiInPort as chosen under the name midiInName (see JobSettings):
    // followed when it moved, refused when it went.
    int Open(EXParams& params);
    // bytes / 1024 + 1 cleared buffers, replacing the present ones.
    void AllocateBuffers(int bytes);
    // Arms the port for replies of up to `bytes` bytes and returns the
    // manual-reset event that is set once `expected` complete messages have
    // arrived.
    HANDLE StartCapture(EXParams& params, int bytes, int expected);
    int Stop();
    MMRESULT Reset(EXParams& params);
    void UnprepareBuffers(EXParams& params);
    int Close(EXParams& params);

    // Called only by the driver callback, on the layer's callback thread.
    void OnDriverMessage(UINT message, DWORD_PTR param1);

    DWORD GetStatus() const { return status_.load(); }
    int GetMessageCount() const { return received_.load(); }
    int GetBufferCount() const { return bufferCount_; }
    bool IsOpen() const { return open_; }

    // Copies the index-th complete message (from 0), joined across the
    // buffers it fills, into `dest`; returns the bytes copied.
    int ReadMessage(std::uint8_t* dest, int destSize, int index) const;

private:
    int Open(UINT& port, const std::string& expected);
    MMRESULT ReleaseBuffers(const Pacing& pacing);
    SysexMessage& Buffer(int i) const { return buffers_[static_cast<std::size_t>(i)]; }

    HMIDIIN handle_ = nullptr;
    std::unique_ptr<SysexMessage[]> buffers_;
    int bufferCount_ = 0;
    HANDLE event_ = nullptr;
    HANDLE handedBack_ = nullptr;  // set by the callback whenever the driver gives a buffer back
    bool open_ = false;
    bool started_ = false;
    std::atomic<DWORD> status_{0};
    std::atomic<int> expected_{0};
    std::atomic<int> received_{0};
};
