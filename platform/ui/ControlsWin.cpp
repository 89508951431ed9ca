#include "platform/ui/Controls.h"

#include <algorithm>
#include <cstddef>

#include "platform/ui/WinAccess.h"

namespace {

// The property by which a control's window finds what the backend keeps for it.
constexpr const char* kLinkProperty = "Sonderik.Link";

// The subclass that reports a push button's presses.
constexpr UINT_PTR kPressSubclass = 1;

int HighWord(WPARAM value) { return static_cast<int>((value >> 16) & 0xFFFFu); }
int SignedLowWord(LPARAM value) { return static_cast<short>(static_cast<std::uintptr_t>(value) & 0xFFFFu); }
int SignedHighWord(LPARAM value) { return static_cast<short>((static_cast<std::uintptr_t>(value) >> 16) & 0xFFFFu); }
LPARAM PackedLParam(int x, int y) { return static_cast<LPARAM>(PackPosition(x, y)); }

LPCSTR ResourceId(int id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

// The window's text as the system gives it in the program's code page.
std::string ReadText(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

// A button's kind, the low bits of its style.
constexpr DWORD kButtonTypeMask = 0x0F;

}  // namespace

ui::WindowLink* ui::win::LinkOf(HWND control)
{
    return control != nullptr ? static_cast<WindowLink*>(GetPropA(control, kLinkProperty)) : nullptr;
}

HWND ui::win::CreateControl(DWORD exStyle, const char* windowClass, const std::string& text, DWORD style,
                            const RECT& rect, CDialog* parent, int id)
{
    HWND dialog = parent != nullptr ? HwndOf(*parent) : nullptr;
    if (dialog == nullptr) {
        return nullptr;
    }
    HWND control = CreateWindowExA(exStyle, windowClass, text.c_str(), style | WS_CHILD | WS_VISIBLE, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                   nullptr);
    if (control == nullptr) {
        return nullptr;
    }
    SendMessageA(control, WM_SETFONT, static_cast<WPARAM>(SendMessageA(dialog, WM_GETFONT, 0, 0)), FALSE);
    // The tab order is the order of the siblings: the newest goes last.
    ::SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return control;
}

HWND ui::win::CreateControl(const char* windowClass, const std::string& text, DWORD style, const RECT& rect,
                            CDialog* parent, int id)
{
    return CreateControl(0, windowClass, text, style, rect, parent, id);
}

// --- CWnd

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    // The window may outlive the object (it is the dialog's): it must not
    // lead to what this object kept.
    if (link_ && link_->window != nullptr && IsWindow(link_->window) != FALSE &&
        GetPropA(link_->window, kLinkProperty) == link_.get()) {
        RemovePropA(link_->window, kLinkProperty);
    }
}

void CWnd::Bind(HUIWND window, int id, DWORD style, std::string_view text)
{
    HWND hwnd = ui::win::HwndOf(window);
    if (!link_) {
        link_ = std::make_unique<ui::WindowLink>();
    }
    if (HWND old = link_->window; old != nullptr && old != hwnd && IsWindow(old) != FALSE &&
                                  GetPropA(old, kLinkProperty) == link_.get()) {
        RemovePropA(old, kLinkProperty);
    }
    link_->window = hwnd;
    id_ = id;
    style_ = style;
    bytes_ = text;
    if (hwnd != nullptr) {
        SetPropA(hwnd, kLinkProperty, link_.get());
        link_->drawn = ReadText(hwnd);
    }
}

HUIWND CWnd::GetSafeHwnd() const { return link_ ? ui::win::HandleOf(link_->window) : nullptr; }

void CWnd::EnableWindow(bool enable)
{
    if (HWND window = ui::win::HwndOf(*this)) {
        ::EnableWindow(window, enable ? TRUE : FALSE);
    }
}

bool CWnd::IsWindowEnabled() const
{
    HWND window = ui::win::HwndOf(*this);
    return window != nullptr && ::IsWindowEnabled(window) != FALSE;
}

void CWnd::MoveWindow(const RECT& rect)
{
    if (HWND window = ui::win::HwndOf(*this)) {
        ::MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    }
}

RECT CWnd::GetWindowRect() const
{
    HWND window = ui::win::HwndOf(*this);
    RECT place{};
    if (window == nullptr || ::GetWindowRect(window, &place) == FALSE) {
        return RECT{};
    }
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool CWnd::IsWindowVisible() const
{
    HWND window = ui::win::HwndOf(*this);
    return window != nullptr && ::IsWindowVisible(window) != FALSE;
}

void CWnd::ShowWindow(int show)
{
    if (HWND window = ui::win::HwndOf(*this)) {
        ::ShowWindow(window, show);
    }
}

void CWnd::SetFocus()
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return;
    }
    // Through the dialog manager, which moves the default button's frame too.
    if (HWND parent = GetParent(window); ui::win::DialogOf(parent) != nullptr) {
        SendMessageA(parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
    } else {
        ::SetFocus(window);
    }
}

bool CWnd::HasFocus() const
{
    HWND window = ui::win::HwndOf(*this);
    HWND focused = GetFocus();
    return window != nullptr && focused != nullptr && (focused == window || IsChild(window, focused) != FALSE);
}

void CWnd::SetToolTipText(const std::string& text)
{
    HWND window = ui::win::HwndOf(*this);
    HWND parent = window != nullptr ? GetParent(window) : nullptr;
    HWND tips = ui::win::ToolTipsOf(parent);
    if (tips == nullptr) {
        return;
    }
    // The size of the tool record that every version of the tips takes.
    constexpr UINT kToolInfoSize = offsetof(TTTOOLINFOA, lParam) + sizeof(LPARAM);
    std::string shown = text;
    TTTOOLINFOA tool{};
    tool.cbSize = kToolInfoSize;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.lpszText = shown.data();
    SendMessageA(tips, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty()) {
        SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CWnd::SetWindowText(const std::string& text)
{
    if (HWND window = ui::win::HwndOf(*this)) {
        bytes_ = text;
        ::SetWindowTextA(window, text.c_str());
        link_->drawn = ReadText(window);
    }
}

std::string CWnd::GetWindowText() const
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return {};
    }
    std::string shown = ReadText(window);
    return shown == link_->drawn ? bytes_ : shown;
}

// --- CButton

void CButton::Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id)
{
    HWND window = ui::win::CreateControl("BUTTON", text, style, rect, parent, id);
    if (window == nullptr) {
        return;
    }
    Bind(ui::win::HandleOf(window), id, style, text);
    link_->notify = [this](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        if (message != WM_COMMAND || HighWord(wParam) != BN_CLICKED || !onClicked) {
            return false;
        }
        onClicked();
        return true;
    };
}

