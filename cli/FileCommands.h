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

// Every voice whose name holds `text` (ignoring case) in the voice files of
// `folder` and below it, disk images and archives included: one line per
// voice, "PATH\tI1-013\tcode\tname", by path then voice. `category` keeps
// one category code. Files that cannot be read are named on the error
// stream and do not change the status.
int SearchFolder(const std::string& text, const std::string& folder, const std::string& category, bool showInits,
                 std::ostream& out, std::ostream& err);
