#include "tests/support/ScriptedMidiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using Call = ScriptedMidiDriver::Call;

const char* CallName(Call call)
{
    switch (call) {
    case Call::OutOpen: return "midiOutOpen";
    case Call::OutShort: return "midiOutShortMsg";
    case Call::OutPrepare: return "midiOutPrepareHeader";
    case Call::OutLong: return "midiOutLongMsg";
    case Call::OutUnprepare: return "midiOutUnprepareHeader";
    case Call::OutReset: return "midiOutReset";
    case Call::OutClose: return "midiOutClose";
    case Call::InOpen: return "midiInOpen";
    case Call::InPrepare: return "midiInPrepareHeader";
    case Call::InUnprepare: return "midiInUnprepareHeader";
    case Call::InAdd: return "midiInAddBuffer";
    case Call::InStart: return "midiInStart";
    case Call::InStop: return "midiInStop";
    case Call::InReset: return "midiInReset";
    case Call::InClose: return "midiInClose";
    }
    return "?";
}

struct ScriptedMidiDriver::State {
    std::vector<std::string> outputs;  // the ports there are now
    std::vector<std::string> inputs;
    std::vector<std::string> listedOutputs;  // as the last count listed them
    std::vector<std::string> listedInputs;

    mutable std::mutex mutex;
    std::map<Call, bool> allowed;
    std::map<Call, std::deque<MMRESULT>> scripted;
    std::vector<std::string> calls;
    std::map<Call, int> counts;
    std::vector<std::vector<std::uint8_t>> sent;
    std::string reason;  // given with every scripted failure

    MidiInCallback callback;
    HMIDIIN input = nullptr;
    std::deque<MIDIHDR*> buffers;
    bool started = false;

    // Logs the call and decides: true to go on with the default behaviour,
    // false with `result` set to what the call answers instead.
    bool Enter(Call call, const std::string& detail, MMRESULT& result)
    {
        const std::lock_guard lock(mutex);
        calls.push_back(std::string(CallName(call)) + (detail.empty() ? "" : " " + detail));
        ++counts[call];
        auto& queue = scripted[call];
        if (!queue.empty()) {
            result = queue.front();
            queue.pop_front();
            if (result != MMSYSERR_NOERROR && result != MIDIERR_STILLPLAYING) {
                platform::ExplainMidiFailure(reason);
            }
            return false;
        }
        if (!allowed[call]) {
            ADD_FAILURE() << "the program called " << CallName(call) << ", which the test did not script";
            result = MMSYSERR_NOTSUPPORTED;
            return false;
        }
        result = MMSYSERR_NOERROR;
        return true;
    }

    // Takes the front buffer out of the queue, marked done; the caller
    // delivers it outside the lock.
    MIDIHDR* PopFront()
    {
        MIDIHDR* header = buffers.front();
        buffers.pop_front();
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        return header;
    }

    void Deliver(UINT message, DWORD_PTR param1) const
    {
        if (callback.proc != nullptr) {
            callback.proc(input, message, callback.instance, param1, 0);
        }
    }
};

namespace {

using State = ScriptedMidiDriver::State;

class ScriptedOut final : public MidiOutDevice {
public:
    explicit ScriptedOut(std::shared_ptr<State> state) : state_(std::move(state)) {}

    MMRESULT ShortMsg(DWORD message) override
    {
        MMRESULT result;
        if (state_->Enter(Call::OutShort, std::to_string(message), result)) {
            const std::lock_guard lock(state_->mutex);
            state_->sent.push_back({static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
                                    static_cast<std::uint8_t>(message >> 16)});
        }
        return result;
    }

    MMRESULT PrepareHeader(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::OutPrepare, "", result)) {
            header.dwFlags |= MHDR_PREPARED;
        }
        return result;
    }

    MMRESULT UnprepareHeader(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::OutUnprepare, "", result)) {
            header.dwFlags &= ~(MHDR_PREPARED | MHDR_INQUEUE);
        }
        return result;
    }

    // Takes the bytes at once: the header is done as soon as it is sent.
    MMRESULT LongMsg(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::OutLong, std::to_string(header.dwBufferLength), result)) {
            const auto* data = reinterpret_cast<const std::uint8_t*>(header.lpData);
            const std::lock_guard lock(state_->mutex);
            state_->sent.emplace_back(data, data + header.dwBufferLength);
            header.dwFlags |= MHDR_DONE;
        }
        return result;
    }

    MMRESULT Reset() override
    {
        MMRESULT result;
        state_->Enter(Call::OutReset, "", result);
        return result;
    }

    MMRESULT Close() override
    {
        MMRESULT result;
        state_->Enter(Call::OutClose, "", result);
        return result;
    }