int CButton::GetCheck() const
{
    HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? static_cast<int>(SendMessageA(window, BM_GETCHECK, 0, 0)) : BST_UNCHECKED;
}

void CButton::SetCheck(int state)
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return;
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    if (state == BST_INDETERMINATE && (style & kButtonTypeMask) == BS_AUTOCHECKBOX) {
        // A box of two states shows the third only as one of three.
        SendMessageA(window, BM_SETSTYLE, (style & ~kButtonTypeMask) | BS_AUTO3STATE, TRUE);
    }
    SendMessageA(window, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

// --- CPushButton

namespace {

void PostToParent(HWND button, UINT message, LPARAM at)
{
    HWND parent = GetParent(button);
    if (parent != nullptr) {
        ::PostMessageA(parent, message, static_cast<WPARAM>(GetDlgCtrlID(button)),
                       PackedLParam(SignedLowWord(at), SignedHighWord(at)));
    }
}

// Posts before the button's own handling, so the parent sees the press
// after the current event; the button then draws itself and captures the
// pointer as it always does. A double-click's second press draws the button
// pressed without a report; its release is reported.
LRESULT CALLBACK PressReportingButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                      DWORD_PTR /*data*/)
{
    switch (message) {
    case WM_LBUTTONDOWN:
        PostToParent(window, kButtonPressMessage, lParam);
        break;
    case WM_LBUTTONUP:
        PostToParent(window, kButtonReleaseMessage, lParam);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, &PressReportingButton, subclass);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void CPushButton::Create(const std::string& text, DWORD style, const RECT& rect, CDialog* parent, int id)
{
    CButton::Create(text, style, rect, parent, id);
    if (HWND window = ui::win::HwndOf(*this)) {
        SetWindowSubclass(window, &PressReportingButton, kPressSubclass, 0);
    }
}

// --- CStatic

void CStatic::Create(const std::string& text, const RECT& rect, CDialog* parent, int id)
{
    // The bytes are shown as they are: '&' marks no letter. A label of one
    // line ends in an ellipsis when its text does not fit; a taller one wraps.
    DWORD style = SS_NOPREFIX;
    const int lineHeight = parent != nullptr ? parent->Units().y : 0;
    if (rect.bottom - rect.top < 2 * lineHeight) {
        style |= SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS;
    } else {
        style |= SS_LEFT;
    }
    HWND window = ui::win::CreateControl("STATIC", text, style, rect, parent, id);
    if (window != nullptr) {
        Bind(ui::win::HandleOf(window), id, 0, text);
    }
}

void CStatic::SetIcon(int iconId)
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return;
    }
    // Shared: the system keeps the program's icons for as long as it runs.
    auto* icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), ResourceId(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    if (icon == nullptr) {
        return;
    }
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>((style & ~static_cast<DWORD>(SS_TYPEMASK | SS_ELLIPSISMASK)) | SS_ICON));
    SendMessageA(window, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

// --- CEdit

void CEdit::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    // A field never refuses typing for want of room: it scrolls.
    HWND window = ui::win::CreateControl(WS_EX_CLIENTEDGE, "EDIT", "", style | ES_AUTOHSCROLL, rect, parent, id);
    if (window != nullptr) {
        Bind(ui::win::HandleOf(window), id, style);
    }
}

