#include "platform/ui/ListBox.h"

#include <algorithm>

#include <commctrl.h>

#include "platform/ui/WinAccess.h"

namespace {

// Our subclass of a list's window.
constexpr UINT_PTR kListSubclass = 1;
// Present on a list window whose lines we keep in sorted order; any value but null.
constexpr const char* kSortedProperty = "Sonderik.SortedLines";
const HANDLE kPresent = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1));
// The point of a WM_CONTEXTMENU that comes from the keyboard, not the mouse.
constexpr LPARAM kKeyboardMenu = -1;
constexpr auto kMultipleSelection = static_cast<DWORD>(LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
constexpr auto kSorted = static_cast<DWORD>(LBS_SORT);
constexpr auto kVisible = static_cast<DWORD>(WS_VISIBLE);

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendMessageA(window, message, wParam, lParam);
}

WPARAM IndexParam(int index) { return static_cast<WPARAM>(index); }

int Result(LRESULT result) { return static_cast<int>(result); }

LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR /*data*/)
{
    switch (message) {
    case WM_CONTEXTMENU:
        // The list's own menu goes to the object holding the window now, before the dialog
        // would take it for its background.
        if (ui::WindowLink* link = ui::win::LinkOf(window); link != nullptr && link->notify) {
            LRESULT result = 0;
            bool handled = false;
            // A copy: the handler may make the list anew and so replace this one.
            const auto notify = link->notify;
            // The handler runs inside the system's code, which an exception must not cross.
            const bool ran = ui::win::Guarded("the list's context menu",
                                              [&] { handled = notify(message, wParam, lParam, result); });
            if (handled || !ran) {
                return result;
            }
        }
        break;
    case WM_NCDESTROY:
        ::RemovePropA(window, kSortedProperty);
        ::RemoveWindowSubclass(window, ListProc, id);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// Whether the window places its lines itself in sorted order: the system's
// sort is not ours, so a sorted list is made without it and we place the
// lines. The object's style may already name the next window's style.
bool KeepsSorted(HWND window)
{
    return ::GetPropA(window, kSortedProperty) != nullptr;
}

bool HasMultipleSelection(HWND window)
{
    return (static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)) & kMultipleSelection) != 0;
}

POINT PointOf(LPARAM lParam)
{
    // Screen points left of or above the primary monitor are negative: keep the sign of each half.
    const auto bits = static_cast<DWORD>(lParam);
    return POINT{static_cast<short>(LOWORD(bits)), static_cast<short>(HIWORD(bits))};
}

// A right click (or the menu key) on the list: the line under the pointer
// becomes the selected one, then the object's handler has the menu.
bool ShowContextMenu(CListBox& list, HWND window, LPARAM lParam)
{
    if (!list.onContextMenu) {
        return false;
    }
    POINT screen{};
    if (lParam == kKeyboardMenu) {
        // From the keyboard: at the line with the focus, or the list's corner.
        RECT line{};
        const int caret = Result(Send(window, LB_GETCARETINDEX));
        if (caret >= 0 && Send(window, LB_GETITEMRECT, IndexParam(caret), reinterpret_cast<LPARAM>(&line)) != LB_ERR) {
            screen = POINT{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
        }
        ::ClientToScreen(window, &screen);
    } else {
        screen = PointOf(lParam);
        POINT client = screen;
        ::ScreenToClient(window, &client);
        RECT area{};
        ::GetClientRect(window, &area);
        const auto packed = static_cast<LPARAM>(MAKELONG(static_cast<WORD>(client.x), static_cast<WORD>(client.y)));
        const auto hit = static_cast<DWORD>(Send(window, LB_ITEMFROMPOINT, 0, packed));
        // The high word is set when the point is below the last line, not on one.
        if (::PtInRect(&area, client) != FALSE && HIWORD(hit) == 0) {
            list.SetCurSel(LOWORD(hit));
        }
    }
    list.onContextMenu(screen);
    return true;
}

}  // namespace

bool CListBox::Create(DWORD style, const RECT& rect, CDialog* parent, int id)
{
    if (parent == nullptr) {
        return false;
    }
    const HWND window = ui::win::CreateControl(WS_EX_CLIENTEDGE, "LISTBOX", {}, style & ~kSorted, rect, parent, id);
    if (window == nullptr) {
        return false;
    }
    ::SetWindowSubclass(window, ListProc, kListSubclass, 0);
    if ((style & kSorted) != 0) {
        ::SetPropA(window, kSortedProperty, kPresent);
    }
    Bind(ui::win::HandleOf(window), id, style);
    link_->lines.clear();
    Connect();
    return true;
}

