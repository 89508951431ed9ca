#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "voice/EXException.h"
#include "voice/Patch.h"
#include "voice/VoiceFile.h"

// What every command of the tool shares: its name, its exit statuses and the
// one-line failure report.
inline constexpr const char* kProgram = "sonderik-cli";
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// `text` with every control character shown as '?', so that one item stays
// one line and nothing reaches a terminal as a command.
std::string Printable(std::string text);
// A list line with its name made printable; its two tabs stay.
std::string PrintableListLine(const std::string& line);

// One request failed: says which file (or subject) and why, in one line.
int Fail(std::ostream& err, const std::string& subject, const std::string& reason);
// The same, followed by why on a line of its own when that is known (a
// driver's words, the check that failed).
int Fail(std::ostream& err, const std::string& subject, const std::string& text, const std::string& why);
// The same for a caught record, which it deletes.
int FailEX(std::ostream& err, const std::string& subject, EXException* raised);

// Reads the file's voice bank, or reports why not and sets `status`.
bool ReadBank(const std::string& file, BankImage& image, std::ostream& err, int& status);

// The patch a double-click on voice `voice` would send, and its list line;
// null after reporting a drum voice or a voice that cannot be assembled.
std::unique_ptr<EX5Patch> PatchOfVoice(const BankImage& image, int voice, const std::string& file, std::string& line,
                                       std::ostream& err, int& status);

// "I1-002 Glass Grand" for a list line, printable.
std::string ShownVoice(const std::string& line);