private:
    std::shared_ptr<State> state_;
};

class ScriptedIn final : public MidiInDevice {
public:
    explicit ScriptedIn(std::shared_ptr<State> state) : state_(std::move(state)) {}

    MMRESULT PrepareHeader(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::InPrepare, "", result)) {
            header.dwFlags |= MHDR_PREPARED;
        }
        return result;
    }

    MMRESULT UnprepareHeader(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::InUnprepare, "", result)) {
            const std::lock_guard lock(state_->mutex);
            if ((header.dwFlags & MHDR_INQUEUE) != 0) {
                return MIDIERR_STILLPLAYING;
            }
            header.dwFlags &= ~MHDR_PREPARED;
        }
        return result;
    }

    MMRESULT AddBuffer(MIDIHDR& header) override
    {
        MMRESULT result;
        if (state_->Enter(Call::InAdd, "", result)) {
            const std::lock_guard lock(state_->mutex);
            header.dwFlags = (header.dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
            header.dwBytesRecorded = 0;
            state_->buffers.push_back(&header);
        }
        return result;
    }

    MMRESULT Start() override
    {
        MMRESULT result;
        if (state_->Enter(Call::InStart, "", result)) {
            const std::lock_guard lock(state_->mutex);
            state_->started = true;
        }
        return result;
    }

    MMRESULT Stop() override
    {
        MMRESULT result;
        if (state_->Enter(Call::InStop, "", result)) {
            MIDIHDR* partial = nullptr;
            {
                const std::lock_guard lock(state_->mutex);
                state_->started = false;
                if (!state_->buffers.empty() && state_->buffers.front()->dwBytesRecorded > 0) {
                    partial = state_->PopFront();
                }
            }
            if (partial != nullptr) {
                state_->Deliver(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(partial));
            }
        }
        return result;
    }

    MMRESULT Reset() override
    {
        MMRESULT result;
        if (state_->Enter(Call::InReset, "", result)) {
            std::vector<MIDIHDR*> back;
            {
                const std::lock_guard lock(state_->mutex);
                state_->started = false;
                while (!state_->buffers.empty()) {
                    back.push_back(state_->PopFront());
                }
            }
            for (MIDIHDR* header : back) {
                state_->Deliver(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
            }
        }
        return result;
    }

    MMRESULT Close() override
    {
        MMRESULT result;
        if (state_->Enter(Call::InClose, "", result)) {
            const std::lock_guard lock(state_->mutex);
            state_->callback = MidiInCallback{};
        }
        return result;
    }

private:
    std::shared_ptr<State> state_;
};

}  // namespace

ScriptedMidiDriver::ScriptedMidiDriver(std::vector<std::string> outputs, std::vector<std::string> inputs)
    : state_(std::make_shared<State>())
{
    state_->outputs = std::move(outputs);
    state_->inputs = std::move(inputs);
}

ScriptedMidiDriver::~ScriptedMidiDriver() = default;

void ScriptedMidiDriver::Allow(std::initializer_list<Call> calls)
{
    const std::lock_guard lock(state_->mutex);
    for (const Call call : calls) {
        state_->allowed[call] = true;
    }
}

void ScriptedMidiDriver::AllowAll()
{
    for (int c = 0; c <= static_cast<int>(Call::InClose); ++c) {
        Allow({static_cast<Call>(c)});
    }
}

void ScriptedMidiDriver::Script(Call call, std::initializer_list<MMRESULT> results)
{
    const std::lock_guard lock(state_->mutex);
    auto& queue = state_->scripted[call];
    queue.insert(queue.end(), results.begin(), results.end());
}

void ScriptedMidiDriver::Explain(std::string reason)
{
    const std::lock_guard lock(state_->mutex);
    state_->reason = std::move(reason);
}

void ScriptedMidiDriver::StillPlaying(Call unprepare, int polls)
{
    const std::lock_guard lock(state_->mutex);
    auto& queue = state_->scripted[unprepare];
    queue.insert(queue.end(), static_cast<std::size_t>(polls), MIDIERR_STILLPLAYING);
}