bool CListBox::CreateInPlaceOf(const CListBox& other, DWORD style)
{
    const HWND old = ui::win::HwndOf(other);
    const HWND parent = old != nullptr ? ::GetParent(old) : nullptr;
    CDialog* host = parent != nullptr ? ui::win::DialogOf(parent) : nullptr;
    if (host == nullptr) {
        return false;
    }
    // The new list stands in for the other: its lines keep the other's order.
    less_ = other.less_;
    RECT place{};
    ::GetWindowRect(old, &place);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    if (!Create(style & ~kVisible, place, host, other.GetDlgCtrlID())) {
        return false;
    }
    const HWND made = ui::win::HwndOf(*this);
    ::ShowWindow(made, SW_HIDE);
    Send(made, WM_SETFONT, static_cast<WPARAM>(Send(old, WM_GETFONT)), FALSE);
    // Right after the old window in the z order is right after it in the tab order too.
    ::SetWindowPos(made, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

void CListBox::Connect()
{
    if (!link_) {
        return;
    }
    link_->notify = [this](UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        if (message == WM_CONTEXTMENU) {
            result = 0;
            return ShowContextMenu(*this, ui::win::HwndOf(*this), lParam);
        }
        if (message != WM_COMMAND) {
            return false;
        }
        // The system sends both only with LBS_NOTIFY, and LBN_SELCHANGE only for the user's own changes.
        switch (HIWORD(wParam)) {
        case LBN_SELCHANGE:
            if (!quiet_ && onSelChange) {
                onSelChange();
            }
            result = 0;
            return true;
        case LBN_DBLCLK:
            if (onDblClk) {
                onDblClk();
            }
            result = 0;
            return true;
        default:
            return false;
        }
    };
}

void CListBox::Disconnect()
{
    if (link_) {
        link_->notify = nullptr;
    }
}

void CListBox::Attach(CListBox& from)
{
    const HWND window = ui::win::HwndOf(from);
    const int id = from.id_;
    const DWORD style = from.style_;
    std::vector<std::string> lines = from.link_ ? std::move(from.link_->lines) : std::vector<std::string>{};
    from.Disconnect();
    from.link_.reset();
    if (window == nullptr) {
        return;
    }
    Disconnect();
    Bind(ui::win::HandleOf(window), id, style);
    link_->lines = std::move(lines);
    less_ = from.less_;
    Connect();
}

void CListBox::DestroyWindow()
{
    Disconnect();
    if (const HWND window = ui::win::HwndOf(*this)) {
        ::DestroyWindow(window);
    }
    link_.reset();
}

void CListBox::ModifyStyle(DWORD remove, DWORD add)
{
    // The window keeps the style it was made with; the object reports the new one.
    style_ = (style_ & ~remove) | add;
}

void CListBox::SetSortOrder(ui::NameOrder less) { less_ = less; }

int CListBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CListBox::InsertString(int index, const std::string& text)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return LB_ERR;
    }
    std::vector<std::string>& lines = link_->lines;
    const int count = static_cast<int>(lines.size());
    if (KeepsSorted(window)) {
        // After the lines that compare equal: equal lines stay in arrival order.
        const ui::NameOrder less = less_;
        const auto at =
            std::upper_bound(lines.begin(), lines.end(), text, [less](const std::string& t, const std::string& line) {
                return less != nullptr ? less(t, line) : ui::CompareNoCase(t, line) < 0;
            });
        index = static_cast<int>(at - lines.begin());
    } else if (index < 0 || index > count) {
        index = count;
    }
    const int at = Result(Send(window, LB_INSERTSTRING, IndexParam(index), reinterpret_cast<LPARAM>(text.c_str())));
    if (at >= 0) {
        lines.insert(lines.begin() + at, text);
    }
    return at;
}

void CListBox::ResetContent()
{
    if (const HWND window = ui::win::HwndOf(*this)) {
        Send(window, LB_RESETCONTENT);
        link_->lines.clear();
    }
}

int CListBox::GetCount() const
{
    const HWND window = ui::win::HwndOf(*this);
    return window == nullptr ? LB_ERR : Result(Send(window, LB_GETCOUNT));
}

