#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Settings.h"

class VirtualEX5Driver;

// Installs the MIDI drivers the MIDI commands use and returns the built-in
// virtual instrument among them, or null when there is none.
using MidiSetup = std::function<VirtualEX5Driver*()>;

// The drivers the window runs with too (InstallProgramMidiDrivers): the
// system's ports, then the built-in virtual instrument as
// SONDERIK_VIRTUAL_EX5 configures it.
MidiSetup SystemMidi();

// What the command line may override; the rest comes from the stored
// settings, or from the built-in values when nothing is stored.
struct JobOptions {
    // A port as typed: digits only (or -1, none) are an index; anything
    // else names the port of exactly that name, else the one port whose
    // name contains it. See PickPort.
    std::optional<std::string> in;
    std::optional<std::string> out;
    std::optional<std::uint32_t> device;
    std::optional<std::uint32_t> sysexDelay;
    std::optional<std::uint32_t> midiDelay;
    std::optional<std::uint32_t> timeout;
    bool verbose = false;
    std::string logDir;  // as typed; empty for the current folder
};

// Upper bounds that keep a job from waiting for days on a stored value.
inline constexpr std::uint32_t kMaxSysexDelay = kMaxDelay;
inline constexpr std::uint32_t kMaxMidiDelay = 60000;
inline constexpr std::uint32_t kMaxTimeout = 60000;

// The line of `names` that --in or --out `argument` picks (-1: none), or
// why it picks none: no port or several ports go by that name. The lines
// are those `ports` prints, in order.
struct PortPick {
    std::int32_t line = -1;
    std::string problem;
};
PortPick PickPort(const std::string& argument, const std::vector<std::string>& names);
inline constexpr std::int32_t kMaxPortIndex = 65535;

int Ports(const MidiSetup& midi, std::ostream& out, std::ostream& err);
// With `showWaiting` (standard error is a terminal), a status line shows
// which request is waiting for its answer, and is wiped at the end.
int Identify(const MidiSetup& midi, const JobOptions& options, std::ostream& out, std::ostream& err,
             bool showWaiting = false);
// Presses the audition button of `action` (note, major, minor or trill),
// releases it `holdMs` after the press began, and prints the channel
// messages the built-in instrument received when that is the port. Tests
// shorten the pause between the notes of the run.
int PlayAudition(const MidiSetup& midi, const std::string& action, std::uint32_t holdMs, const JobOptions& options,
             std::ostream& out, std::ostream& err, std::chrono::milliseconds runPause = std::chrono::milliseconds(400));
inline constexpr std::uint32_t kMaxHold = 60000;

int Send(const MidiSetup& midi, const std::string& file, int voice, const JobOptions& options, std::ostream& out,
         std::ostream& err);
