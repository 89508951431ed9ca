#pragma once

// The one translation from a Windows path to a path of this system, which
// every call of this room that takes a path uses.

#include <optional>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"
#include "platform/files/Patterns.h"

namespace platform::files {

struct LocalFolder {
    std::string path;
    bool isRoot = false;   // the drive's or share's own folder
};

// Resolves every component of `windowsPath`. With `allFolders`, a missing
// last component is ERROR_PATH_NOT_FOUND as well (the path names a folder);
// otherwise ERROR_FILE_NOT_FOUND. `error` is set on failure.
std::optional<LocalFolder> Resolve(std::string_view windowsPath, bool allFolders, DWORD& error);

bool IsSeparator(char c);

}  // namespace platform::files