int CListBox::GetText(int index, std::string& text) const
{
    // The bytes as they were given: the system's copy went through its code page.
    if (!link_ || index < 0 || index >= static_cast<int>(link_->lines.size())) {
        return LB_ERR;
    }
    text = link_->lines[static_cast<std::size_t>(index)];
    return static_cast<int>(text.size());
}

int CListBox::GetCurSel() const
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return LB_ERR;
    }
    if (!HasMultipleSelection(window)) {
        return Result(Send(window, LB_GETCURSEL));
    }
    // Of a list of many selected lines: the one with the focus, when it is selected.
    const int caret = Result(Send(window, LB_GETCARETINDEX));
    return caret >= 0 && Send(window, LB_GETSEL, IndexParam(caret)) > 0 ? caret : LB_ERR;
}

int CListBox::SetCurSel(int index)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return LB_ERR;
    }
    const bool valid = index >= 0 && index < GetCount();
    if (!HasMultipleSelection(window)) {
        // An index past the end leaves no line selected, as -1 does.
        Send(window, LB_SETCURSEL, IndexParam(valid ? index : -1));
        return valid ? index : LB_ERR;
    }
    // LB_SETCURSEL does nothing to a list of many selected lines: this line becomes the only one.
    Send(window, LB_SETSEL, FALSE, -1);
    if (!valid) {
        return LB_ERR;
    }
    Send(window, LB_SETSEL, TRUE, index);
    Send(window, LB_SETCARETINDEX, IndexParam(index), FALSE);
    return index;
}

int CListBox::GetSel(int index) const
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    return Send(window, LB_GETSEL, IndexParam(index)) > 0 ? 1 : 0;
}

int CListBox::SetSel(int index, bool select)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || index < 0 || index >= GetCount()) {
        return LB_ERR;
    }
    if (HasMultipleSelection(window)) {
        // The system moves the focus to the line; the current line stays what it was.
        const LRESULT caret = Send(window, LB_GETCARETINDEX);
        const LRESULT done = Send(window, LB_SETSEL, select ? TRUE : FALSE, index);
        if (caret >= 0) {
            Send(window, LB_SETCARETINDEX, static_cast<WPARAM>(caret), FALSE);
        }
        return done == LB_ERR ? LB_ERR : 0;
    }
    // LB_SETSEL refuses a list of one selected line: it is that line's selection.
    if (select) {
        Send(window, LB_SETCURSEL, IndexParam(index));
    } else if (Result(Send(window, LB_GETCURSEL)) == index) {
        Send(window, LB_SETCURSEL, IndexParam(-1));
    }
    return 0;
}

std::uintptr_t CListBox::GetItemData(int index) const
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return static_cast<std::uintptr_t>(LB_ERR);
    }
    return static_cast<std::uintptr_t>(Send(window, LB_GETITEMDATA, IndexParam(index)));
}

int CListBox::SetItemData(int index, std::uintptr_t data)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr ||
        Send(window, LB_SETITEMDATA, IndexParam(index), static_cast<LPARAM>(data)) == LB_ERR) {
        return LB_ERR;
    }
    return 0;
}

int CListBox::FindStringExact(int startAfter, const std::string& text) const
{
    // Our own comparison, not the system's: names are bytes, letter case folded for A to Z only.
    if (!link_) {
        return LB_ERR;
    }
    const std::vector<std::string>& lines = link_->lines;
    const int count = static_cast<int>(lines.size());
    for (int step = 1; step <= count; ++step) {
        const int i = ((startAfter < 0 ? -1 : startAfter) + step) % count;
        if (ui::EqualNoCase(lines[static_cast<std::size_t>(i)], text)) {
            return i;
        }
    }
    return LB_ERR;
}

bool CListBox::SetTabStops(const std::vector<int>& dialogUnits)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr || (static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE)) & LBS_USETABSTOPS) == 0) {
        return false;
    }
    return Send(window, LB_SETTABSTOPS, dialogUnits.size(), reinterpret_cast<LPARAM>(dialogUnits.data())) != FALSE;
}

void CListBox::SetRedraw(bool redraw)
{
    const HWND window = ui::win::HwndOf(*this);
    if (window == nullptr) {
        return;
    }
    Send(window, WM_SETREDRAW, redraw ? TRUE : FALSE);
    if (redraw) {
        // Turning drawing back on draws nothing by itself.
        ::InvalidateRect(window, nullptr, TRUE);
    }
}
