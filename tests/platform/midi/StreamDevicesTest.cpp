#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/midi/StreamDevices.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/Within.h"

using namespace platform;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

// What reached the callback, and on which thread.
struct Seen {
    UINT message;
    DWORD recorded;
    std::thread::id thread;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Seen> seen;
    std::vector<DWORD_PTR> shortMessages;

    static void Proc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<Recorder*>(instance);
        const std::lock_guard lock(self->mutex);
        const auto* header = message == MIM_LONGDATA ? reinterpret_cast<const MIDIHDR*>(p1) : nullptr;
        self->seen.push_back({message, header != nullptr ? header->dwBytesRecorded : 0, std::this_thread::get_id()});
        if (message == MIM_DATA) {
            self->shortMessages.push_back(p1);
        }
    }

    std::vector<UINT> Messages()
    {
        const std::lock_guard lock(mutex);
        std::vector<UINT> messages;
        for (const Seen& s : seen) {
            messages.push_back(s.message);
        }
        return messages;
    }
};

class TestInLine final : public InputLine {
public:
    void Connect(MessageReceiver& r) override { receiver = &r; }
    void Disconnect() override { receiver = nullptr; }
    MessageReceiver* receiver = nullptr;
};

struct Buffer {
    explicit Buffer(DWORD size) : data(size)
    {
        header.lpData = data.data();
        header.dwBufferLength = size;
    }
    std::vector<char> data;
    MIDIHDR header{};
};

class StreamInDeviceTest : public ::testing::Test {
protected:
    StreamInDeviceTest()
        : line(new TestInLine),
          device(std::unique_ptr<InputLine>(line), MidiInCallback{&Recorder::Proc, reinterpret_cast<DWORD_PTR>(&recorder)})
    {
    }

    void Queue(Buffer& b)
    {
        ASSERT_EQ(MMSYSERR_NOERROR, device.PrepareHeader(b.header));
        ASSERT_EQ(MMSYSERR_NOERROR, device.AddBuffer(b.header));
    }
    void Arrive(const Bytes& message) { line->receiver->Receive(message); }

    Recorder recorder;
    TestInLine* line;
    StreamInDevice device;
};

TEST_F(StreamInDeviceTest, SysexFillsBuffersInOrderAndEachGoesBackOnTheDispatcherThread)
{
    Buffer a(8), b(8), c(8);
    Queue(a);
    Queue(b);
    Queue(c);
    Arrive({0xF0, 1, 2});  // before Start: dropped
    device.Start();
    Arrive({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xF7});
    EXPECT_EQ(MMSYSERR_NOERROR, device.Stop()) << "Stop returns once the callbacks ran";

    ASSERT_EQ((std::vector<UINT>{MIM_OPEN, MIM_LONGDATA, MIM_LONGDATA}), recorder.Messages());
    EXPECT_EQ(8u, recorder.seen[1].recorded) << "full";
    EXPECT_EQ(4u, recorder.seen[2].recorded) << "ended by F7";
    EXPECT_EQ(0xF7, static_cast<std::uint8_t>(b.data[3]));
    EXPECT_NE(std::this_thread::get_id(), recorder.seen[1].thread);
    EXPECT_EQ(MHDR_DONE | MHDR_PREPARED, a.header.dwFlags);
    EXPECT_EQ(MHDR_INQUEUE | MHDR_PREPARED, c.header.dwFlags);

    EXPECT_EQ(MIDIERR_STILLPLAYING, device.UnprepareHeader(c.header));
    EXPECT_EQ(MIDIERR_STILLPLAYING, device.Close()) << "a buffer is still queued";
    EXPECT_EQ(MMSYSERR_NOERROR, device.Reset());
    EXPECT_EQ(MHDR_DONE | MHDR_PREPARED, c.header.dwFlags);
    EXPECT_EQ(MMSYSERR_NOERROR, device.UnprepareHeader(c.header));
    EXPECT_EQ(MMSYSERR_NOERROR, device.Close());
    EXPECT_EQ(MIM_CLOSE, recorder.Messages().back());
    EXPECT_EQ(nullptr, line->receiver) << "the line is disconnected";
}