void CEdit::SetCueBanner(const std::string& hint)
{
    // The system takes the hint only as UTF-16.
    const HWND window = ui::win::HwndOf(*this);
    const int length = MultiByteToWideChar(CP_UTF8, 0, hint.c_str(), -1, nullptr, 0);
    if (window == nullptr || length <= 0) {
        return;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, hint.c_str(), -1, wide.data(), length);
    SendMessageA(window, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

// --- CComboBox

void CComboBox::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    // The given height includes the dropped-down part; the system sizes the closed box.
    HWND window = ui::win::CreateControl("COMBOBOX", "", style | CBS_DROPDOWNLIST, rect, parent, id);
    if (window == nullptr) {
        return;
    }
    Bind(ui::win::HandleOf(window), id, style);
    link_->lines.clear();
    link_->notify = [this](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        if (message != WM_COMMAND) {
            return false;
        }
        switch (HighWord(wParam)) {
        case CBN_DROPDOWN:
            if (onDropDown) {
                onDropDown();
            }
            return true;
        case CBN_CLOSEUP:
            if (onCloseUp) {
                onCloseUp();
            }
            return true;
        default:
            return false;
        }
    };
}

int CComboBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CComboBox::InsertString(int index, const std::string& text)
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return -1;
    }
    const int count = GetCount();
    const bool last = index < 0 || index >= count;
    // A new line never selects itself, in the system's list as here.
    const auto at = SendMessageA(window, CB_INSERTSTRING, last ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) {
        return -1;
    }
    std::vector<std::string>& lines = link_->lines;
    lines.insert(lines.begin() + std::min(static_cast<std::ptrdiff_t>(at), static_cast<std::ptrdiff_t>(lines.size())),
                 text);
    return static_cast<int>(at);
}

void CComboBox::ResetContent()
{
    if (HWND window = ui::win::HwndOf(*this)) {
        SendMessageA(window, CB_RESETCONTENT, 0, 0);
        link_->lines.clear();
    }
}

int CComboBox::GetCount() const
{
    HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? static_cast<int>(SendMessageA(window, CB_GETCOUNT, 0, 0)) : 0;
}

