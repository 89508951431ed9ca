#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/MidiCommands.h"

// Runs one command line (without the program name) and returns the exit
// status: 0 done, 1 refused or failed (one line on `err`), 2 usage error.
// The MIDI commands use the system's ports and the built-in virtual instrument.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Which of the two streams a person watches on a terminal.
struct Terminals {
    bool out = false;
    bool err = false;
};

// The same with the MIDI drivers that `midi` installs.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const MidiSetup& midi,
           const Terminals& terminals = {});

// "I1-005" (any case) or "0" to "255": the voice number, or -1.
int ParseVoiceArgument(const std::string& text);