TEST_F(StreamInDeviceTest, StopHandsBackAPartlyFilledBufferAndLostBytesAreReportedOnce)
{
    Buffer a(16), b(16);
    Buffer unprepared(16);
    EXPECT_EQ(MIDIERR_UNPREPARED, device.AddBuffer(unprepared.header));
    Queue(a);
    device.Start();
    Arrive({0x90, 60, 64});
    Arrive({0xF0, 1, 2});
    device.Stop();
    Queue(b);
    device.Start();
    Arrive({0xF0, 1, 0xF7});
    Arrive({0xF0, 2, 0xF7});  // no buffer left
    Arrive({0xF0, 3, 0xF7});
    device.Stop();

    EXPECT_EQ((std::vector<UINT>{MIM_OPEN, MIM_DATA, MIM_LONGDATA, MIM_LONGDATA, MIM_LONGERROR, MIM_LONGERROR}),
              recorder.Messages());
    EXPECT_EQ(3u, recorder.seen[2].recorded);
    EXPECT_EQ(DWORD_PTR{0x403C90}, recorder.shortMessages.at(0));
}

// A backend that hands SysEx on in pieces may end one with a piece that is
// only its F7, with a realtime message between the pieces.
TEST_F(StreamInDeviceTest, SysexInPiecesIsJoinedAgainWhateverPieceEndsIt)
{
    Buffer a(16);
    Queue(a);
    device.Start();
    Arrive({0xF0, 0x43, 0x10});
    Arrive({0xFE});
    Arrive({0x01, 0x02});
    Arrive({0xF7});
    device.Stop();

    EXPECT_EQ((std::vector<UINT>{MIM_OPEN, MIM_DATA, MIM_LONGDATA}), recorder.Messages());
    EXPECT_EQ((Bytes{0xF0, 0x43, 0x10, 0x01, 0x02, 0xF7}), Bytes(a.data.begin(), a.data.begin() + 6));
    EXPECT_EQ(6u, recorder.seen[2].recorded);
}

class TestOutLine final : public OutputLine {
public:
    explicit TestOutLine(std::chrono::microseconds wire) : wire_(wire) {}
    // Refuses a tune request (0xF6) and SysEx whose second byte is 0x7D with `refusal`.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) override
    {
        if (message[0] == 0xF6 || (message.size() > 1 && message[1] == 0x7D)) {
            return refusal;
        }
        if (pacer.Pause(wire_)) {
            const std::lock_guard lock(mutex);
            sent.emplace_back(message.begin(), message.end());
        }
        return MMSYSERR_NOERROR;
    }
    std::mutex mutex;
    std::vector<Bytes> sent;
    MMRESULT refusal = MMSYSERR_ERROR;

private:
    std::chrono::microseconds wire_;
};

TEST(StreamOutDeviceTest, ALongMessagePlaysUntilTheLineTookItAndResetGivesItBack)
{
    auto* line = new TestOutLine(10s);
    StreamOutDevice device{std::unique_ptr<OutputLine>(line)};
    Bytes data = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = 6;

    EXPECT_EQ(MIDIERR_UNPREPARED, device.LongMsg(header));
    device.PrepareHeader(header);
    ASSERT_EQ(MMSYSERR_NOERROR, device.LongMsg(header));
    EXPECT_EQ(MIDIERR_STILLPLAYING, device.LongMsg(header));
    EXPECT_EQ(MIDIERR_STILLPLAYING, device.UnprepareHeader(header));
    EXPECT_EQ(MIDIERR_STILLPLAYING, device.Close());

    // The paced send gives up at the reset: the line never finishes it (how
    // long the reset takes is midi_bench's BM_ResetOfAVoiceOnTheCable).
    EXPECT_EQ(MMSYSERR_NOERROR, device.Reset());
    EXPECT_EQ(MHDR_DONE | MHDR_PREPARED, header.dwFlags);
    EXPECT_EQ(MMSYSERR_NOERROR, device.UnprepareHeader(header));
    EXPECT_EQ(MMSYSERR_NOERROR, device.Close());
    EXPECT_TRUE(line->sent.empty());
}

