#include "platform/midi/WinmmMidiDriver.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/midi/RealtimeSection.h"
#include "platform/midi/StreamDevices.h"

using platform::OutputLine;
using platform::SendPacer;
using namespace std::chrono_literals;

namespace {

// How often a sender waiting for winmm to finish a long message looks
// whether its port was reset meanwhile.
constexpr std::chrono::milliseconds kCancelCheck = 5ms;
// winmm plays a long message out at the pace of a MIDI cable; past that
// and this margin the message is given up on.
constexpr std::size_t kCableBytesPerSecond = 3125;
constexpr std::chrono::milliseconds kDoneMargin = 2s;
// How long winmm has to give headers back once reset.
constexpr std::chrono::milliseconds kGiveBackBound = platform::kDeliveryBound;
// The input buffers each port keeps queued with winmm. A bulk dump larger
// than one comes in pieces, which the input device joins again.
constexpr std::size_t kInputBuffers = 8;
constexpr DWORD kInputBufferBytes = 4096;
// What winmm's input callback can hand the relay before it is drained.
constexpr std::size_t kRingSlots = 1024;
// How long the relay sleeps when nothing wakes it, before it looks anyway.
constexpr std::chrono::milliseconds kRelayIdle = 1s;

DWORD Milliseconds(std::chrono::milliseconds duration)
{
    return static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(duration.count(), 0));
}

using ErrorTextCall = MMRESULT(WINAPI*)(MMRESULT, LPSTR, UINT);

