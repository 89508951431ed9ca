#include "platform/files/WinFiles.h"

// What makes a path a Windows path is the same on every system: the drive
// or the "\\" it starts with.

namespace platform {

namespace {

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsWindowsPath(std::string_view path)
{
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return true;
    }
    return path.size() >= 2 && IsLetter(path[0]) && path[1] == ':' && (path.size() == 2 || path[2] == '\\');
}

}  // namespace platform
