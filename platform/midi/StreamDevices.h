#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/MidiDriver.h"

// The header bookkeeping of the Windows-shaped calls, done once for every
// backend that only moves whole MIDI messages (RtMidi, JACK, the built-in
// instrument). A backend supplies an OutputLine or an InputLine; the devices
// here queue headers, mark them done and deliver callbacks.

namespace platform {

// Bytes a short message of this status byte has; 0 for none it can carry
// (SysEx, its end, a data byte).
std::size_t ShortMessageLength(std::uint8_t status);

// Lets a paced line wait without outliving a reset or close of its port.
class SendPacer {
public:
    virtual ~SendPacer();
    // Waits `duration`; false when the port was reset or is closing, and the
    // line should then give up on the message.
    virtual bool Pause(std::chrono::microseconds duration) = 0;
    // The message has left the port: its header is done from now on. A line
    // whose peer answers calls it before answering, as no answer can come
    // back before the question has gone out; otherwise Send's return says it.
    virtual void Sent() = 0;
};

// The backend side of an open output port.
class OutputLine {
public:
    virtual ~OutputLine();
    // Runs on the port's sender thread, one message at a time, and returns
    // once the bytes have left the program for the transport, with the
    // transport's verdict: MMSYSERR_NOERROR, or the code of a refusal (a
    // message it cannot carry, a transport that has gone). Bounded.
    virtual MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) = 0;
};

// Takes what an input line receives. Receive may be called from any thread
// (the backend's) but a realtime one: it takes a short lock, copies, may
// allocate, and never waits for the callback.
class MessageReceiver {
public:
    virtual ~MessageReceiver();
    virtual void Receive(std::span<const std::uint8_t> message) = 0;
};

// The backend side of an open input port.
class InputLine {
public:
    virtual ~InputLine();
    // Starts handing every received message to `receiver`.
    virtual void Connect(MessageReceiver& receiver) = 0;
    // After this returns the line makes no more Receive calls.
    virtual void Disconnect() = 0;
};

// Where a backend hands what an input line receives: the receiver the line
// was connected to, or none.
struct ReceiverSlot {
    MessageReceiver* receiver = nullptr;

    // The caller holds the slot's guard (see SlotInputLine). Dropped while
    // nothing is connected, as on a cable that leads nowhere.
    void Deliver(std::span<const std::uint8_t> message) const;
};

// An input line whose backend delivers through `slot` while it holds
// `guard`, a lock the backend's thread takes anyway. Connecting and
// disconnecting take the same lock, so once Disconnect has returned no
// Receive call is under way, and none comes.
class SlotInputLine : public InputLine {
public:
    void Connect(MessageReceiver& receiver) final;
    void Disconnect() final;

protected:
    SlotInputLine(std::mutex& guard, ReceiverSlot& slot) : guard_(guard), slot_(slot) {}

private:
    std::mutex& guard_;
    ReceiverSlot& slot_;
};

// How long a call that hands something back (midiOutReset, midiOutClose,
// midiInStop, midiInReset, midiInClose) waits for the callbacks about it.
inline constexpr std::chrono::milliseconds kDeliveryBound{2000};

// An output port whose long messages leave on a sender thread of its own,
// so midiOutLongMsg never blocks the caller. Short messages take the same
// queue, so everything leaves in the order it was sent; midiOutShortMsg
// waits for its message's verdict.
//
// The callback gets MOM_OPEN before the open returns, MOM_DONE for each
// header in the order they finished, and MOM_CLOSE from a close. It runs
// with no lock held, on whichever thread finished the header (the sender,
// or the one that reset the port), one call at a time: a thread that finds
// another delivering leaves its notices to it.
class StreamOutDevice final : public MidiOutDevice, private SendPacer {
public:
    // How long midiOutShortMsg waits for the verdict on its message (and
    // whatever was queued before it).
    static constexpr std::chrono::milliseconds kVerdictBound{2000};

    explicit StreamOutDevice(std::unique_ptr<OutputLine> line, const MidiOutCallback& callback = {});
    ~StreamOutDevice() override;