int CComboBox::GetCurSel() const
{
    HWND window = ui::win::HwndOf(*this);
    return window != nullptr ? static_cast<int>(SendMessageA(window, CB_GETCURSEL, 0, 0)) : -1;
}

int CComboBox::SetCurSel(int index)
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return -1;
    }
    if (index < 0 || index >= GetCount()) {
        SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return -1;
    }
    SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return index;
}

std::string CComboBox::GetLBText(int index) const
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || index < 0 || index >= GetCount()) {
        return {};
    }
    const std::vector<std::string>& lines = link_->lines;
    if (lines.size() == static_cast<std::size_t>(GetCount())) {
        return lines[static_cast<std::size_t>(index)];
    }
    // Lines the object did not add: as the system gives them.
    const auto length = SendMessageA(window, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto got =
        SendMessageA(window, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
    return text;
}

void CComboBox::ShowDropDown(bool show)
{
    if (HWND window = ui::win::HwndOf(*this)) {
        SendMessageA(window, CB_SHOWDROPDOWN, show ? TRUE : FALSE, 0);
    }
}

// --- CSpinButtonCtrl

void CSpinButtonCtrl::Create(DWORD style, const RECT& rect, CDialog* parent, int id, CEdit& buddy)
{
    buddy_ = &buddy;
    // The buddy is set by name, never guessed from the order of the
    // siblings: a wrong guess would shrink another control to make room.
    HWND window = ui::win::CreateControl(UPDOWN_CLASSA, "", style & ~static_cast<DWORD>(UDS_AUTOBUDDY), rect, parent, id);
    if (window == nullptr) {
        return;
    }
    Bind(ui::win::HandleOf(window), id, style);
    if (HWND edit = ui::win::HwndOf(buddy)) {
        SendMessageA(window, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    }
    SetRange32(lower_, upper_);
    link_->notify = [this](UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
        const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
        if (message != WM_NOTIFY || change->hdr.code != UDN_DELTAPOS || !onDeltaPos) {
            return false;
        }
        // Non-zero refuses the move.
        result = onDeltaPos(change->iPos, change->iDelta) ? 0 : 1;
        return true;
    };
}

void CSpinButtonCtrl::SetRange32(int lower, int upper)
{
    lower_ = lower;
    upper_ = upper;
    if (HWND window = ui::win::HwndOf(*this)) {
        SendMessageA(window, UDM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    }
}

void CSpinButtonCtrl::GetRange32(int& lower, int& upper) const
{
    lower = lower_;
    upper = upper_;
    if (HWND window = ui::win::HwndOf(*this)) {
        SendMessageA(window, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
    }
}

int CSpinButtonCtrl::GetPos32() const
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return pos_;
    }
    // The buddy's number when it holds one, else the control's own position.
    BOOL failed = FALSE;
    return static_cast<int>(SendMessageA(window, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
}

void CSpinButtonCtrl::SetPos32(int pos)
{
    int lower = 0;
    int upper = 0;
    GetRange32(lower, upper);
    pos_ = std::clamp(pos, std::min(lower, upper), std::max(lower, upper));
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return;
    }
    SendMessageA(window, UDM_SETPOS32, 0, static_cast<LPARAM>(pos_));
    if ((style_ & UDS_SETBUDDYINT) == 0 && buddy_ != nullptr) {
        buddy_->SetWindowText(std::to_string(pos_));
    }
}

void CSpinButtonCtrl::Step(int delta)
{
    HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || !IsWindowEnabled() || delta == 0) {
        return;
    }
    // A click on the arrow, as the mouse makes it: the control reports the
    // move (UDN_DELTAPOS), then moves unless refused.
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    constexpr int kQuarters = 4;
    const bool up = delta > 0;
    const bool across = (style_ & UDS_HORZ) != 0;
    const int x = across ? (up ? width * 3 / kQuarters : width / kQuarters) : width / 2;
    const int y = across ? height / 2 : (up ? height / kQuarters : height * 3 / kQuarters);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, PackedLParam(x, y));
    SendMessageA(window, WM_LBUTTONUP, 0, PackedLParam(x, y));
}