// `what`, then winmm's words for `code`, as the layer hands reasons on.
void Explain(ErrorTextCall errorText, MMRESULT code, const std::string& what)
{
    std::array<char, winmm::kErrorTextLength> text{};
    std::string words;
    if (errorText(code, text.data(), static_cast<UINT>(text.size())) == MMSYSERR_NOERROR) {
        words.assign(text.data(), strnlen(text.data(), text.size()));
    }
    if (words.empty()) {
        words = "winmm error " + std::to_string(code);
    }
    platform::ExplainMidiFailure(what + ": " + words);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// winmm's name of a port; a driver may fill all 32 characters with no zero.
template <typename Caps>
std::string NameOf(const Caps& caps)
{
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

// The ports winmm has now, by its numbers; one that went while being
// listed is left out.
template <typename Caps>
std::vector<WinmmMidiDriver::Listed> List(UINT(WINAPI* count)(), MMRESULT(WINAPI* caps)(UINT_PTR, Caps*, UINT))
{
    std::vector<WinmmMidiDriver::Listed> listed;
    const UINT n = count();
    for (UINT id = 0; id < n; ++id) {
        Caps found{};
        if (caps(id, &found, sizeof found) == MMSYSERR_NOERROR) {
            listed.push_back({id, NameOf(found)});
        }
    }
    return listed;
}

// winmm's number now for a port of the last listing: the same, unless
// a port before it came or went since.
template <typename Caps>
std::optional<UINT> CurrentId(const WinmmMidiDriver::Listed& listed, UINT(WINAPI* count)(),
                              MMRESULT(WINAPI* caps)(UINT_PTR, Caps*, UINT))
{
    const auto named = [&](UINT id) {
        Caps found{};
        return caps(id, &found, sizeof found) == MMSYSERR_NOERROR && NameOf(found) == listed.name;
    };
    if (named(listed.id)) {
        return listed.id;
    }
    const UINT n = count();
    for (UINT id = 0; id < n; ++id) {
        if (named(id)) {
            return id;
        }
    }
    return std::nullopt;
}

std::string GoneText(const std::string& name) { return "winmm has no port " + Quoted(name) + " any more"; }

// ---- output ---------------------------------------------------------------

// What winmm's output callback touches: it runs on winmm's thread, so it
// only stores and signals.
struct OutSignal {
    HANDLE event = nullptr;  // auto-reset
    std::atomic<bool> done{false};
};

void CALLBACK OnOutput(winmm::OutHandle, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    const platform::RealtimeSection realtime;
    if (message == MOM_DONE) {
        auto* signal = reinterpret_cast<OutSignal*>(instance);
        signal->done.store(true);
        SetEvent(signal->event);
    }
}

// The one long message a port has with winmm at a time, with its own copy
// of the bytes. Kept apart from the line, so that it can outlive the line
// when winmm will not let go of it.
struct Flight {
    OutSignal signal;
    winmm::Header header{};
    std::vector<char> data;
};

class WinmmOutLine final : public OutputLine {
public:
    using Owner = std::unique_ptr<OutputLine>;

    static MMRESULT Open(const winmm::Api& api, UINT id, const std::string& name, Owner& line)
    {
        std::unique_ptr<WinmmOutLine> made(new WinmmOutLine(api, name));
        made->flight_->signal.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (made->flight_->signal.event == nullptr) {
            platform::ExplainMidiFailure("no event to wait for winmm with, for " + Quoted(name));
            return MMSYSERR_NOMEM;
        }
        winmm::OutHandle handle = nullptr;
        const MMRESULT opened = api.outOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&OnOutput),
                                            reinterpret_cast<DWORD_PTR>(&made->flight_->signal), CALLBACK_FUNCTION);
        if (opened != MMSYSERR_NOERROR) {
            Explain(api.outGetErrorText, opened, "winmm could not open " + Quoted(name));
            return opened;
        }
        made->handle_ = handle;
        line = std::move(made);
        return MMSYSERR_NOERROR;
    }

    ~WinmmOutLine() override
    {
        if (handle_ != nullptr) {
            if (stuck_) {
                api_.outReset(handle_);
                stuck_ = AwaitDone(kGiveBackBound, nullptr) != Wait::Done || !Unprepare();
            }
            if (api_.outClose(handle_) != MMSYSERR_NOERROR) {
                stuck_ = true;  // winmm may still call back
            }
        }
        if (stuck_) {
            // winmm may still write to the header or signal its event: the
            // few bytes are left to it rather than freed under it.
            static_cast<void>(flight_.release());
            return;
        }
        if (flight_->signal.event != nullptr) {
            CloseHandle(flight_->signal.event);
        }
    }

    // Runs on the port's sender thread. A short message is winmm's at once;
    // a long one once winmm has said it is done with it.
    MMRESULT Send(std::span<const std::uint8_t> message, SendPacer& pacer) override
    {
        if (message.empty()) {
            return MMSYSERR_INVALPARAM;
        }
        if (message[0] != 0xF0 && message.size() == platform::ShortMessageLength(message[0])) {
            DWORD packed = 0;
            for (std::size_t i = 0; i < message.size(); ++i) {
                packed |= static_cast<DWORD>(message[i]) << (8 * i);
            }
            const MMRESULT sent = api_.outShortMsg(handle_, packed);
            if (sent != MMSYSERR_NOERROR) {
                Explain(api_.outGetErrorText, sent, "winmm refused a message to " + Quoted(name_));
            }
            return sent;
        }
        return SendLong(message, pacer);
    }

private:
    enum class Wait { Done, Reset, TimedOut };

    WinmmOutLine(const winmm::Api& api, const std::string& name)
        : api_(api), name_(name), flight_(std::make_unique<Flight>())
    {
    }

    MMRESULT SendLong(std::span<const std::uint8_t> message, SendPacer& pacer)
    {
        if (stuck_) {
            platform::ExplainMidiFailure("winmm still holds an earlier message to " + Quoted(name_));
            return MIDIERR_NOTREADY;
        }
        Flight& flight = *flight_;
        flight.data.assign(message.begin(), message.end());
        flight.header = winmm::Header{};
        flight.header.lpData = flight.data.data();
        flight.header.dwBufferLength = static_cast<DWORD>(flight.data.size());
        flight.signal.done.store(false);
        ResetEvent(flight.signal.event);
        const MMRESULT prepared = api_.outPrepareHeader(handle_, &flight.header, sizeof flight.header);
        if (prepared != MMSYSERR_NOERROR) {
            Explain(api_.outGetErrorText, prepared, "winmm could not take a message to " + Quoted(name_));
            return prepared;
        }
        const MMRESULT queued = api_.outLongMsg(handle_, &flight.header, sizeof flight.header);
        if (queued != MMSYSERR_NOERROR) {
            Explain(api_.outGetErrorText, queued, "winmm refused a message to " + Quoted(name_));
            Unprepare();
            return queued;
        }
        const auto bound = std::chrono::milliseconds(message.size() * 1000 / kCableBytesPerSecond) + kDoneMargin;
        MMRESULT verdict = MMSYSERR_NOERROR;
        if (const Wait waited = AwaitDone(bound, &pacer); waited != Wait::Done) {
            // Taken back by a reset: nothing to report. Out of time: winmm
            // plays nothing, and gives the header back when reset.
            if (waited == Wait::TimedOut) {
                platform::ExplainMidiFailure("winmm did not finish a message of " + std::to_string(message.size()) +
                                             " bytes to " + Quoted(name_) + " within " +
                                             std::to_string(bound.count()) + " ms");
                verdict = MIDIERR_NOTREADY;
            }
            api_.outReset(handle_);
            if (AwaitDone(kGiveBackBound, nullptr) != Wait::Done) {
                stuck_ = true;
                platform::ExplainMidiFailure("winmm did not give a message to " + Quoted(name_) + " back");
                return MIDIERR_NOTREADY;
            }
        }
        if (!Unprepare()) {
            stuck_ = true;
            return verdict == MMSYSERR_NOERROR ? MMSYSERR_ERROR : verdict;
        }
        return verdict;
    }

    bool Unprepare()
    {
        const MMRESULT unprepared = api_.outUnprepareHeader(handle_, &flight_->header, sizeof flight_->header);
        if (unprepared != MMSYSERR_NOERROR) {
            Explain(api_.outGetErrorText, unprepared, "winmm kept a message to " + Quoted(name_));
        }
        return unprepared == MMSYSERR_NOERROR;
    }

    // Until winmm's callback said MOM_DONE, the bound passed, or (with a
    // pacer) the port was reset.
    Wait AwaitDone(std::chrono::milliseconds bound, SendPacer* pacer)
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!flight_->signal.done.load()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                return Wait::TimedOut;
            }
            WaitForSingleObject(flight_->signal.event, Milliseconds(std::min(left, kCancelCheck)));
            if (pacer != nullptr && !flight_->signal.done.load() && !pacer->Pause(0us)) {
                return Wait::Reset;
            }
        }
        return Wait::Done;
    }

    const winmm::Api api_;
    const std::string name_;
    winmm::OutHandle handle_ = nullptr;
    std::unique_ptr<Flight> flight_;
    bool stuck_ = false;  // winmm holds the header still: no more long messages
};