std::vector<std::string> ScriptedMidiDriver::Calls() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->calls;
}

int ScriptedMidiDriver::CountOf(Call call) const
{
    const std::lock_guard lock(state_->mutex);
    const auto found = state_->counts.find(call);
    return found == state_->counts.end() ? 0 : found->second;
}

std::vector<std::vector<std::uint8_t>> ScriptedMidiDriver::Sent() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->sent;
}

std::size_t ScriptedMidiDriver::QueuedBuffers() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->buffers.size();
}

void ScriptedMidiDriver::Feed(std::span<const std::uint8_t> bytes, std::size_t chunk)
{
    if (chunk == 0) {
        chunk = std::max<std::size_t>(bytes.size(), 1);
    }
    std::thread driver([&] {
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            const auto piece = bytes.subspan(at, std::min(chunk, bytes.size() - at));
            std::vector<MIDIHDR*> back;
            {
                const std::lock_guard lock(state_->mutex);
                for (const std::uint8_t byte : piece) {
                    if (!state_->started || state_->buffers.empty()) {
                        break;  // nowhere to put it: lost, as with a real driver
                    }
                    MIDIHDR* header = state_->buffers.front();
                    header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
                    if (byte == 0xF7 || header->dwBytesRecorded == header->dwBufferLength) {
                        back.push_back(state_->PopFront());
                    }
                }
            }
            for (MIDIHDR* header : back) {
                state_->Deliver(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
            }
        }
    });
    driver.join();
}

void ScriptedMidiDriver::HandBack(std::span<const std::uint8_t> bytes)
{
    std::thread driver([&] {
        MIDIHDR* header = nullptr;
        {
            const std::lock_guard lock(state_->mutex);
            if (state_->buffers.empty()) {
                ADD_FAILURE() << "HandBack with no buffer queued";
                return;
            }
            header = state_->buffers.front();
            const auto n = std::min<std::size_t>(bytes.size(), header->dwBufferLength);
            std::copy_n(bytes.begin(), n, header->lpData);
            header->dwBytesRecorded = static_cast<DWORD>(n);
            state_->PopFront();
        }
        state_->Deliver(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    });
    driver.join();
}

void ScriptedMidiDriver::Notify(UINT message, DWORD_PTR param1)
{
    std::thread driver([&] { state_->Deliver(message, param1); });
    driver.join();
}

void ScriptedMidiDriver::SetPorts(std::vector<std::string> outputs, std::vector<std::string> inputs)
{
    const std::lock_guard lock(state_->mutex);
    state_->outputs = std::move(outputs);
    state_->inputs = std::move(inputs);
}

UINT ScriptedMidiDriver::OutputCount()
{
    const std::lock_guard lock(state_->mutex);
    state_->listedOutputs = state_->outputs;
    return static_cast<UINT>(state_->listedOutputs.size());
}

UINT ScriptedMidiDriver::InputCount()
{
    const std::lock_guard lock(state_->mutex);
    state_->listedInputs = state_->inputs;
    return static_cast<UINT>(state_->listedInputs.size());
}

std::string ScriptedMidiDriver::OutputName(UINT port)
{
    const std::lock_guard lock(state_->mutex);
    return state_->listedOutputs.at(port);
}

std::string ScriptedMidiDriver::InputName(UINT port)
{
    const std::lock_guard lock(state_->mutex);
    return state_->listedInputs.at(port);
}

MMRESULT ScriptedMidiDriver::OpenOutput(UINT port, const MidiOutCallback&, std::shared_ptr<MidiOutDevice>& device)
{
    MMRESULT result;
    if (state_->Enter(Call::OutOpen, std::to_string(port), result)) {
        device = std::make_shared<ScriptedOut>(state_);
    }
    return result;
}

MMRESULT ScriptedMidiDriver::OpenInput(UINT port, const MidiInCallback& callback, std::shared_ptr<MidiInDevice>& device)
{
    MMRESULT result;
    if (state_->Enter(Call::InOpen, std::to_string(port), result)) {
        auto opened = std::make_shared<ScriptedIn>(state_);
        const std::lock_guard lock(state_->mutex);
        state_->callback = callback;
        state_->input = opened.get();
        device = std::move(opened);
    }
    return result;
}
