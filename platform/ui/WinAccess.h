#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

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
    // `result`. Runs on the dialog's thread. The messages a control sends
    // its parent about its items or colours (WM_DRAWITEM, WM_MEASUREITEM,
    // WM_COMPAREITEM, WM_DELETEITEM, WM_VKEYTOITEM, WM_CHARTOITEM,
    // WM_CTLCOLOR...) come this way too.
    std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)> notify;
    // What the window gave back for the bytes last set (CWnd::bytes_):
    // reading that back gives those bytes, whatever the code page made of them.
    std::string drawn;
    // The bytes of a list control's lines, in the lines' order, for a
    // control that keeps them (the system keeps them in its code page).
    std::vector<std::string> lines;
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
// last in the tab order; null when the system refuses. WS_CHILD and
// WS_VISIBLE are added to `style` (hide it at once for a hidden control:
// the dialog is not shown while its controls are made).
HWND CreateControl(const char* windowClass, const std::string& text, DWORD style, const RECT& rect,
                   CDialog* parent, int id);
// The same with extended styles (WS_EX_CLIENTEDGE...).
HWND CreateControl(DWORD exStyle, const char* windowClass, const std::string& text, DWORD style, const RECT& rect,
                   CDialog* parent, int id);

// The dialog's tip control, made on first use; null for a window that is
// no dialog's.
HWND ToolTipsOf(HWND dialog);

// For a message loop of the dialogs' thread: gives `msg` to the dialog it is
// for before it is translated and dispatched (Enter, Escape and F1 as the
// dialog takes them, then the system's keyboard navigation). True when the
// dialog took it: it must then not be dispatched. DoModal's loop does this.
bool PreTranslateMessage(MSG& msg);

// A handler's exception reported on standard error; `where` says what ran.
void ReportFault(const char* where, const char* what) noexcept;

// Runs a handler of the program's so that no exception leaves it into the
// system's code, which cannot unwind: a fault is reported and the window
// goes on. False when the handler threw.
template <typename Call>
bool Guarded(const char* where, Call&& call) noexcept
{
    try {
        call();
        return true;
    } catch (const std::exception& fault) {
        ReportFault(where, fault.what());
    } catch (...) {
        ReportFault(where, "an exception of an unknown type");
    }
    return false;
}

}  // namespace ui::win
