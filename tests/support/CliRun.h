#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

// One command line run in this process: its exit status and what it wrote
// to each stream.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// With the MIDI drivers `midi` installs (which stay installed afterwards, for
// the test to look at), the streams taken for the terminals `terminals` says.
inline CliRun Cli(const std::vector<std::string>& args, const MidiSetup& midi = SystemMidi(),
                  const Terminals& terminals = {})
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCli(args, out, err, midi, terminals);
    return {status, out.str(), err.str()};
}
