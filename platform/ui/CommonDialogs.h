#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/ui/Geometry.h"

class CDialog;

#ifndef _WIN32  // on Windows these are the system's own
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
#endif

namespace ui {

// Asks the user in a box owned by `owner` (none: on its own) and waits for
// the answer: IDOK, or IDCANCEL when the box was closed otherwise.
int MessageBoxA(CDialog* owner, const std::string& text, const std::string& caption, UINT type);

// One line of a file box's type list: what the user reads and the names it
// shows (`*.syx`, `*` for every file).
struct FileFilter {
    std::string description;
    std::string pattern;
};

// The system's "save as" box, opening at `proposed` (a path, or a name in
// the box's own folder); the chosen path, or none when the user cancelled.
std::optional<std::string> GetSaveFileNameA(CDialog* owner, const std::string& title,
                                            const std::vector<FileFilter>& filters, const std::string& proposed);

// One command of a pop-up menu; `&` marks the letter that chooses it.
struct MenuItem {
    UINT id = 0;
    std::string text;
};

// Shows a pop-up menu at a point of the screen and waits until it closes:
// the chosen item's id, or 0 when none was chosen.
UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, CDialog* owner);

// The part of the screen that windows may take (without task bars) on the
// monitor showing `screen`, else on the main monitor; none without a screen.
std::optional<RECT> MonitorWorkArea(POINT screen);

}  // namespace ui
