#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Geometry.h"

#ifdef _WIN32
#include <commctrl.h>
#else
// Window styles the controls take at creation, with the framework's values.
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_GROUPBOX = 0x0007;
constexpr DWORD BS_LEFTTEXT = 0x0020;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr DWORD UDS_SETBUDDYINT = 0x0002;
constexpr DWORD UDS_ALIGNRIGHT = 0x0004;
constexpr DWORD UDS_AUTOBUDDY = 0x0010;
constexpr DWORD UDS_ARROWKEYS = 0x0020;
constexpr DWORD UDS_NOTHOUSANDS = 0x0080;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int BST_INDETERMINATE = 2;
#endif

namespace ui {
// The backend's hold on a control's window: the window itself, and what the
// backend keeps for it (how its text was drawn, its notifications).
struct WindowLink;
}  // namespace ui

// A control object bound to a window of the dialog. The window belongs to
// its parent (it goes with the dialog); the object only points at it, and a
// window can be replaced under the same object (a list box re-created).
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HUIWND GetSafeHwnd() const;
    int GetDlgCtrlID() const { return id_; }
    DWORD GetStyle() const { return style_; }
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const;
    // Places the window in its parent's client area.
    void MoveWindow(const RECT& rect);
    // Where the window is in its parent's client area.
    RECT GetWindowRect() const;
    bool IsWindowVisible() const;
    // SW_SHOW or SW_HIDE.
    void ShowWindow(int show);
    void SetFocus();
    // GetFocus() == this window: it, or a part of it, has the keyboard focus.
    bool HasFocus() const;
    // The tip shown while the pointer rests on the window (none: empty).
    void SetToolTipText(const std::string& text);
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;

protected:
    friend struct ui::WindowLink;

    // Binds the object to a window the backend made; `text`: what it shows.
    void Bind(HUIWND window, int id, DWORD style, std::string_view text = {});
    // The window's link; null while the object is bound to none.
    ui::WindowLink* Link() const { return link_.get(); }

    std::unique_ptr<ui::WindowLink> link_;
    // The bytes last set: text read back unchanged gives back those bytes,
    // whatever their encoding.
    std::string bytes_;
    int id_ = 0;
    DWORD style_ = 0;
};

// Push button, check box or group box, by style.
class CButton : public CWnd {
public:
    void Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id);
    int GetCheck() const;
    void SetCheck(int state);
    // BN_CLICKED, after a check box has changed its state.
    std::function<void()> onClicked;
};

// The two messages a CPushButton posts to its parent dialog: wParam is the
// button's control id, lParam the pointer position in the button's
// coordinates, x in the low 16 bits and y in the high 16, each cut to 16
// bits.
inline constexpr UINT kButtonPressMessage = WM_APP + 3;
inline constexpr UINT kButtonReleaseMessage = WM_APP + 4;

// x and y packed as those messages carry them.
std::uint32_t PackPosition(int x, int y);

// A push button that also reports the moment the left mouse button goes
// down on it and the moment it comes up, so that its parent can act for as
// long as it is held: kButtonPressMessage and kButtonReleaseMessage, posted
// to the parent before the button's own handling, so that the parent sees
// them after the current event, a press always before its release. A
// double-click's second press is not reported, its release is. In every
// other way it is a plain push button: the keyboard presses it without a
// report, and a completed click is still BN_CLICKED.
class CPushButton : public CButton {
public:
    void Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id);
};

// A label (static text). Text taller than one line wraps at words.
class CStatic : public CWnd {
public:
    void Create(const std::string& text, const RECT& rect, CDialog* parent, int id);
    // Shows the program's icon resource of this id instead of text.
    void SetIcon(int iconId);
};

// A single-line edit. ES_NUMBER takes digits only; ES_RIGHT aligns right.
class CEdit : public CWnd {
public:
    void Create(DWORD style, const RECT& rect, CDialog* parent, int id);
    // A hint shown in the empty field (EM_SETCUEBANNER), never its text.
    void SetCueBanner(const std::string& hint);
};

// A drop-down list whose lines are names kept as bytes.
class CComboBox : public CWnd {
public:
    void Create(DWORD style, const RECT& rect, CDialog* parent, int id);
    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    // -1, or an index past the end, leaves no line selected (and answers -1).
    int SetCurSel(int index);
    std::string GetLBText(int index) const;
    void ShowDropDown(bool show);
    // CBN_DROPDOWN: the drop-down part is about to show; the lines may change.
    std::function<void()> onDropDown;
    // CBN_CLOSEUP: the drop-down part has closed, whatever was chosen.
    std::function<void()> onCloseUp;
};

// An up-down control bound to the edit created just before it (its buddy).
// A click or an arrow key first reports the position and the step
// (UDN_DELTAPOS); when that is allowed, the position moves by the step,
// kept within the range, and the buddy shows it.
class CSpinButtonCtrl : public CWnd {
public:
    void Create(DWORD style, const RECT& rect, CDialog* parent, int id, CEdit& buddy);
    void SetRange32(int lower, int upper);
    void GetRange32(int& lower, int& upper) const;
    int GetPos32() const;
    void SetPos32(int pos);
    // Returns true to allow the move.
    std::function<bool(int pos, int delta)> onDeltaPos;
    // Steps as one click on the up (+1) or down (-1) arrow.
    void Step(int delta);

private:
    CEdit* buddy_ = nullptr;
    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
};