TEST(StreamOutDeviceTest, MessagesLeaveInTheOrderTheyWereSentAndHeadersEndDone)
{
    auto* line = new TestOutLine(0us);
    StreamOutDevice device{std::unique_ptr<OutputLine>(line)};
    Bytes data = {0xF0, 0x01, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = 3;
    device.PrepareHeader(header);

    EXPECT_EQ(MMSYSERR_INVALPARAM, device.ShortMsg(0x45)) << "no running status";
    device.ShortMsg(0x403C90);
    device.LongMsg(header);
    device.ShortMsg(0xC5);
    MMRESULT released = MIDIERR_STILLPLAYING;
    for (int poll = 0; poll < 1000 && released == MIDIERR_STILLPLAYING; ++poll) {
        released = device.UnprepareHeader(header);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(MMSYSERR_NOERROR, released);
    EXPECT_NE(0u, header.dwFlags & MHDR_DONE);
    EXPECT_EQ(MMSYSERR_NOERROR, device.Close()) << "pending short messages leave before the port closes";
    EXPECT_EQ((std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0xF0, 0x01, 0xF7}, {0xC5, 0x00}}), line->sent);
}

}  // namespace

namespace {

// Counts the MOM_DONE calls an output device makes.
std::atomic<int> doneCalls{0};
void CountDone(HMIDIOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message == MOM_DONE) {
        ++doneCalls;
    }
}

}  // namespace

TEST(StreamOutDeviceTest, WhatTheTransportRefusedIsAnErrorAndEveryDoneIsReported)
{
    doneCalls = 0;
    auto* line = new TestOutLine(0us);
    StreamOutDevice device{std::unique_ptr<OutputLine>(line), MidiOutCallback{&CountDone, 0}};
    EXPECT_EQ(MMSYSERR_ERROR, device.ShortMsg(0xF6)) << "the line's verdict, not a hopeful yes";
    EXPECT_EQ(MMSYSERR_NOERROR, device.ShortMsg(0x403C90));

    Bytes refused = {0xF0, 0x7D, 0xF7};
    Bytes taken = {0xF0, 0x01, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(refused.data());
    header.dwBufferLength = 3;
    const auto release = [&] {
        MMRESULT released = MIDIERR_STILLPLAYING;
        for (int poll = 0; poll < 1000 && released == MIDIERR_STILLPLAYING; ++poll) {
            released = device.UnprepareHeader(header);
            std::this_thread::sleep_for(1ms);
        }
        return released;
    };
    device.PrepareHeader(header);
    ASSERT_EQ(MMSYSERR_NOERROR, device.LongMsg(header));
    EXPECT_EQ(MMSYSERR_ERROR, release()) << "the refusal shows when the header is taken back";
    EXPECT_EQ(0u, header.dwFlags & MHDR_PREPARED) << "and the header is free all the same";

    header.lpData = reinterpret_cast<LPSTR>(taken.data());
    device.PrepareHeader(header);
    ASSERT_EQ(MMSYSERR_NOERROR, device.LongMsg(header));
    EXPECT_EQ(MMSYSERR_NOERROR, release()) << "a refusal is reported once";
    EXPECT_EQ(2, doneCalls.load());
    EXPECT_EQ(MMSYSERR_NOERROR, device.Close());
    EXPECT_EQ((std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0xF0, 0x01, 0xF7}}), line->sent);
}

namespace {

// An output callback that, at the first MOM_DONE, resets its own port and
// tries to close it, as a program that gives up on the rest would.
struct GivingUp {
    std::mutex mutex;
    std::vector<std::pair<UINT, DWORD_PTR>> seen;
    HMIDIOUT handle = nullptr;
    MMRESULT resetFromCallback = MMSYSERR_NOTSUPPORTED;
    MMRESULT closeFromCallback = MMSYSERR_NOTSUPPORTED;

    static void Proc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<GivingUp*>(instance);
        bool first = false;
        {
            const std::lock_guard lock(self->mutex);
            self->seen.emplace_back(message, p1);
            first = message == MOM_DONE && self->resetFromCallback == MMSYSERR_NOTSUPPORTED;
            if (first) {
                self->resetFromCallback = MIDIERR_STILLPLAYING;  // under way
            }
        }
        if (first) {
            const MMRESULT reset = midiOutReset(self->handle);
            const MMRESULT closed = midiOutClose(self->handle);
            const std::lock_guard lock(self->mutex);
            self->resetFromCallback = reset;
            self->closeFromCallback = closed;
        }
    }

    std::vector<std::pair<UINT, DWORD_PTR>> Seen()
    {
        const std::lock_guard lock(mutex);
        return seen;
    }