// ---- input ----------------------------------------------------------------

struct InRecord {
    UINT message = 0;
    DWORD_PTR param1 = 0;
};

// A ring with one writer and one reader that takes no lock and never
// allocates: winmm's callback writes, the relay thread reads.
template <typename T, std::size_t N>
class Ring {
public:
    std::size_t Free() const { return N - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire)); }

    bool Push(const T& item)
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= N) {
            return false;
        }
        slots_[head % N] = item;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    bool Pop(T& item)
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) {
            return false;
        }
        item = slots_[tail % N];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, N> slots_{};
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
};

// An input port's buffers and what winmm's callback touches, kept apart
// from the line for the same reason as an output's Flight.
struct InBuffers {
    HANDLE wake = nullptr;  // auto-reset: the relay has something to do
    Ring<InRecord, kRingSlots> ring;
    std::array<winmm::Header, kInputBuffers> headers{};
    std::array<bool, kInputBuffers> prepared{};
    std::vector<char> bytes = std::vector<char>(kInputBuffers * kInputBufferBytes);
};

void CALLBACK OnInput(winmm::InHandle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    const platform::RealtimeSection realtime;
    auto* buffers = reinterpret_cast<InBuffers*>(instance);
    switch (message) {
    case MIM_DATA:
        // Room stays for the buffers, so none is lost to a burst of short
        // messages; those are lost instead, as on an overrun cable.
        if (buffers->ring.Free() <= kInputBuffers || !buffers->ring.Push({message, param1})) {
            return;
        }
        break;
    case MIM_LONGDATA:
    case MIM_LONGERROR: buffers->ring.Push({message, param1}); break;
    default: return;
    }
    SetEvent(buffers->wake);
}

// What the relay delivers to, made before the line that connects it.
struct InSlot {
    std::mutex mutex;  // the receiver, and which buffers winmm holds
    platform::ReceiverSlot slot;
};

class WinmmInLine final : private InSlot, public platform::SlotInputLine {
public:
    using Owner = std::unique_ptr<platform::InputLine>;

