#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs one command line (without the program name) and returns the exit
// status: 0 done, 1 refused or failed (one line on `err`), 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "I1-005" (any case) or "0" to "255": the voice number, or -1.
int ParseVoiceArgument(const std::string& text);
