#include "midi/MidiInWin.h"

#include <cstring>
#include <new>

#include "midi/Pacing.h"
#include "midi/PortCalls.h"
#include "voice/EXException.h"

namespace {

constexpr const char* kUnit = "MidiInWin";
constexpr int kLineOutOfMemory = 85;
constexpr int kLineNullName = 98;
constexpr int kLineBadPort = 103;
constexpr int kLineOpen = 121;
constexpr int kLineUnprepare = 155;
constexpr int kLineResetEventStart = 190;
constexpr int kLinePrepare = 198;
constexpr int kLineAdd = 205;
constexpr int kLineStart = 213;
constexpr int kLineResetEventStop = 234;
constexpr int kLineStop = 241;
constexpr int kLineClose = 366;

[[noreturn]] void RaiseCode(const char* format, MMRESULT code, int line)
{
    ::RaiseCode(format, code, kUnit, line);
}

// The driver's callback: passes everything to the port it was opened for.
void MidiInProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    if (instance != 0) {
        reinterpret_cast<MidiInWin*>(instance)->OnDriverMessage(message, param1);
    }
}

}  // namespace

int MidiInWin::GetDeviceName(UINT port, char* lpszDeviceName, int size)
{
    constexpr PortNameSites sites{kUnit, kLineNullName, kLineBadPort, "Invalid MIDI device number"};
    return CopyPortName(port, lpszDeviceName, size, sites, &midiInGetNumDevs, &midiInGetDevCapsA);
}

