#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes `size` bytes to `path` the way a user expects of an output file:
// - a regular file, or a new name, is replaced whole or not at all: the
//   bytes go to a temporary file of its own beside it (never one that is
//   there already), which is renamed over it once it is on disk; the file
//   keeps its mode, and its owner where this process may give it;
// - a symbolic link is followed, and what it names is replaced so;
// - anything else that can be written (a terminal, a pipe, a device such as
//   /dev/null) is written in place, never renamed over;
// - a folder, a pipe nobody reads and a place this process may not write
//   are refused.
// Empty when all was written; otherwise why not, and nothing is left behind.
std::string WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// Whether the two names lead to one file (through links too). False when
// either cannot be looked at.
bool SameFile(const std::string& a, const std::string& b);
