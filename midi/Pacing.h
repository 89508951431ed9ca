#pragma once

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

// Polls `unprepare` while it answers MIDIERR_STILLPLAYING, writing
// `waiting` before the first pause and "." before each later one. Returns
// the last result: 0, MIDIERR_STILLPLAYING after the last attempt, or
// another code at once.
template <typename Unprepare>
MMRESULT ReleaseHeader(const Pacing& pacing, const char* waiting, Unprepare unprepare)
{
    for (DWORD attempt = 0;;) {
        const MMRESULT result = unprepare();
        if (result != MIDIERR_STILLPLAYING) {
            return result;
        }
        pacing.Write(attempt == 0 ? waiting : ".");
        Sleep(pacing.delay);
        ++attempt;
        if (attempt >= pacing.attempts) {
            return result;
        }
    }
}
