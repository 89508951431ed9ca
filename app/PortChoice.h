#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which line of a port list a stored port selects. Port indexes move as
// devices come and go, so a port is stored by its line and, beside it, by its
// name; the name decides whenever there is one. Shared by the window and the
// command line, so that both pick the same port from the same settings.
//
// No Qt, no MIDI: the caller passes the names its list shows, in order.

// A port as the settings hold it. An empty name means none was stored
// (settings from before names were kept, or a first run).
struct StoredPort {
    std::int32_t line = -1;
    std::string name;

    bool operator==(const StoredPort&) const = default;
};

// The line to select among `lines`, or -1 for none:
// - without a stored name, the stored line when the list has it;
// - else the line whose name equals the stored name;
// - else the line whose name equals it once a trailing ALSA client:port
//   pair (" 24:0") is left off both, as that pair changes when a device is
//   plugged in again;
// - else none: a port that is gone is never replaced by whatever took its
//   line.
// Where several lines match, the stored line wins if it is one of them,
// else the first.
std::int32_t ChoosePort(const std::vector<std::string>& lines, const StoredPort& stored);

// The name without its trailing ALSA " client:port" pair, if it has one.
std::string WithoutAlsaAddress(const std::string& name);