    // Both headers reported and the callback that reset the port returned.
    bool Settled()
    {
        const std::lock_guard lock(mutex);
        return seen.size() >= 3 && closeFromCallback != MMSYSERR_NOTSUPPORTED;
    }
};

}  // namespace

// The callback runs with no lock of the device held, so it may reset its
// port; closing from inside it is refused (it would wait for itself) and
// works once it has returned. A deadlock ends the test program rather than
// hanging it: nothing could be closed after it.
TEST(StreamOutDeviceTest, ACallbackMayResetItsOwnPortAndCloseItAfterwards)
{
    const ScopedMidiDrivers drivers(
        {std::make_shared<VirtualEX5Driver>(virtual_ex5::ParseConfig("wire=1", nullptr))});
    GivingUp script;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&script.handle, 0, reinterpret_cast<DWORD_PTR>(&GivingUp::Proc),
                                            reinterpret_cast<DWORD_PTR>(&script), CALLBACK_FUNCTION));
    Bytes first = {0xF0, 0x43, 0x10, 0x01, 0xF7};
    Bytes second = {0xF0, 0x43, 0x10, 0x02, 0xF7};
    MIDIHDR a{};
    MIDIHDR b{};
    for (auto [header, data] : {std::pair{&a, &first}, std::pair{&b, &second}}) {
        header->lpData = reinterpret_cast<LPSTR>(data->data());
        header->dwBufferLength = static_cast<DWORD>(data->size());
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutPrepareHeader(script.handle, header, sizeof *header));
        ASSERT_EQ(MMSYSERR_NOERROR, midiOutLongMsg(script.handle, header, sizeof *header));
    }
    if (!Within(5s, [&] { return script.Settled(); })) {
        std::fprintf(stderr, "the callback that reset its port never returned: a deadlock\n");
        std::_Exit(EXIT_FAILURE);
    }
    const auto key = [](const MIDIHDR& h) { return reinterpret_cast<DWORD_PTR>(&h); };
    EXPECT_EQ((std::vector<std::pair<UINT, DWORD_PTR>>{{MOM_OPEN, 0}, {MOM_DONE, key(a)}, {MOM_DONE, key(b)}}),
              script.Seen())
        << "the header the reset gave back is reported after the callback that reset it";
    EXPECT_EQ(MMSYSERR_NOERROR, script.resetFromCallback);
    EXPECT_EQ(MMSYSERR_ERROR, script.closeFromCallback);
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutUnprepareHeader(script.handle, &a, sizeof a));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutUnprepareHeader(script.handle, &b, sizeof b));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(script.handle));
    EXPECT_EQ(MOM_CLOSE, script.Seen().back().first);
    EXPECT_EQ(4u, script.Seen().size());
}

// A reset returns once the callbacks for what it gave back have run, also
// when one of them resets again on the same thread.
TEST(StreamOutDeviceTest, AResetReturnsOnceItsCallbacksHaveRun)
{
    struct Nested {
        StreamOutDevice* device = nullptr;
        std::atomic<int> done{0};
        std::atomic<MMRESULT> inner{MMSYSERR_NOTSUPPORTED};
        static void Proc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
        {
            auto* self = reinterpret_cast<Nested*>(instance);
            if (message == MOM_DONE && ++self->done == 1) {
                self->inner = self->device->Reset();
            }
        }
    } nested;
    StreamOutDevice device{std::make_unique<TestOutLine>(10s),
                           MidiOutCallback{&Nested::Proc, reinterpret_cast<DWORD_PTR>(&nested)}};
    nested.device = &device;
    Bytes data = {0xF0, 0x01, 0xF7};
    std::array<MIDIHDR, 3> headers{};
    for (MIDIHDR& header : headers) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = 3;
        device.PrepareHeader(header);
        ASSERT_EQ(MMSYSERR_NOERROR, device.LongMsg(header));
    }
    EXPECT_EQ(MMSYSERR_NOERROR, device.Reset());
    EXPECT_EQ(3, nested.done.load()) << "every header's callback ran before the reset returned";
    EXPECT_EQ(MMSYSERR_NOERROR, nested.inner.load());
    EXPECT_EQ(MMSYSERR_NOERROR, device.Close());
}