    static MMRESULT Open(const winmm::Api& api, UINT id, const std::string& name, Owner& line)
    {
        std::unique_ptr<WinmmInLine> made(new WinmmInLine(api));
        InBuffers& buffers = *made->buffers_;
        buffers.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (buffers.wake == nullptr) {
            platform::ExplainMidiFailure("no event to hand input on with, for " + Quoted(name));
            return MMSYSERR_NOMEM;
        }
        winmm::InHandle handle = nullptr;
        const MMRESULT opened = api.inOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&OnInput),
                                           reinterpret_cast<DWORD_PTR>(&buffers), CALLBACK_FUNCTION);
        if (opened != MMSYSERR_NOERROR) {
            Explain(api.inGetErrorText, opened, "winmm could not open " + Quoted(name));
            return opened;
        }
        made->handle_ = handle;
        made->relay_ = std::thread([self = made.get()] { self->Relay(); });
        for (std::size_t i = 0; i < kInputBuffers; ++i) {
            winmm::Header& header = buffers.headers[i];
            header.lpData = buffers.bytes.data() + i * kInputBufferBytes;
            header.dwBufferLength = kInputBufferBytes;
            const MMRESULT prepared = api.inPrepareHeader(handle, &header, sizeof header);
            if (prepared != MMSYSERR_NOERROR) {
                Explain(api.inGetErrorText, prepared, "winmm took no buffer for " + Quoted(name));
                return prepared;
            }
            buffers.prepared[i] = true;
            if (const MMRESULT added = made->Queue(header); added != MMSYSERR_NOERROR) {
                Explain(api.inGetErrorText, added, "winmm took no buffer for " + Quoted(name));
                return added;
            }
        }
        if (const MMRESULT started = api.inStart(handle); started != MMSYSERR_NOERROR) {
            Explain(api.inGetErrorText, started, "winmm could not start " + Quoted(name));
            return started;
        }
        line = std::move(made);
        return MMSYSERR_NOERROR;
    }

    ~WinmmInLine() override
    {
        Disconnect();
        bool held = false;
        if (handle_ != nullptr) {
            std::unique_lock lock(mutex);
            closing_ = true;  // the relay queues nothing from now on
            lock.unlock();
            api_.inReset(handle_);  // every buffer comes back through the callback
            lock.lock();
            held = !returned_.wait_for(lock, kGiveBackBound, [this] { return queued_ == 0; });
        }
        if (relay_.joinable()) {
            quit_.store(true);
            SetEvent(buffers_->wake);
            relay_.join();
        }
        if (handle_ != nullptr) {
            for (std::size_t i = 0; i < kInputBuffers; ++i) {
                if (buffers_->prepared[i] &&
                    api_.inUnprepareHeader(handle_, &buffers_->headers[i], sizeof(winmm::Header)) != MMSYSERR_NOERROR) {
                    held = true;
                }
            }
            held = api_.inClose(handle_) != MMSYSERR_NOERROR || held;
        }
        if (held) {
            // winmm may still fill a buffer or call back: the buffers are
            // left to it rather than freed under it.
            static_cast<void>(buffers_.release());
            return;
        }
        if (buffers_->wake != nullptr) {
            CloseHandle(buffers_->wake);
        }
    }

