#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "platform/midi/WinMidi.h"
#include "platform/threads/WinSync.h"
#include "voice/EXParams.h"

// How a port waits for the driver to give a buffer back: `attempts` polls
// `delay` milliseconds apart, the waiting text going to `log` when there is
// one. A job's parameters give it; a port closing in its destructor has no
// job and uses the fixed Quiet() pacing, with no log.
struct Pacing {
    std::FILE* log = nullptr;
    DWORD delay = 0;
    DWORD attempts = 0;

    static Pacing Of(const EXParams& params) { return Pacing{params.log, params.sysexDelay, params.attempts}; }
    static Pacing Quiet() { return Pacing{nullptr, 25, 4}; }

    void Write(const char* text) const
    {
        if (log != nullptr) {
            std::fputs(text, log);
        }
    }
};

// A MIDI cable carries 3,125 bytes a second: 320 microseconds a byte.
inline constexpr DWORD kWireMicrosecondsPerByte = 320;
// What a transport may take beyond a message's wire time before its bytes
// have left (JACK: up to two periods; a loaded machine: more).
inline constexpr DWORD kDrainMarginMs = 250;

// The pause between two polls for an output message of `bytes` bytes: the
// pacing's delay, or more where the attempts would not otherwise cover the
// message's time on the wire and the margin. A message can thus always
// finish within the bound, however small the delay; a driver that tells
// when it is done ends the wait sooner.
inline DWORD DrainInterval(const Pacing& pacing, std::size_t bytes)
{
    const DWORD attempts = std::max<DWORD>(pacing.attempts, 1);
    const std::size_t wireMs = (bytes * kWireMicrosecondsPerByte + 999) / 1000;
    const auto needed = static_cast<DWORD>((wireMs + kDrainMarginMs + attempts - 1) / attempts);
    return std::max(pacing.delay, needed);
}

// The output callback of a port that waits on `instance`, an event: set it
// whenever the driver is done with a header.
inline void SetEventWhenDone(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    if (message == MOM_DONE && instance != 0) {
        SetEvent(reinterpret_cast<HANDLE>(instance));
    }
}

// Polls `unprepare` while it answers MIDIERR_STILLPLAYING, writing
// `waiting` before the first pause and "." before each later one, at most
// pacing.attempts times, `interval` milliseconds apart. With a `done` event
// (set by the driver's callback) a pause ends as soon as the driver is done.
// Returns the last result: 0, MIDIERR_STILLPLAYING after the last attempt,
// or another code at once.
template <typename Unprepare>
MMRESULT ReleaseHeader(const Pacing& pacing, const char* waiting, DWORD interval, HANDLE done, Unprepare unprepare)
{
    if (done != nullptr) {
        ResetEvent(done);
    }
    for (DWORD attempt = 0;;) {
        const MMRESULT result = unprepare();
        if (result != MIDIERR_STILLPLAYING) {
            return result;
        }
        pacing.Write(attempt == 0 ? waiting : ".");
        if (done != nullptr) {
            WaitForSingleObject(done, interval);
            ResetEvent(done);
        } else {
            Sleep(interval);
        }
        ++attempt;
        if (attempt >= pacing.attempts) {
            return result;
        }
    }
}
