#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/midi/WinMidi.h"
#include "voice/EXException.h"

// What MidiOutWin and MidiInWin do alike around the midi* calls, each
// under its own unit and lines.

// Raises `format`, whose one %X is the code a midi* call answered.
[[noreturn]] inline void RaiseCode(const char* format, MMRESULT code, const char* unit, int line)
{
    char text[EXException::kTextSize];
    std::snprintf(text, sizeof text, format, code);
    RaiseEX(text, unit, line);
}

// Where a port class's GetDeviceName raises: its unit, and the lines and
// words it has always reported under.
struct PortNameSites {
    const char* unit;
    int nullNameLine;
    int badPortLine;
    const char* badPortText;
};

// GetDeviceName of both port classes: the name of port `port` of the last
// listing, cut to `size` bytes with the terminator. `count` and `capsOf` are
// the direction's midi*GetNumDevs and midi*GetDevCapsA.
template <typename Caps>
int CopyPortName(UINT port, char* name, int size, const PortNameSites& sites, UINT (*count)(),
                 MMRESULT (*capsOf)(UINT_PTR, Caps*, UINT))
{
    if (name == nullptr) {
        RaiseEX("Null lpszDeviceName parameter", sites.unit, sites.nullNameLine);
    }
    if (size <= 0) {
        return 0;  // no room even for the terminator
    }
    name[0] = 0;
    if (port >= count()) {
        RaiseEX(sites.badPortText, sites.unit, sites.badPortLine);
    }
    // A port that vanished since it was counted leaves the record as it was
    // made: an empty name, never stray bytes.
    Caps caps{};
    capsOf(port, &caps, sizeof caps);
    std::strncpy(name, caps.szPname, static_cast<std::size_t>(size));
    name[size - 1] = 0;
    return 0;
}
