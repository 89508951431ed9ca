#pragma once

#include <ostream>
#include <string>

// The commands that show what the file browser shows.

// "C: 3 /home/user" for each drive in letter order, then
// "\\SERVER\share /mount/point" for each mounted network share.
int PrintDrives(std::ostream& out, std::ostream& err);

// The subfolders of a folder ("dir NAME", as the tree shows them, in its
// order), then its voice files ("file NAME", in the file list's order).
int PrintFolder(const std::string& path, std::ostream& out, std::ostream& err);
