#pragma once

// The few things the program asks of the system beyond its files: who the
// user is and where they keep things, the local time, and whether output
// goes to a terminal. Any thread may call them.

#include <filesystem>
#include <string>

namespace platform {

// The user's home folder: $HOME when it is set and not empty, else the home
// folder of the account this process runs as; empty when neither names one.
// On Windows $USERPROFILE, else the account's profile folder.
std::filesystem::path HomeFolder();

// The name of the account this process runs as ($USER when the account has
// no entry, $USERNAME on Windows); empty when neither is known.
std::string UserName();

// The folder of the user's settings, shared by the rooms that keep files
// there (the registry's roots, the drive letters): $SONDERIK_CONFIG_DIR, else
// $XDG_CONFIG_HOME/sonderik (when absolute), else "sonderik" in the folder
// ".config" of the home folder; empty when there is no home folder either.
// On Windows $SONDERIK_CONFIG_DIR, else "Sonderik" in $APPDATA, else in
// "AppData\Roaming" of the home folder.
std::filesystem::path SettingsFolder();

// The folder of what the program keeps only to be quicker, and may lose at
// any time (the voice index): $SONDERIK_CACHE_DIR, else
// $XDG_CACHE_HOME/sonderik (when absolute), else "sonderik" in the folder
// ".cache" of the home folder; empty when there is no home folder either.
// On Windows $SONDERIK_CACHE_DIR, else "Sonderik\cache" in $LOCALAPPDATA,
// else in "AppData\Local" of the home folder.
std::filesystem::path CacheFolder();

// Now, in local time, as the C library's asctime writes it:
// "Mon Dec  7 12:21:30 2026\n"; "\n" alone when the time cannot be told.
std::string LocalDateText();

enum class StandardStream { Output, Error };

// Whether the stream goes to a terminal rather than to a file or a pipe.
bool IsTerminal(StandardStream stream);

// Makes the standard streams carry bytes as they are written. Where the C
// runtime would turn each line feed into a carriage return and a line feed
// (Windows's text mode), an exported voice would be corrupted and a listing
// would differ from the same listing on another system. Called before
// anything is written.
void UseBinaryStandardStreams();

}  // namespace platform
