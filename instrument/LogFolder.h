#pragma once

#include <filesystem>
#include <string>

// Where the jobs keep "Sonderik.log". The command line's --log-dir and the
// window's option of the same name go through here.

// The folder a user named: "~" alone or a leading "~/" is the home folder
// (platform::HomeFolder; a shell does not expand it inside an option such
// as --log-dir=~/logs);
// anything else is taken as it is; empty is the current folder.
std::filesystem::path ExpandLogFolder(const std::string& requested);

// "Sonderik.log" in `folder` (the current folder when empty). The folder is
// made, with its parents, when it is missing; whether that worked shows when
// the log is opened.
std::filesystem::path LogFileIn(const std::filesystem::path& folder);

// Why the log in `folder` cannot be opened for writing, as a system reason
// ("Permission denied"), or empty when nothing stands in the way.
std::string LogFolderProblem(const std::filesystem::path& folder);
