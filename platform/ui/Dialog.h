#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/threads/Window.h"

#include "platform/ui/DialogUnits.h"
#include "platform/ui/Geometry.h"

#ifndef _WIN32  // on Windows these are the system's own
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// The first message number a program may give its own messages.
constexpr UINT WM_APP = 0x8000;

// The frame a dialog's template asks for: a title bar, the system menu
// with its close box, a maximise box.
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
#endif

// A dialog's or a control's window as the backend that made it knows it;
// null when the object has none.
struct UiWindow;
using HUIWND = UiWindow*;

namespace ui {

// The backend's window of a dialog: it carries the window system's events
// to the dialog's handlers.
class DialogWindow;

// A dialog template's font: a typeface and its size in points.
struct TemplateFont {
    std::string_view typeface;
    int pointSize = 0;
};

// The system's dialog font, as templates name it. Off Windows no font has
// that name: the desktop's sans font stands in for it (ui::DialogFont).
inline constexpr TemplateFont kShellFont{"MS Shell Dlg", 8};

}  // namespace ui

// Where SetWindowPos puts a dialog among the top-level windows
// (HWND_TOPMOST, HWND_NOTOPMOST), and what it leaves as it is.
enum class ZOrder { TopMost, NoTopMost };
#ifndef _WIN32
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
#endif

// A modal dialog laid out in dialog units of its font. Enter presses the
// focused push button and is the OK command anywhere else; Escape or the
// close box is the cancel command, whatever has the focus. OK and cancel go
// through OnOK and OnCancel, which end the dialog with EndDialog unless they
// decide otherwise.
class CDialog {
public:
    explicit CDialog(CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the start-up and shows the dialog without waiting for its end.
    bool Create();
    // Shows the dialog and runs until EndDialog; the result EndDialog gave.
    int DoModal();
    void EndDialog(int result);
    // What EndDialog gave, once the dialog has ended; 0 before.
    int Result() const { return result_; }

    // The dialog's own window, as the backend knows it.
    HUIWND GetSafeHwnd() const;

    const ui::BaseUnits& Units() const { return units_; }
    RECT DialogRect(int x, int y, int width, int height) const;
    // Sets the font and the client size as the template gives them; the
    // template's size is the smallest the window may be made.
    void SetTemplate(const ui::TemplateFont& font, int width, int height);
    SIZE TemplateSize() const { return templateSize_; }
    // Puts the dialog above or among the other top-level windows (unless
    // SWP_NOZORDER), and moves and sizes it unless the flags say not to. A
    // shown dialog stays shown and modal: the window system is asked to
    // change its level.
    bool SetWindowPos(ZOrder insertAfter, int x, int y, int width, int height, UINT flags);

    // Queues a message (WM_APP and above) for the dialog's own thread, from
    // any thread: OnMessage gets it after what that thread handles now, in
    // the order the messages were posted.
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs `call` on the dialog's thread after what that thread handles now,
    // from any thread; dropped when the window goes first.
    void PostCall(std::function<void()> call);
    // The wait cursor over the dialog, from BeginWaitCursor to EndWaitCursor.
    void BeginWaitCursor();
    void EndWaitCursor();
    // The title bar's text.
    void SetWindowText(const std::string& text);
    // The title bar's icon: the program's icon resource of this id.
    void SetIcon(int iconId);
    // Changes the frame's styles (WS_CAPTION, WS_SYSMENU, WS_MAXIMIZEBOX);
    // before the dialog is shown.
    void ModifyStyle(DWORD remove, DWORD add);
    // WM_DROPFILES: whether files dropped on the window reach OnDropFiles.
    void DragAcceptFiles(bool accept);
    // Adds a separator, then a command, to the window's system menu, where
    // the window system gives the program one (Windows); the command then
    // reaches OnSysCommand. False where there is no such menu.
    bool AppendSystemMenu(UINT id, const std::string& text);
    // Where the window is on the screen, with the size of its client area.
    RECT GetWindowRect() const;
    bool IsWindowVisible() const;

protected:
    virtual bool OnInitDialog() { return true; }
    // A message posted to the dialog; false when it is none of the dialog's.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // The window is going: the dialog's last word before it closes.
    virtual void DestroyWindow() {}
    // WM_SIZE: the client area's new size.
    virtual void OnSize(int /*width*/, int /*height*/) {}
    // WM_SYSCOMMAND: a command of the system menu, its low four bits
    // cleared; false lets the system carry it out.
    virtual bool OnSysCommand(UINT /*command*/) { return false; }
    // F1, whatever has the focus; false lets the key go on as any other.
    virtual bool OnHelpInfo() { return false; }
    // A right click on the dialog's background (group frames, labels, or
    // nothing: what takes no focus), at this point of the screen; false lets
    // it go on.
    virtual bool OnContextMenu(POINT /*screen*/) { return false; }
    // Files or folders dropped on the window, as paths of this system.
    virtual void OnDropFiles(const std::vector<std::string>& /*paths*/) {}

private:
    friend class ui::DialogWindow;

    std::unique_ptr<ui::DialogWindow> window_;
    int result_ = 0;
    ui::BaseUnits units_;
    SIZE templateSize_;
};
