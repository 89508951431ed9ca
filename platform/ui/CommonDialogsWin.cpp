#include "platform/ui/CommonDialogs.h"

#include <commdlg.h>

#include "platform/ui/Dialog.h"
#include "platform/ui/WinAccess.h"

namespace ui {

int MessageBoxA(CDialog* owner, const std::string& text, const std::string& caption, UINT type)
{
    const int answer = ::MessageBoxA(win::HwndOf(owner), text.c_str(), caption.c_str(), type);
    return answer == IDOK ? IDOK : IDCANCEL;
}

std::optional<std::string> GetSaveFileNameA(CDialog* owner, const std::string& title,
                                            const std::vector<FileFilter>& filters, const std::string& proposed)
{
    // "description (pattern)", its pattern, each ended by a zero; a second zero ends the list.
    std::string types;
    for (const FileFilter& filter : filters) {
        types += filter.description + " (" + filter.pattern + ")";
        types.push_back('\0');
        types += filter.pattern;
        types.push_back('\0');
    }
    types.push_back('\0');
    // Long paths fit; a longer choice is refused by the box itself.
    constexpr std::size_t kPathRoom = 32768;
    std::string path(kPathRoom, '\0');
    proposed.copy(path.data(), std::min(proposed.size(), kPathRoom - 1));

    OPENFILENAMEA box{};
    box.lStructSize = sizeof box;
    box.hwndOwner = win::HwndOf(owner);
    box.lpstrFilter = filters.empty() ? nullptr : types.c_str();
    box.nFilterIndex = 1;
    box.lpstrFile = path.data();
    box.nMaxFile = static_cast<DWORD>(kPathRoom);
    box.lpstrTitle = title.c_str();
    box.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (::GetSaveFileNameA(&box) == FALSE) {
        return std::nullopt;
    }
    path.resize(path.find('\0'));
    return path;
}

UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, CDialog* owner)
{
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return 0;
    }
    for (const MenuItem& item : items) {
        AppendMenuA(menu, MF_STRING, item.id, item.text.c_str());
    }
    HWND window = win::HwndOf(owner);
    // A menu whose owner is not in front closes at once unless it is brought there.
    if (window != nullptr) {
        SetForegroundWindow(window);
    }
    const BOOL chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON,
                                         screen.x, screen.y, 0, window, nullptr);
    DestroyMenu(menu);
    return static_cast<UINT>(chosen);
}

std::optional<RECT> MonitorWorkArea(POINT screen)
{
    HMONITOR monitor = MonitorFromPoint(screen, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || GetMonitorInfoA(monitor, &info) == FALSE) {
        return std::nullopt;
    }
    return info.rcWork;
}

}  // namespace ui
