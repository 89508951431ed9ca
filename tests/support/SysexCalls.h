#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/midi/WinMidi.h"
#include "tests/support/Within.h"

// Sends `message` as one SysEx and waits up to `bound` until the driver is
// done with it (taking it back when it is not); the first failure, or the
// unprepare's verdict.
inline MMRESULT SendSysex(HMIDIOUT out, std::vector<std::uint8_t> message, std::chrono::milliseconds bound)
{
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(message.data());
    header.dwBufferLength = static_cast<DWORD>(message.size());
    MMRESULT result = midiOutPrepareHeader(out, &header, sizeof header);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    result = midiOutLongMsg(out, &header, sizeof header);
    if (result == MMSYSERR_NOERROR && !Within(bound, [&] { return (header.dwFlags & MHDR_DONE) != 0; })) {
        result = MIDIERR_STILLPLAYING;
        midiOutReset(out);
    }
    const MMRESULT unprepared = midiOutUnprepareHeader(out, &header, sizeof header);
    return result != MMSYSERR_NOERROR ? result : unprepared;
}

// Points `header` at `data`, prepares and queues it on `in` and starts the
// input; the first failure.
inline MMRESULT CaptureInto(HMIDIIN in, MIDIHDR& header, std::span<char> data)
{
    header = MIDIHDR{};
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
    MMRESULT result = midiInPrepareHeader(in, &header, sizeof header);
    if (result == MMSYSERR_NOERROR) {
        result = midiInAddBuffer(in, &header, sizeof header);
    }
    return result == MMSYSERR_NOERROR ? midiInStart(in) : result;
}
