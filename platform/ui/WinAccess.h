#pragma once

#include <functional>

#include "platform/ui/Controls.h"

// The Win32 backend's side of the shared headers: a window handle is the
// system's HWND, and every control's window carries a link to what the
// backend keeps for it. For the backend itself and for tests that drive the
// real controls.
namespace ui {

// What the Win32 backend keeps of a control's window.
struct WindowLink {
    HWND window = nullptr;
    // The control's notifications as its dialog receives them: WM_COMMAND
    // (the code in HIWORD(wParam), the control in lParam) and WM_NOTIFY (an
    // NMHDR* in lParam). True when handled, with the dialog's answer in
    // `result`. Runs on the dialog's thread.
    std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)> notify;
};

}  // namespace ui

namespace ui::win {

inline HUIWND HandleOf(HWND window) { return reinterpret_cast<HUIWND>(window); }

inline HWND HwndOf(HUIWND window) { return reinterpret_cast<HWND>(window); }

inline HWND HwndOf(const CWnd& window) { return HwndOf(window.GetSafeHwnd()); }

inline HWND HwndOf(const CDialog& dialog) { return HwndOf(dialog.GetSafeHwnd()); }

// Null for no dialog: a box without an owner.
inline HWND HwndOf(const CDialog* dialog) { return dialog != nullptr ? HwndOf(*dialog) : nullptr; }

// The link a control's window carries (set when a control object binds
// it); null for a window no control object holds.
WindowLink* LinkOf(HWND control);

// The dialog whose window this is; null for any other window.
CDialog* DialogOf(HWND window);

// Makes a child control of the dialog with the system's window class,
// placed in pixels of the dialog's client area, in the dialog's font, and
// last in the tab order; null when the system refuses.
HWND CreateControl(const char* windowClass, const std::string& text, DWORD style, const RECT& rect,
                   CDialog* parent, int id);

}  // namespace ui::win