    MMRESULT ShortMsg(DWORD message) override;
    MMRESULT PrepareHeader(MIDIHDR& header) override;
    MMRESULT UnprepareHeader(MIDIHDR& header) override;
    MMRESULT LongMsg(MIDIHDR& header) override;
    MMRESULT Reset() override;
    MMRESULT Close() override;

private:
    struct Job {
        MIDIHDR* header = nullptr;          // a long message, or
        std::uint8_t bytes[3] = {0, 0, 0};  // a short one of `size` bytes
        std::size_t size = 0;
        std::uint64_t number = 0;           // in the order queued, from 1
    };

    struct Notice {
        UINT message;
        DWORD_PTR param1;
    };

    bool Pause(std::chrono::microseconds duration) override;
    void Sent() override;
    // The rest take the lock from their caller; Deliver and AwaitDelivery
    // release it while a callback runs.
    void Done(MIDIHDR& header, MMRESULT verdict);
    void Post(UINT message, DWORD_PTR param1);
    void Deliver(std::unique_lock<std::mutex>& lock);
    bool AwaitDelivery(std::unique_lock<std::mutex>& lock);
    bool InCallback() const;
    void Run();
    void Quit();

    std::unique_ptr<OutputLine> line_;
    MidiOutCallback callback_;
    std::condition_variable finished_;
    std::uint64_t queued_ = 0;           // jobs ever queued
    std::uint64_t finishedCount_ = 0;    // jobs the sender is through with
    MMRESULT lastShortVerdict_ = MMSYSERR_NOERROR;
    std::uint64_t lastShortNumber_ = 0;
    // The line's words on the last message it refused, short and long, for
    // the caller that learns of the refusal (the line speaks on the sender).
    std::string lastShortReason_;
    std::string lastLongReason_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    MIDIHDR* playing_ = nullptr;  // the long message the sender holds
    bool cancel_ = false;         // the message playing was given back
    bool quit_ = false;
    bool abandon_ = false;        // destroyed while open: drop the rest
    std::vector<std::uint8_t> scratch_;  // sender thread only
    std::deque<Notice> notices_;         // posted, not yet delivered
    std::uint64_t posted_ = 0;
    std::uint64_t deliveredCount_ = 0;
    std::thread::id deliverer_;          // the thread running callbacks now, if any
    std::condition_variable delivered_;
    std::thread sender_;
};

// An input port: received SysEx bytes fill the queued buffers in order, and
// every buffer handed back, every short message and the open and close
// notices reach the callback on a dispatcher thread of the port.
class StreamInDevice final : public MidiInDevice, private MessageReceiver {
public:
    StreamInDevice(std::unique_ptr<InputLine> line, const MidiInCallback& callback);
    ~StreamInDevice() override;

    MMRESULT PrepareHeader(MIDIHDR& header) override;
    MMRESULT UnprepareHeader(MIDIHDR& header) override;
    MMRESULT AddBuffer(MIDIHDR& header) override;
    MMRESULT Start() override;
    MMRESULT Stop() override;
    MMRESULT Reset() override;
    MMRESULT Close() override;

private:
    struct Notice {
        UINT message;
        DWORD_PTR param1;
        DWORD_PTR param2;
    };

    void Receive(std::span<const std::uint8_t> message) override;
    void StoreSysexByte(std::uint8_t byte);
    void HandBack(MIDIHDR* header);          // caller holds mutex_
    void Post(UINT message, DWORD_PTR p1, DWORD_PTR p2);  // caller holds mutex_
    bool AwaitDelivery(std::unique_lock<std::mutex>& lock);
    DWORD Timestamp() const;
    void Run();
    void Quit();

    std::unique_ptr<InputLine> line_;
    MidiInCallback callback_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable delivered_;
    std::deque<MIDIHDR*> buffers_;
    std::deque<Notice> notices_;
    std::uint64_t posted_ = 0;
    std::uint64_t deliveredCount_ = 0;
    bool started_ = false;
    bool inSysex_ = false;
    bool lossReported_ = false;
    bool quit_ = false;
    bool connected_ = false;
    std::chrono::steady_clock::time_point startTime_{};
    std::thread dispatcher_;
};

}  // namespace platform
