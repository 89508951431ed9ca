#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/midi/WinMidi.h"
#include "voice/EXException.h"

// What MidiOutWin and MidiInWin do alike around the midi* calls, each
// under its own unit and lines.

// Raises `format`, whose one %X is the code a midi* call answered, with
// `reason`, or else what the driver said about that call.
[[noreturn]] inline void RaiseCode(const char* format, MMRESULT code, const char* unit, int line,
                                   const std::string& reason = std::string())
{
    char text[EXException::kTextSize];
    std::snprintf(text, sizeof text, format, code);
    RaiseEX(text, unit, line, (reason.empty() ? platform::MidiFailureReason() : reason).c_str());
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

// Two reasons as one; either may be empty.
inline std::string JoinReasons(const std::string& first, const std::string& second)
{
    return first.empty() ? second : (second.empty() ? first : first + "; " + second);
}

// A direction's listing calls: midi*GetNumDevs and midi*GetDevCapsA.
template <typename Caps>
struct PortListing {
    UINT (*count)();
    MMRESULT (*capsOf)(UINT_PTR, Caps*, UINT);

    // The line of the listing that carries `expected`: `port` while it
    // still does, else the first that does, else none. Without a name,
    // `port` as it is. What the drivers said while listing goes to `said`.
    std::optional<UINT> Find(UINT port, const std::string& expected, std::string& said) const
    {
        if (expected.empty()) {
            return port;
        }
        const UINT n = count();
        said = platform::MidiFailureReason();
        const auto named = [&](UINT line) {
            Caps caps{};
            return capsOf(line, &caps, sizeof caps) == MMSYSERR_NOERROR && expected == caps.szPname;
        };
        if (port < n && named(port)) {
            return port;
        }
        for (UINT line = 0; line < n; ++line) {
            if (named(line)) {
                return line;
            }
        }
        return std::nullopt;
    }
};

// Opens the port chosen as line `port` named `expected` with `openAt(line)`.
// An index stands for the port it named when it was chosen: a port that
// only moved in a listing made since is followed to its new line (`port`
// then holds it), and one that went fails with MIDIERR_NODEVICE instead of
// opening whatever took its line. A failed open lists the ports again, so
// the port is looked for once more. `reason` gets the drivers' words, and
// "... is not there any more" for a port that went.
template <typename Caps, typename OpenAt>
MMRESULT OpenChosenPort(UINT& port, const std::string& expected, const PortListing<Caps>& listing, OpenAt openAt,
                        std::string& reason)
{
    // The line chosen, and the one a listing made after it failed gives.
    constexpr int kTries = 2;
    std::string said;
    std::optional<UINT> line = listing.Find(port, expected, said);
    MMRESULT result = MIDIERR_NODEVICE;
    for (int tries = 0; tries < kTries && line; ++tries) {
        result = openAt(*line);
        if (result == MMSYSERR_NOERROR) {
            port = *line;
            return result;
        }
        reason = JoinReasons(reason, platform::MidiFailureReason());
        if (expected.empty()) {
            return result;
        }
        const std::optional<UINT> again = listing.Find(*line, expected, said);
        if (again == line) {
            return result;  // still listed there: the driver's words say why
        }
        line = again;
    }
    if (!line) {
        const std::string gone = "\"" + expected + "\" is not there any more";
        reason = JoinReasons(reason, said.empty() ? gone : gone + " (" + said + ")");
    }
    return result;
}
