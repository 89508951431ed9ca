#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <new>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/midi/RealtimeSection.h"
#include "platform/midi/StreamDevices.h"
#include "platform/midi/WinmmMidiDriver.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/Within.h"

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Heap calls made inside a realtime section: winmm's callbacks into the
// driver must make none.
std::atomic<long> realtimeHeapCalls{0};

}  // namespace

void* operator new(std::size_t size)
{
    if (platform::inRealtimeSection) {
        ++realtimeHeapCalls;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

namespace {

constexpr std::chrono::milliseconds kSettleBound = 5s;

// A winmm for tests: its ports are what the test says, its callbacks come
// from a thread of its own as winmm's do, and a call the test did not let
// it expect fails the test. Listing and error texts are always allowed.
// One output and one input port may be open at a time.
class FakeWinmm {
public:
    enum class Call {
        OutOpen, OutShort, OutPrepare, OutLong, OutUnprepare, OutReset, OutClose,
        InOpen, InPrepare, InAdd, InStart, InStop, InReset, InUnprepare, InClose,
    };

    FakeWinmm(std::vector<std::string> outputs, std::vector<std::string> inputs)
        : outputs_(std::move(outputs)), inputs_(std::move(inputs)), thread_([this] { Run(); })
    {
        current = this;
    }
    ~FakeWinmm()
    {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
        current = nullptr;
    }
    FakeWinmm(const FakeWinmm&) = delete;
    FakeWinmm& operator=(const FakeWinmm&) = delete;

    static const winmm::Api& Table();

    void Expect(std::initializer_list<Call> calls)
    {
        const std::lock_guard lock(mutex_);
        allowed_.insert(calls);
    }
    // The next call of this kind answers `result`, allowed or not.
    void Refuse(Call call, MMRESULT result)
    {
        const std::lock_guard lock(mutex_);
        refusals_[call].push_back(result);
    }
    void SetPorts(std::vector<std::string> outputs, std::vector<std::string> inputs)
    {
        const std::lock_guard lock(mutex_);
        outputs_ = std::move(outputs);
        inputs_ = std::move(inputs);
    }
    // Long messages stay with winmm until FinishHeld or a reset.
    void HoldLongMessages()
    {
        const std::lock_guard lock(mutex_);
        hold_ = true;
    }
    bool Holding()
    {
        const std::lock_guard lock(mutex_);
        return held_ != nullptr;
    }
    void FinishHeld()
    {
        const std::lock_guard lock(mutex_);
        FinishLong();
    }
    // How many long messages winmm has reported done so far.
    int Finished()
    {
        const std::lock_guard lock(mutex_);
        return finished_;
    }

    std::vector<std::string> Log()
    {
        const std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<Bytes> Sent()
    {
        const std::lock_guard lock(mutex_);
        return sent_;
    }
    std::size_t QueuedInputs()
    {
        const std::lock_guard lock(mutex_);
        return inQueue_.size();
    }

    // A piece of SysEx as winmm hands it over: in the first queued buffer.
    void FeedBuffer(const Bytes& piece)
    {
        const std::lock_guard lock(mutex_);
        if (inQueue_.empty() || !started_) {
            ADD_FAILURE() << "no buffer queued with winmm for the input";
            return;
        }
        winmm::Header* header = inQueue_.front();
        inQueue_.pop_front();
        if (piece.size() > header->dwBufferLength) {
            ADD_FAILURE() << "the piece is larger than the buffer";
            return;
        }
        std::memcpy(header->lpData, piece.data(), piece.size());
        header->dwBytesRecorded = static_cast<DWORD>(piece.size());
        HandBack(header);
    }
    void FeedShort(DWORD message)
    {
        const std::lock_guard lock(mutex_);
        Later([this, message] { in_.proc(in_.handle, MIM_DATA, in_.instance, message, 0); });
    }

private:
    template <typename Handle, typename Proc>
    struct Port {
        Proc proc = nullptr;
        DWORD_PTR instance = 0;
        Handle handle = nullptr;
        bool open = false;
    };

    // winmm's calls carry no context of their own: the table reaches the
    // running test's fake through this.
    static FakeWinmm* current;
    static FakeWinmm& Now() { return *current; }

    // Logs the call (unless `line` is empty) and decides: true to go on,
    // false with `result` set.
    bool Enter(Call call, const std::string& line, MMRESULT& result)  // caller holds mutex_
    {
        if (!line.empty()) {
            log_.push_back(line);
        }
        if (auto& queue = refusals_[call]; !queue.empty()) {
            result = queue.front();
            queue.pop_front();
            return false;
        }
        if (allowed_.count(call) == 0) {
            ADD_FAILURE() << "winmm was called with " << (line.empty() ? "a call" : line)
                          << " (" << static_cast<int>(call) << "), which the test did not expect";
            result = MMSYSERR_NOTSUPPORTED;
            return false;
        }
        result = MMSYSERR_NOERROR;
        return true;
    }

    // A callback from winmm's thread, after the calls before it.
    void Later(std::function<void()> callback)  // caller holds mutex_
    {
        pending_.push_back(std::move(callback));
        wake_.notify_all();
    }

    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || !pending_.empty(); });
            if (pending_.empty()) {
                return;
            }
            auto callback = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            callback();
            lock.lock();
        }
    }

    void FinishLong()  // caller holds mutex_
    {
        winmm::Header* header = std::exchange(held_, nullptr);
        if (header == nullptr) {
            return;
        }
        Later([this, header] {
            {
                const std::lock_guard lock(mutex_);
                header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
                ++finished_;
            }
            out_.proc(out_.handle, MOM_DONE, out_.instance, reinterpret_cast<DWORD_PTR>(header), 0);
        });
    }

    void HandBack(winmm::Header* header)  // caller holds mutex_
    {
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        Later([this, header] { in_.proc(in_.handle, MIM_LONGDATA, in_.instance, reinterpret_cast<DWORD_PTR>(header), 0); });
    }

    template <typename Record>
    static MMRESULT FillCaps(const std::vector<std::string>& names, UINT_PTR id, Record* caps, UINT size)
    {
        if (id >= names.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        if (caps == nullptr || size < sizeof *caps) {
            return MMSYSERR_INVALPARAM;
        }
        *caps = Record{};
        // As winmm: cut to fit, with a zero.
        const std::string& name = names[id];
        std::memcpy(caps->szPname, name.data(), std::min<std::size_t>(name.size(), winmm::kNameLength - 1));
        return MMSYSERR_NOERROR;
    }

    static MMRESULT WINAPI ErrorText(MMRESULT code, LPSTR text, UINT size)
    {
        std::snprintf(text, size, "fake winmm error %u", code);
        return MMSYSERR_NOERROR;
    }

    // An expected call: `body` runs under the lock and answers; otherwise
    // what Enter decided.
    template <typename Body>
    static MMRESULT Expected(Call call, const std::string& line, Body body)
    {
        FakeWinmm& self = Now();
        std::unique_lock lock(self.mutex_);
        MMRESULT result;
        if (!self.Enter(call, line, result)) {
            return result;
        }
        return body(self, lock);
    }

    template <typename Handle, typename Proc>
    static MMRESULT Open(Call call, Port<Handle, Proc>& port, const std::vector<std::string>& names, Handle* handle,
                         UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags, UINT opened)
    {
        return Expected(call, CallName(call) + " " + std::to_string(id), [&](FakeWinmm&, std::unique_lock<std::mutex>& lock) {
            if (id >= names.size()) {
                return MMSYSERR_BADDEVICEID;
            }
            EXPECT_EQ(CALLBACK_FUNCTION, flags);
            EXPECT_FALSE(port.open);
            port = {reinterpret_cast<Proc>(callback), instance, reinterpret_cast<Handle>(&port), true};
            *handle = port.handle;
            lock.unlock();
            port.proc(port.handle, opened, instance, 0, 0);
            return MMSYSERR_NOERROR;
        });
    }

    // MIDIERR_STILLPLAYING while `busy` says winmm holds a header still.
    template <typename Handle, typename Proc, typename Busy>
    static MMRESULT Close(Call call, Port<Handle, Proc>& port, Busy busy, UINT closed)
    {
        return Expected(call, CallName(call), [&](FakeWinmm& self, std::unique_lock<std::mutex>& lock) {
            if (busy(self)) {
                return MIDIERR_STILLPLAYING;
            }
            port.open = false;
            lock.unlock();
            port.proc(port.handle, closed, port.instance, 0, 0);
            return MMSYSERR_NOERROR;
        });
    }

    static MMRESULT Prepare(Call call, winmm::Header* header)
    {
        return Expected(call, CallName(call), [&](FakeWinmm&, auto&) {
            header->dwFlags |= MHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }

    static MMRESULT Unprepare(Call call, winmm::Header* header)
    {
        return Expected(call, CallName(call), [&](FakeWinmm&, auto&) {
            if ((header->dwFlags & MHDR_INQUEUE) != 0) {
                return MIDIERR_STILLPLAYING;
            }
            header->dwFlags &= ~MHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }

    static std::string CallName(Call call)
    {
        switch (call) {
        case Call::OutOpen: return "midiOutOpen";
        case Call::OutPrepare: return "midiOutPrepareHeader";
        case Call::OutUnprepare: return "midiOutUnprepareHeader";
        case Call::OutClose: return "midiOutClose";
        case Call::InOpen: return "midiInOpen";
        case Call::InPrepare: return "midiInPrepareHeader";
        case Call::InUnprepare: return "midiInUnprepareHeader";
        case Call::InClose: return "midiInClose";
        default: return "";  // the others name their own lines
        }
    }

    static UINT WINAPI OutCount()
    {
        const std::lock_guard lock(Now().mutex_);
        return static_cast<UINT>(Now().outputs_.size());
    }
    static MMRESULT WINAPI OutCaps(UINT_PTR id, winmm::OutCaps* caps, UINT size)
    {
        const std::lock_guard lock(Now().mutex_);
        return FillCaps(Now().outputs_, id, caps, size);
    }
    static MMRESULT WINAPI OutOpen(winmm::OutHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    {
        return Open(Call::OutOpen, Now().out_, Now().outputs_, handle, id, callback, instance, flags, MOM_OPEN);
    }
    static MMRESULT WINAPI OutShort(winmm::OutHandle, DWORD message)
    {
        char line[32];
        std::snprintf(line, sizeof line, "midiOutShortMsg 0x%06lX", static_cast<unsigned long>(message));
        return Expected(Call::OutShort, line, [&](FakeWinmm& self, auto&) {
            const Bytes bytes = {static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
                                 static_cast<std::uint8_t>(message >> 16)};
            const auto size = static_cast<std::ptrdiff_t>(platform::ShortMessageLength(bytes[0]));
            self.sent_.emplace_back(bytes.begin(), bytes.begin() + size);
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI OutPrepare(winmm::OutHandle, winmm::Header* header, UINT)
    {
        return Prepare(Call::OutPrepare, header);
    }
    static MMRESULT WINAPI OutLong(winmm::OutHandle, winmm::Header* header, UINT)
    {
        return Expected(Call::OutLong, "midiOutLongMsg " + std::to_string(header->dwBufferLength), [&](FakeWinmm& self, auto&) {
            if ((header->dwFlags & MHDR_PREPARED) == 0) {
                return MIDIERR_UNPREPARED;
            }
            const auto* data = reinterpret_cast<const std::uint8_t*>(header->lpData);
            self.sent_.emplace_back(data, data + header->dwBufferLength);
            header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
            self.held_ = header;
            if (!self.hold_) {
                self.FinishLong();
            }
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI OutUnprepare(winmm::OutHandle, winmm::Header* header, UINT)
    {
        return Unprepare(Call::OutUnprepare, header);
    }
    static MMRESULT WINAPI OutReset(winmm::OutHandle)
    {
        return Expected(Call::OutReset, "midiOutReset", [](FakeWinmm& self, auto&) {
            self.FinishLong();
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI OutClose(winmm::OutHandle)
    {
        return Close(Call::OutClose, Now().out_, [](FakeWinmm& self) { return self.held_ != nullptr; }, MOM_CLOSE);
    }

    static UINT WINAPI InCount()
    {
        const std::lock_guard lock(Now().mutex_);
        return static_cast<UINT>(Now().inputs_.size());
    }
    static MMRESULT WINAPI InCaps(UINT_PTR id, winmm::InCaps* caps, UINT size)
    {
        const std::lock_guard lock(Now().mutex_);
        return FillCaps(Now().inputs_, id, caps, size);
    }
    static MMRESULT WINAPI InOpen(winmm::InHandle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    {
        return Open(Call::InOpen, Now().in_, Now().inputs_, handle, id, callback, instance, flags, MIM_OPEN);
    }
    static MMRESULT WINAPI InPrepare(winmm::InHandle, winmm::Header* header, UINT)
    {
        return Prepare(Call::InPrepare, header);
    }
    // Not logged: the driver gives every buffer back after each use.
    static MMRESULT WINAPI InAdd(winmm::InHandle, winmm::Header* header, UINT)
    {
        return Expected(Call::InAdd, "", [&](FakeWinmm& self, auto&) {
            if ((header->dwFlags & MHDR_PREPARED) == 0) {
                return MIDIERR_UNPREPARED;
            }
            header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
            self.inQueue_.push_back(header);
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI InStart(winmm::InHandle)
    {
        return Expected(Call::InStart, "midiInStart", [](FakeWinmm& self, auto&) {
            self.started_ = true;
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI InStop(winmm::InHandle)
    {
        return Expected(Call::InStop, "midiInStop", [](FakeWinmm& self, auto&) {
            self.started_ = false;
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI InReset(winmm::InHandle)
    {
        return Expected(Call::InReset, "midiInReset", [](FakeWinmm& self, auto&) {
            self.started_ = false;
            for (winmm::Header* header : std::exchange(self.inQueue_, {})) {
                header->dwBytesRecorded = 0;
                self.HandBack(header);
            }
            return MMSYSERR_NOERROR;
        });
    }
    static MMRESULT WINAPI InUnprepare(winmm::InHandle, winmm::Header* header, UINT)
    {
        return Unprepare(Call::InUnprepare, header);
    }
    static MMRESULT WINAPI InClose(winmm::InHandle)
    {
        return Close(Call::InClose, Now().in_, [](FakeWinmm& self) { return !self.inQueue_.empty(); }, MIM_CLOSE);
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> outputs_;
    std::vector<std::string> inputs_;
    std::set<Call> allowed_;
    std::map<Call, std::deque<MMRESULT>> refusals_;
    std::vector<std::string> log_;
    std::vector<Bytes> sent_;
    Port<winmm::OutHandle, winmm::OutProc> out_;
    Port<winmm::InHandle, winmm::InProc> in_;
    bool hold_ = false;
    winmm::Header* held_ = nullptr;
    int finished_ = 0;
    std::deque<winmm::Header*> inQueue_;
    bool started_ = false;
    std::deque<std::function<void()>> pending_;
    bool quit_ = false;
    std::thread thread_;
};

FakeWinmm* FakeWinmm::current = nullptr;

const winmm::Api& FakeWinmm::Table()
{
    static const winmm::Api table{
        .outGetNumDevs = OutCount,
        .outGetDevCaps = OutCaps,
        .outGetErrorText = ErrorText,
        .outOpen = OutOpen,
        .outShortMsg = OutShort,
        .outPrepareHeader = OutPrepare,
        .outLongMsg = OutLong,
        .outUnprepareHeader = OutUnprepare,
        .outReset = OutReset,
        .outClose = OutClose,
        .inGetNumDevs = InCount,
        .inGetDevCaps = InCaps,
        .inGetErrorText = ErrorText,
        .inOpen = InOpen,
        .inPrepareHeader = InPrepare,
        .inAddBuffer = InAdd,
        .inStart = InStart,
        .inStop = InStop,
        .inReset = InReset,
        .inUnprepareHeader = InUnprepare,
        .inClose = InClose,
    };
    return table;
}

using Call = FakeWinmm::Call;

// What reached the caller's callback, and what winmm had finished by then.
struct Seen {
    UINT message;
    DWORD_PTR param1;
    int winmmFinished;
};

struct Caller {
    FakeWinmm* winmm = nullptr;
    std::mutex mutex;
    std::vector<Seen> seen;

    template <typename Handle>
    static void Proc(Handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<Caller*>(instance);
        const int finished = self->winmm->Finished();
        const std::lock_guard lock(self->mutex);
        self->seen.push_back({message, p1, finished});
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
    int Count(UINT message)
    {
        const auto messages = Messages();
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
    DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }
};

struct Header {
    explicit Header(Bytes bytes) : data(std::move(bytes))
    {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(data.size());
    }
    Bytes data;
    MIDIHDR header{};
};

class WinmmMidiDriverTest : public ::testing::Test {
protected:
    WinmmMidiDriverTest()
        : drivers({std::make_shared<WinmmMidiDriver>(FakeWinmm::Table()),
                   std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{})})
    {
        caller.winmm = &winmm;
        realtimeHeapCalls = 0;
    }
    ~WinmmMidiDriverTest() override
    {
        EXPECT_EQ(0, realtimeHeapCalls.load()) << "winmm's callbacks into the driver allocated";
    }

    HMIDIOUT OpenOutput(UINT id)
    {
        HMIDIOUT handle = nullptr;
        EXPECT_EQ(MMSYSERR_NOERROR, midiOutOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&Caller::Proc<HMIDIOUT>),
                                                caller.Instance(), CALLBACK_FUNCTION));
        return handle;
    }

    // Polls the caller's header free, as a program waiting for it does.
    static MMRESULT Release(HMIDIOUT handle, MIDIHDR& header)
    {
        MMRESULT released = MIDIERR_STILLPLAYING;
        Within(kSettleBound, [&] {
            released = midiOutUnprepareHeader(handle, &header, sizeof header);
            return released != MIDIERR_STILLPLAYING;
        });
        return released;
    }

    FakeWinmm winmm{{"Synth"}, {"Keys"}};
    ScopedMidiDrivers drivers;
    Caller caller;
};

TEST_F(WinmmMidiDriverTest, WinmmsPortsComeFirstAsItNamesThemAndAnOpenFindsThePortTheUserSaw)
{
    const std::string longest = "A USB interface with a long na";  // 30 characters, then one more
    winmm.SetPorts({longest + "me that winmm cuts", "Second synth"}, {"Keys"});

    ASSERT_EQ(3u, midiOutGetNumDevs());
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutGetDevCapsA(0, &caps, sizeof caps));
    EXPECT_EQ(longest + "m", std::string(caps.szPname));
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutGetDevCapsA(2, &caps, sizeof caps));
    EXPECT_STREQ("Sonderik virtual EX5 (built in)", caps.szPname);
    EXPECT_EQ(2u, midiInGetNumDevs());
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, midiOutOpen(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL));

    // The first port is unplugged after the listing: winmm numbers the
    // second one 0 now.
    winmm.SetPorts({"Second synth"}, {"Keys"});
    winmm.Expect({Call::OutOpen, Call::OutClose});
    EXPECT_EQ(MIDIERR_NODEVICE, midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL));
    EXPECT_NE(std::string::npos, platform::MidiFailureReason().find(longest)) << platform::MidiFailureReason();
    EXPECT_TRUE(winmm.Log().empty()) << "nothing is opened in its place";

    midiOutGetNumDevs();
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutGetDevCapsA(0, &caps, sizeof caps));
    winmm.SetPorts({"Keyboard plugged in", "Second synth"}, {"Keys"});
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(handle));
    EXPECT_EQ((std::vector<std::string>{"midiOutOpen 1", "midiOutClose"}), winmm.Log())
        << "the port listed as " << caps.szPname;
}

TEST_F(WinmmMidiDriverTest, ALongMessageIsDoneOnlyOnceWinmmHasGivenItBack)
{
    winmm.HoldLongMessages();
    winmm.Expect({Call::OutOpen, Call::OutShort, Call::OutPrepare, Call::OutLong, Call::OutUnprepare, Call::OutClose});
    HMIDIOUT handle = OpenOutput(0);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutShortMsg(handle, 0x403C90));
    Header sysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutPrepareHeader(handle, &sysex.header, sizeof sysex.header));
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutLongMsg(handle, &sysex.header, sizeof sysex.header));

    ASSERT_TRUE(Within(kSettleBound, [&] { return winmm.Holding(); }));
    EXPECT_EQ(MIDIERR_STILLPLAYING, midiOutUnprepareHeader(handle, &sysex.header, sizeof sysex.header))
        << "winmm has the message still";
    EXPECT_EQ(0, caller.Count(MOM_DONE));
    winmm.FinishHeld();
    EXPECT_EQ(MMSYSERR_NOERROR, Release(handle, sysex.header));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(handle));

    ASSERT_EQ((std::vector<UINT>{MOM_OPEN, MOM_DONE, MOM_CLOSE}), caller.Messages());
    EXPECT_EQ(1, caller.seen[1].winmmFinished) << "done after winmm said so, not before";
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(&sysex.header), caller.seen[1].param1);
    EXPECT_EQ((std::vector<std::string>{"midiOutOpen 0", "midiOutShortMsg 0x403C90", "midiOutPrepareHeader",
                                        "midiOutLongMsg 6", "midiOutUnprepareHeader", "midiOutClose"}),
              winmm.Log());
    EXPECT_EQ((std::vector<Bytes>{{0x90, 0x3C, 0x40}, sysex.data}), winmm.Sent());
}

// A port unplugged while open: winmm refuses what is sent to it, in its
// own words, and the caller hears them.
TEST_F(WinmmMidiDriverTest, WhatWinmmRefusesFailsWithItsWords)
{
    winmm.Expect({Call::OutOpen, Call::OutPrepare, Call::OutUnprepare, Call::OutClose});
    winmm.Refuse(Call::OutOpen, MMSYSERR_ALLOCATED);
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(MMSYSERR_ALLOCATED, midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL));
    EXPECT_EQ("winmm could not open \"Synth\": fake winmm error 4", platform::MidiFailureReason());

    handle = OpenOutput(0);
    ASSERT_NE(nullptr, handle);
    winmm.Refuse(Call::OutShort, MMSYSERR_NODRIVER);
    EXPECT_EQ(MMSYSERR_NODRIVER, midiOutShortMsg(handle, 0x403C90));
    EXPECT_EQ("winmm refused a message to \"Synth\": fake winmm error 6", platform::MidiFailureReason());

    winmm.Refuse(Call::OutLong, MMSYSERR_NODRIVER);
    Header sysex({0xF0, 0x43, 0x10, 0xF7});
    midiOutPrepareHeader(handle, &sysex.header, sizeof sysex.header);
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutLongMsg(handle, &sysex.header, sizeof sysex.header));
    EXPECT_EQ(MMSYSERR_ERROR, Release(handle, sysex.header));
    EXPECT_EQ("winmm refused a message to \"Synth\": fake winmm error 6", platform::MidiFailureReason());
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(handle));
    const auto log = winmm.Log();
    EXPECT_EQ((std::vector<std::string>{"midiOutPrepareHeader", "midiOutLongMsg 4", "midiOutUnprepareHeader", "midiOutClose"}),
              std::vector<std::string>(log.end() - 4, log.end()))
        << "winmm's header is given back although it refused the message";
}

TEST_F(WinmmMidiDriverTest, AResetTakesBackWhatWinmmHoldsAndReturnsAfterTheCallbacks)
{
    winmm.HoldLongMessages();
    winmm.Expect({Call::OutOpen, Call::OutPrepare, Call::OutLong, Call::OutReset, Call::OutUnprepare, Call::OutClose});
    HMIDIOUT handle = OpenOutput(0);
    ASSERT_NE(nullptr, handle);
    Header sysex({0xF0, 0x43, 0x10, 0x01, 0xF7});
    midiOutPrepareHeader(handle, &sysex.header, sizeof sysex.header);
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutLongMsg(handle, &sysex.header, sizeof sysex.header));
    ASSERT_TRUE(Within(kSettleBound, [&] { return winmm.Holding(); }));

    EXPECT_EQ(MMSYSERR_NOERROR, midiOutReset(handle));
    EXPECT_EQ(1, caller.Count(MOM_DONE)) << "its callback ran before the reset returned";
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutUnprepareHeader(handle, &sysex.header, sizeof sysex.header));
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(handle));
    EXPECT_EQ(MOM_CLOSE, caller.Messages().back()) << "before the close returned";
    EXPECT_EQ((std::vector<std::string>{"midiOutOpen 0", "midiOutPrepareHeader", "midiOutLongMsg 5", "midiOutReset",
                                        "midiOutUnprepareHeader", "midiOutClose"}),
              winmm.Log())
        << "winmm gave the header back before the port closed";
}

TEST_F(WinmmMidiDriverTest, ASysexReplyArrivesWholeThoughWinmmHandsItOverInPieces)
{
    winmm.Expect({Call::InOpen, Call::InPrepare, Call::InAdd, Call::InStart, Call::InReset, Call::InUnprepare,
                  Call::InClose});
    HMIDIIN input = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&input, 0, reinterpret_cast<DWORD_PTR>(&Caller::Proc<HMIDIIN>),
                                           caller.Instance(), CALLBACK_FUNCTION));
    std::vector<char> buffer(64);
    MIDIHDR header{};
    header.lpData = buffer.data();
    header.dwBufferLength = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(MMSYSERR_NOERROR, midiInPrepareHeader(input, &header, sizeof header));
    ASSERT_EQ(MMSYSERR_NOERROR, midiInAddBuffer(input, &header, sizeof header));
    ASSERT_EQ(MMSYSERR_NOERROR, midiInStart(input));
    const std::size_t queued = winmm.QueuedInputs();
    ASSERT_GE(queued, 3u);

    const Bytes reply = {0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x43, 0x00, 0x41, 0x12, 0x03, 0xF7};
    winmm.FeedBuffer(Bytes(reply.begin(), reply.begin() + 6));
    winmm.FeedShort(0xFE);  // active sensing, between the pieces
    winmm.FeedBuffer(Bytes(reply.begin() + 6, reply.end() - 1));
    winmm.FeedBuffer(Bytes(reply.end() - 1, reply.end()));
    ASSERT_TRUE(Within(kSettleBound, [&] { return caller.Count(MIM_LONGDATA) == 1; }));
    EXPECT_EQ((std::vector<UINT>{MIM_OPEN, MIM_DATA, MIM_LONGDATA}), caller.Messages());
    EXPECT_EQ(reply, Bytes(buffer.begin(), buffer.begin() + header.dwBytesRecorded));
    EXPECT_TRUE(Within(kSettleBound, [&] { return winmm.QueuedInputs() == queued; }))
        << "every buffer went back to winmm";

    EXPECT_EQ(MMSYSERR_NOERROR, midiInReset(input));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInUnprepareHeader(input, &header, sizeof header));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(input));
    EXPECT_EQ(MIM_CLOSE, caller.Messages().back());
    EXPECT_EQ(0u, winmm.QueuedInputs());
    const auto log = winmm.Log();
    EXPECT_EQ(queued, static_cast<std::size_t>(std::count(log.begin(), log.end(), "midiInUnprepareHeader")));
    EXPECT_EQ("midiInClose", log.back()) << "after winmm gave every buffer back";
}

// wine has no MIDI device here: the real winmm lists nothing, and an open
// of a port that is not there is refused in its words.
TEST(WinmmSystemTest, TheRealWinmmListsNothingHereAndRefusesAnAbsentPort)
{
    const winmm::Api& api = winmm::SystemApi();
    EXPECT_EQ(0u, api.outGetNumDevs());
    EXPECT_EQ(0u, api.inGetNumDevs());
    winmm::OutHandle out = nullptr;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, api.outOpen(&out, 0, 0, 0, CALLBACK_NULL));
    winmm::InHandle in = nullptr;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, api.inOpen(&in, 0, 0, 0, CALLBACK_NULL));
    char text[winmm::kErrorTextLength] = {};
    EXPECT_EQ(MMSYSERR_NOERROR, api.outGetErrorText(MMSYSERR_BADDEVICEID, text, sizeof text));
    EXPECT_NE(0u, std::strlen(text));

    const auto drivers = platform::DefaultMidiDrivers();
    ASSERT_FALSE(drivers.empty());
    auto* system = dynamic_cast<WinmmMidiDriver*>(drivers.front().get());
    ASSERT_NE(nullptr, system) << "winmm's ports come first";
    EXPECT_EQ(0u, system->OutputCount());
    std::shared_ptr<MidiOutDevice> device;
    EXPECT_EQ(MMSYSERR_BADDEVICEID, system->OpenOutput(0, MidiOutCallback{}, device));
}

}  // namespace