MidiInWin::MidiInWin()
{
    AllocateBuffers(4096);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    handedBack_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

MidiInWin::~MidiInWin()
{
    if (open_) {
        // Every step runs whatever the one before answered: the buffers are
        // about to be freed, so the driver must have handed them all back.
        if (started_) {
            midiInStop(handle_);
        }
        midiInReset(handle_);
        ReleaseBuffers(Pacing::Quiet());
        midiInClose(handle_);
    }
    CloseHandle(event_);
    CloseHandle(handedBack_);
}

int MidiInWin::Open(UINT port) { return Open(port, std::string()); }

int MidiInWin::Open(EXParams& params) { return Open(params.midiInPort, params.midiInName); }

int MidiInWin::Open(UINT& port, const std::string& expected)
{
    if (open_) {
        return 0;
    }
    std::string reason;
    const MMRESULT result = OpenChosenPort(
        port, expected, PortListing<MIDIINCAPSA>{&midiInGetNumDevs, &midiInGetDevCapsA},
        [&](UINT line) {
            return midiInOpen(&handle_, line, reinterpret_cast<DWORD_PTR>(&MidiInProc),
                              reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        },
        reason);
    if (result != MMSYSERR_NOERROR) {
        RaiseEX("Cannot open MIDI device for input", kUnit, kLineOpen, reason.c_str());
    }
    open_ = true;
    return 0;
}

void MidiInWin::AllocateBuffers(int bytes)
{
    const int count = (bytes > 0 ? bytes : 0) / kBufferSize + 1;
    buffers_.reset();
    bufferCount_ = 0;
    try {
        buffers_.reset(new (std::nothrow) SysexMessage[static_cast<std::size_t>(count)]);
    } catch (EXException* e) {
        delete e;  // a buffer's data area failed; reported as the array below
    }
    if (!buffers_) {
        RaiseEX("Out of memory", kUnit, kLineOutOfMemory);
    }
    bufferCount_ = count;
}

HANDLE MidiInWin::StartCapture(EXParams& params, int bytes, int expected)
{
    status_.store(0);
    if (started_) {
        Stop();
    }
    Reset(params);
    AllocateBuffers(bytes);
    received_.store(0);
    expected_.store(expected);
    const BOOL reset = ResetEvent(event_);
    if (reset == FALSE) {
        RaiseCode("Error 0x%X resetting synchronization event", static_cast<unsigned>(reset), kLineResetEventStart);
    }
    for (int i = 0; i < bufferCount_; ++i) {
        MIDIHDR* header = Buffer(i).GetHeader();
        MMRESULT result = midiInPrepareHeader(handle_, header, sizeof(MIDIHDR));
        if (result != MMSYSERR_NOERROR) {
            RaiseCode("Error 0x%X preparing MIDI input buffer", result, kLinePrepare);
        }
        result = midiInAddBuffer(handle_, header, sizeof(MIDIHDR));
        if (result != MMSYSERR_NOERROR) {
            RaiseCode("Error 0x%X adding MIDI input buffer", result, kLineAdd);
        }
    }
    const MMRESULT result = midiInStart(handle_);
    if (result != MMSYSERR_NOERROR) {
        RaiseCode("Error 0x%X starting MIDI input device", result, kLineStart);
    }
    started_ = true;
    return event_;
}

int MidiInWin::Stop()
{
    if (!started_) {
        return 0;
    }
    const BOOL reset = ResetEvent(event_);
    if (reset == FALSE) {
        RaiseCode("Error 0x%X resetting synchronization event", static_cast<unsigned>(reset), kLineResetEventStop);
    }
    const MMRESULT result = midiInStop(handle_);
    if (result != MMSYSERR_NOERROR) {
        RaiseCode("Error 0x%X stopping MIDI input device", result, kLineStop);
    }
    started_ = false;
    return 0;
}

MMRESULT MidiInWin::Reset(EXParams& params)
{
    if (!open_) {
        return MMSYSERR_NOERROR;
    }
    const MMRESULT result = midiInReset(handle_);
    UnprepareBuffers(params);
    return result;
}

MMRESULT MidiInWin::ReleaseBuffers(const Pacing& pacing)
{
    for (int i = 0; i < bufferCount_; ++i) {
        MIDIHDR* header = Buffer(i).GetHeader();
        // A buffer the driver still holds comes back through the callback,
        // which ends the pause at once.
        const MMRESULT result = ReleaseHeader(pacing, "Waiting for MIDI in.", pacing.delay, handedBack_, [&] {
            return midiInUnprepareHeader(handle_, header, sizeof(MIDIHDR));
        });
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        Buffer(i).Clear();
    }
    return MMSYSERR_NOERROR;
}

void MidiInWin::UnprepareBuffers(EXParams& params)
{
    const MMRESULT result = ReleaseBuffers(Pacing::Of(params));
    if (result != MMSYSERR_NOERROR) {
        RaiseCode("Error 0x%X unpreparing MIDI input buffer", result, kLineUnprepare);
    }
}

int MidiInWin::Close(EXParams& params)
{
    Stop();
    Reset(params);
    if (open_) {
        const MMRESULT result = midiInClose(handle_);
        if (result != MMSYSERR_NOERROR) {
            RaiseCode("Error 0x%X closing MIDI input device", result, kLineClose);
        }
        open_ = false;
        handle_ = nullptr;
    }
    return 0;
}

void MidiInWin::OnDriverMessage(UINT message, DWORD_PTR param1)
{
    switch (message) {
    case MIM_OPEN: status_.fetch_or(0x01); return;
    case MIM_CLOSE: status_.fetch_or(0x02); return;
    case MIM_DATA: status_.fetch_or(0x04); return;
    case MIM_ERROR: status_.fetch_or(0x10); return;
    case MIM_LONGERROR: status_.fetch_or(0x20); return;
    case MIM_MOREDATA: status_.fetch_or(0x40); return;
    case MIM_LONGDATA: break;
    default: return;
    }
    status_.fetch_or(0x08);
    SetEvent(handedBack_);
    const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
    if (header == nullptr) {
        return;
    }
    const DWORD recorded = header->dwBytesRecorded;
    const bool endsMessage =
        recorded < header->dwBufferLength ||
        (recorded > 0 && static_cast<std::uint8_t>(header->lpData[recorded - 1]) == 0xF7);
    if (endsMessage && received_.fetch_add(1) + 1 >= expected_.load()) {
        SetEvent(event_);
    }
}

int MidiInWin::ReadMessage(std::uint8_t* dest, int destSize, int index) const
{
    if (dest == nullptr || destSize < 0) {
        return 0;
    }
    std::memset(dest, 0, static_cast<std::size_t>(destSize));
    int i = 0;
    std::uint8_t scratch[kBufferSize];
    for (int skipped = 0; skipped < index && i < bufferCount_; ++i) {
        const int n = Buffer(i).CopyData(scratch, kBufferSize);
        if (n > 0 && scratch[n - 1] == 0xF7) {
            ++skipped;
        }
    }
    if (i >= bufferCount_) {
        return 0;
    }
    int total = 0;
    for (; i < bufferCount_; ++i) {
        total += Buffer(i).CopyData(dest + total, destSize - total);
        if (total > 0 && dest[total - 1] == 0xF7) {
            break;
        }
    }
    return total;
}
