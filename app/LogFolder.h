#pragma once

#include <string>

// Makes `folder` (a leading "~/" is the home folder; made when missing) the
// process's current folder, where the jobs write "Sonderik.log". False, with
// the reason, when it cannot be made or entered.
bool UseLogFolder(const std::string& folder, std::string& error);
