#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

// Where the jobs keep "Sonderik.log". The command line's --log-dir and the
// window's option of the same name go through here, and both programs hand
// the folder to the jobs in EXParams::logFolder: neither changes its current
// folder.

// The folder a user named: "~" alone or a leading "~/" is the home folder
// (platform::HomeFolder; a shell does not expand it inside an option such
// as --log-dir=~/logs); anything else is taken as it is; empty is the
// current folder. Nothing, with the reason in `error`, when it names the
// home folder and there is none.
std::optional<std::filesystem::path> ExpandLogFolder(const std::string& requested, std::string& error);

// The same, and the folder made with its parents, for a program that
// refuses at its start a log folder it cannot have.
std::optional<std::filesystem::path> MakeLogFolder(const std::string& requested, std::string& error);

// "Sonderik.log" in `folder` (the current folder when empty). The folder is
// made, with its parents, when it is missing; whether that worked shows when
// the log is opened.
std::filesystem::path LogFileIn(const std::filesystem::path& folder);

// Opens "Sonderik.log" in `folder` as fopen does with `mode`, by the narrow
// name that the system's narrow calls take (a path's own c_str() is wide on
// Windows).
std::FILE* OpenLogIn(const std::filesystem::path& folder, const char* mode);

// Appends "Sonderik: <line>" to the log in `folder`, for what the program
// must say when no job is there to say it; false when the log cannot be
// opened.
bool AppendToLog(const std::filesystem::path& folder, const std::string& line);

// The folder as a message names it: absolute, or the current folder's path
// when empty.
std::string ShownLogFolder(const std::filesystem::path& folder);

// Why the log in `folder` cannot be opened for writing, as a system reason
// ("Permission denied"), or empty when nothing stands in the way.
std::string LogFolderProblem(const std::filesystem::path& folder);