private:
    explicit WinmmInLine(const winmm::Api& api)
        : SlotInputLine(mutex, slot), api_(api), buffers_(std::make_unique<InBuffers>())
    {
    }

    // Gives a buffer to winmm, unless the port is closing.
    MMRESULT Queue(winmm::Header& header)
    {
        const std::lock_guard lock(mutex);
        if (closing_) {
            return MMSYSERR_NOERROR;
        }
        header.dwBytesRecorded = 0;
        const MMRESULT added = api_.inAddBuffer(handle_, &header, sizeof header);
        if (added == MMSYSERR_NOERROR) {
            ++queued_;
        }
        return added;
    }

    // The relay thread: hands on what winmm's callback left in the ring and
    // queues the buffers again.
    void Relay()
    {
        for (;;) {
            WaitForSingleObject(buffers_->wake, Milliseconds(kRelayIdle));
            InRecord record;
            while (buffers_->ring.Pop(record)) {
                Handle(record);
            }
            if (quit_.load()) {
                return;
            }
        }
    }

    void Handle(const InRecord& record)
    {
        if (record.message == MIM_DATA) {
            std::array<std::uint8_t, 3> bytes{};
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(record.param1 >> (8 * i));
            }
            const std::size_t size = platform::ShortMessageLength(bytes[0]);
            const std::lock_guard lock(mutex);
            if (size != 0) {
                slot.Deliver(std::span<const std::uint8_t>(bytes.data(), size));
            }
            return;
        }
        auto* header = reinterpret_cast<winmm::Header*>(record.param1);
        const auto& ours = buffers_->headers;
        if (std::none_of(ours.begin(), ours.end(), [&](const winmm::Header& h) { return &h == header; })) {
            return;  // not a buffer of this port: nothing to read or give back
        }
        {
            const std::lock_guard lock(mutex);
            // A buffer winmm calls bad carries no message worth handing on.
            const DWORD filled = header->dwBytesRecorded;
            const DWORD length = header->dwBufferLength;
            const DWORD recorded = std::min(filled, length);
            if (record.message == MIM_LONGDATA && recorded > 0) {
                slot.Deliver(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(header->lpData), recorded));
            }
            --queued_;
        }
        returned_.notify_all();
        static_cast<void>(Queue(*header));  // refused: one buffer fewer, the others carry on
    }

    const winmm::Api api_;
    winmm::InHandle handle_ = nullptr;
    std::unique_ptr<InBuffers> buffers_;
    std::size_t queued_ = 0;  // buffers winmm holds; under mutex
    bool closing_ = false;    // under mutex
    std::condition_variable returned_;
    std::atomic<bool> quit_{false};
    std::thread relay_;
};

// Port `port` of `listing`, found under its name among winmm's ports now,
// opened as a Line and handed to the caller as a Device.
template <typename Line, typename Device, typename Caps, typename Callback, typename Base>
MMRESULT OpenPort(const winmm::Api& api, const std::vector<WinmmMidiDriver::Listed>& listing, UINT port,
                  UINT(WINAPI* count)(), MMRESULT(WINAPI* caps)(UINT_PTR, Caps*, UINT), const Callback& callback,
                  std::shared_ptr<Base>& device)
{
    if (port >= listing.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    const WinmmMidiDriver::Listed& listed = listing[port];
    const auto id = CurrentId(listed, count, caps);
    if (!id) {
        platform::ExplainMidiFailure(GoneText(listed.name));
        return MIDIERR_NODEVICE;
    }
    typename Line::Owner line;
    if (const MMRESULT opened = Line::Open(api, *id, listed.name, line); opened != MMSYSERR_NOERROR) {
        return opened;
    }
    device = std::make_shared<Device>(std::move(line), callback);
    return MMSYSERR_NOERROR;
}

}  // namespace

WinmmMidiDriver::WinmmMidiDriver(const winmm::Api& api) : api_(api) {}

WinmmMidiDriver::~WinmmMidiDriver() = default;

UINT WinmmMidiDriver::OutputCount()
{
    const std::lock_guard lock(mutex_);
    outputs_ = List(api_.outGetNumDevs, api_.outGetDevCaps);
    return static_cast<UINT>(outputs_.size());
}

UINT WinmmMidiDriver::InputCount()
{
    const std::lock_guard lock(mutex_);
    inputs_ = List(api_.inGetNumDevs, api_.inGetDevCaps);
    return static_cast<UINT>(inputs_.size());
}

std::string WinmmMidiDriver::OutputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < outputs_.size() ? outputs_[port].name : std::string();
}

std::string WinmmMidiDriver::InputName(UINT port)
{
    const std::lock_guard lock(mutex_);
    return port < inputs_.size() ? inputs_[port].name : std::string();
}

MMRESULT WinmmMidiDriver::OpenOutput(UINT port, const MidiOutCallback& callback, std::shared_ptr<MidiOutDevice>& device)
{
    const std::lock_guard lock(mutex_);
    return OpenPort<WinmmOutLine, platform::StreamOutDevice>(api_, outputs_, port, api_.outGetNumDevs, api_.outGetDevCaps,
                                                             callback, device);
}

MMRESULT WinmmMidiDriver::OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device)
{
    const std::lock_guard lock(mutex_);
    return OpenPort<WinmmInLine, platform::StreamInDevice>(api_, inputs_, port, api_.inGetNumDevs, api_.inGetDevCaps,
                                                           callback, device);
}
