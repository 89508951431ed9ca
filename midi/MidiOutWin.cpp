#include "midi/MidiOutWin.h"

#include <cstdio>

#include "midi/Pacing.h"
#include "midi/PortCalls.h"
#include "voice/EXException.h"

namespace {

constexpr const char* kUnit = "MidiOutWin";
constexpr int kLineNullName = 54;
constexpr int kLineBadPort = 59;
constexpr int kLineSendShort = 105;
constexpr int kLineTooLong = 120;
constexpr int kLinePrepare = 128;
constexpr int kLineSendLong = 136;
constexpr int kLineUnprepare = 186;

}  // namespace

// A call on a port whose open failed can only say its handle is invalid;
// the open's own reason says why.
void MidiOutWin::Raise(const char* format, MMRESULT code, int line) const
{
    RaiseCode(format, code, kUnit, line, open_ ? std::string() : openFailure_);
}

int MidiOutWin::GetDeviceName(UINT port, char* lpszDeviceName, int size)
{
    constexpr PortNameSites sites{kUnit, kLineNullName, kLineBadPort, "Invalid MIDI out device number"};
    return CopyPortName(port, lpszDeviceName, size, sites, &midiOutGetNumDevs, &midiOutGetDevCapsA);
}

MidiOutWin::MidiOutWin() : done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

MidiOutWin::~MidiOutWin()
{
    if (open_) {
        CloseOpenPort();
    }
    CloseHandle(done_);
}

// What is still on its way is given the time it needs, as in a job, before
// the port is reset: a voice being played out is not cut.
void MidiOutWin::CloseOpenPort()
{
    MIDIHDR* header = message_.GetHeader();
    const Pacing quiet = Pacing::Quiet();
    const MMRESULT released =
        ReleaseHeader(quiet, "", DrainInterval(quiet, header->dwBufferLength), done_,
                      [&] { return midiOutUnprepareHeader(handle_, header, sizeof(MIDIHDR)); });
    if (released != MMSYSERR_NOERROR) {
        // The driver still holds the buffer that is about to be freed: take
        // it back by force rather than leave the driver reading freed memory.
        midiOutReset(handle_);
        midiOutUnprepareHeader(handle_, header, sizeof(MIDIHDR));
    }
    midiOutClose(handle_);
}

MMRESULT MidiOutWin::Open(EXParams& params)
{
    if (open_) {
        return MMSYSERR_NOERROR;
    }
    // The driver's callback tells when a message is done, so that a wait for
    // it ends then and not at the end of a pause.
    std::string reason;
    const MMRESULT result = OpenChosenPort(
        params.midiOutPort, params.midiOutName, PortListing<MIDIOUTCAPSA>{&midiOutGetNumDevs, &midiOutGetDevCapsA},
        [&](UINT line) {
            return midiOutOpen(&params.midiOutHandle, line, reinterpret_cast<DWORD_PTR>(&SetEventWhenDone),
                               reinterpret_cast<DWORD_PTR>(done_), CALLBACK_FUNCTION);
        },
        reason);
    if (result != MMSYSERR_NOERROR) {
        openFailure_ = reason.empty() ? std::string() : "the MIDI output port was not opened: " + reason;
        return result;
    }
    openFailure_.clear();
    open_ = true;
    handle_ = params.midiOutHandle;
    return MMSYSERR_NOERROR;
}

int MidiOutWin::SendShortMessage(EXParams& params, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const DWORD word = static_cast<DWORD>(status) | (static_cast<DWORD>(data1) << 8) |
                       (static_cast<DWORD>(data2) << 16);
    const MMRESULT result = midiOutShortMsg(params.midiOutHandle, word);
    if (result != MMSYSERR_NOERROR) {
        Raise("Error 0x%X sending MIDI message", result, kLineSendShort);
    }
    ++messageCount_;
    return 0;
}

int MidiOutWin::SendLongMessage(EXParams& params, const std::uint8_t* data, int size)
{
    if (size < 0 || size > message_.GetCapacity() || (data == nullptr && size > 0)) {
        char text[EXException::kTextSize];
        std::snprintf(text, sizeof text, "Cannot send %d bytes: a MIDI message holds at most %d", size,
                      message_.GetCapacity());
        RaiseEX(text, kUnit, kLineTooLong);
    }
    UnprepareMessage(params);
    message_.SetData(data, size);
    MIDIHDR* header = message_.GetHeader();
    MMRESULT result = midiOutPrepareHeader(params.midiOutHandle, header, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        Raise("Error 0x%X preparing MIDI out header", result, kLinePrepare);
    }
    result = midiOutLongMsg(params.midiOutHandle, header, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        Raise("Error 0x%X sending MIDI message", result, kLineSendLong);
    }
    ++messageCount_;
    return 0;
}

void MidiOutWin::UnprepareMessage(EXParams& params)
{
    MIDIHDR* header = message_.GetHeader();
    const Pacing pacing = Pacing::Of(params);
    const MMRESULT result =
        ReleaseHeader(pacing, "Waiting for MIDI Out.", DrainInterval(pacing, header->dwBufferLength), done_,
                      [&] { return midiOutUnprepareHeader(params.midiOutHandle, header, sizeof(MIDIHDR)); });
    if (result != MMSYSERR_NOERROR) {
        Raise("Error 0x%X unpreparing MIDI out header", result, kLineUnprepare);
    }
    message_.Clear();
}

MMRESULT MidiOutWin::Close(EXParams& params)
{
    if (!open_) {
        return MMSYSERR_NOERROR;
    }
    UnprepareMessage(params);
    const MMRESULT result = midiOutClose(params.midiOutHandle);
    open_ = false;
    handle_ = nullptr;
    return result;
}
