// The driver over Windows's own controls: the messages the mouse and the
// keyboard make, sent to the real control windows. Keys go the way a
// message loop takes them (the dialog first, then the system's keyboard
// navigation), but at once instead of through the queue, so that an action
// is handled before the call returns, as on the other system.
#include "tests/support/UiDriver.h"

#include <windows.h>

#include <commctrl.h>

#include "platform/ui/WinAccess.h"

namespace uitest {
namespace {

using Clock = std::chrono::steady_clock;

// How long a wait sleeps at most before it looks again, for what changes
// without a message (a job's thread, the instrument).
constexpr DWORD kLookAgainMs = 2;
// Keys as the keyboard reports them: pressed once, then released.
constexpr LPARAM kKeyUpBits = static_cast<LPARAM>(0xC0000000u);

LPARAM At(int x, int y)
{
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
}

LPARAM Middle(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return At((client.left + client.right) / 2, (client.top + client.bottom) / 2);
}

// Input reaches neither a disabled window nor one under a disabled dialog.
bool TakesInput(HWND window)
{
    if (window == nullptr || IsWindowEnabled(window) == FALSE) {
        return false;
    }
    HWND root = GetAncestor(window, GA_ROOT);
    return root == nullptr || IsWindowEnabled(root) != FALSE;
}

void GiveFocus(HWND window)
{
    // Through the dialog manager, as Tab and a click move it, so that a
    // push button becomes the default one.
    if (HWND parent = GetParent(window); parent != nullptr && ui::win::DialogOf(parent) != nullptr) {
        SendMessageA(parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
    } else {
        SetFocus(window);
    }
}

// A message as a message loop hands it on once it has taken it from the queue.
void Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    GetCursorPos(&msg.pt);
    if (!ui::win::PreTranslateMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

WORD VirtualKey(Key key)
{
    switch (key) {
    case Key::Enter:
        return VK_RETURN;
    case Key::Escape:
        return VK_ESCAPE;
    case Key::Up:
        return VK_UP;
    case Key::Down:
        return VK_DOWN;
    case Key::Tab:
    case Key::BackTab:
        return VK_TAB;
    case Key::Space:
        return VK_SPACE;
    case Key::F1:
        return VK_F1;
    }
    return 0;
}

// Shift held for as long as this lives, as the thread's keyboard state says.
class ShiftHeld {
public:
    explicit ShiftHeld(bool hold) : hold_(hold)
    {
        if (hold_ && GetKeyboardState(keys_) != FALSE) {
            saved_ = keys_[VK_SHIFT];
            keys_[VK_SHIFT] = static_cast<BYTE>(keys_[VK_SHIFT] | 0x80u);
            SetKeyboardState(keys_);
        }
    }
    ~ShiftHeld()
    {
        if (hold_) {
            keys_[VK_SHIFT] = saved_;
            SetKeyboardState(keys_);
        }
    }
    ShiftHeld(const ShiftHeld&) = delete;
    ShiftHeld& operator=(const ShiftHeld&) = delete;

private:
    bool hold_;
    BYTE keys_[256] = {};
    BYTE saved_ = 0;
};

void Stroke(HWND window, Key key)
{
    const WORD virtualKey = VirtualKey(key);
    const ShiftHeld shift(key == Key::BackTab);
    const auto scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    Deliver(window, WM_KEYDOWN, virtualKey, scan | 1);
    // The focus may have moved: the key comes up where it now is.
    HWND focused = GetFocus();
    Deliver(focused != nullptr ? focused : window, WM_KEYUP, virtualKey, scan | kKeyUpBits | 1);
}

// The middle of the list's line, the line scrolled into view first; false
// when the list has no such line.
bool LineMiddle(HWND list, int line, LPARAM& at)
{
    RECT item{};
    const auto index = static_cast<WPARAM>(line);
    if (line < 0 || SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        return false;
    }
    RECT client{};
    GetClientRect(list, &client);
    if (item.top < client.top || item.bottom > client.bottom) {
        SendMessageA(list, LB_SETTOPINDEX, index, 0);
        SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    }
    at = At((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    return true;
}

}  // namespace

void Pump()
{
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
            return;
        }
        if (!ui::win::PreTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound)
{
    const auto until = Clock::now() + bound;
    for (;;) {
        Pump();
        if (done()) {
            return true;
        }
        if (Clock::now() >= until) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, kLookAgainMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void Click(const CWnd& window)
{
    Press(window);
    Release(window);
}

void Press(const CWnd& window)
{
    HWND hwnd = ui::win::HwndOf(window);
    if (TakesInput(hwnd)) {
        SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Middle(hwnd));
    }
}

void Release(const CWnd& window)
{
    HWND hwnd = ui::win::HwndOf(window);
    if (hwnd != nullptr) {
        SendMessageA(hwnd, WM_LBUTTONUP, 0, Middle(hwnd));
    }
}

void ClickLine(const CListBox& list, int line)
{
    HWND hwnd = ui::win::HwndOf(list);
    LPARAM at = 0;
    if (TakesInput(hwnd) && LineMiddle(hwnd, line, at)) {
        SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(hwnd, WM_LBUTTONUP, 0, at);
    }
}

void DoubleClickLine(const CListBox& list, int line)
{
    HWND hwnd = ui::win::HwndOf(list);
    LPARAM at = 0;
    if (TakesInput(hwnd) && LineMiddle(hwnd, line, at)) {
        SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(hwnd, WM_LBUTTONUP, 0, at);
        SendMessageA(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageA(hwnd, WM_LBUTTONUP, 0, at);
    }
}

void ClickArrow(const CSpinButtonCtrl& spin, int direction)
{
    HWND hwnd = ui::win::HwndOf(spin);
    if (!TakesInput(hwnd)) {
        return;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const bool across = (GetWindowLongPtrA(hwnd, GWL_STYLE) & UDS_HORZ) != 0;
    const bool up = direction > 0;
    const LPARAM at = across ? At(up ? width * 3 / 4 : width / 4, height / 2) : At(width / 2, up ? height / 4 : height * 3 / 4);
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, at);
}

void CloseUp(const CComboBox& box)
{
    HWND hwnd = ui::win::HwndOf(box);
    if (TakesInput(hwnd)) {
        SendMessageA(hwnd, CB_SHOWDROPDOWN, TRUE, 0);
        SendMessageA(hwnd, CB_SHOWDROPDOWN, FALSE, 0);
    }
}

void PressKey(const CWnd& target, Key key)
{
    HWND hwnd = ui::win::HwndOf(target);
    if (TakesInput(hwnd)) {
        GiveFocus(hwnd);
        Stroke(hwnd, key);
    }
}

void PressKey(const CDialog& dialog, Key key)
{
    HWND window = ui::win::HwndOf(dialog);
    HWND focused = GetFocus();
    const bool inside = focused != nullptr && (focused == window || IsChild(window, focused) != FALSE);
    if (TakesInput(window)) {
        Stroke(inside ? focused : window, key);
    }
}

void TypeText(const CWnd& target, const std::string& text)
{
    HWND hwnd = ui::win::HwndOf(target);
    if (!TakesInput(hwnd)) {
        return;
    }
    GiveFocus(hwnd);
    for (const char letter : text) {
        Deliver(hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(letter)), 1);
    }
}

void CloseBox(const CDialog& dialog)
{
    HWND window = ui::win::HwndOf(dialog);
    if (window != nullptr) {
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

bool Activate(const CDialog& dialog)
{
    HWND window = ui::win::HwndOf(dialog);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    Pump();
    return GetActiveWindow() == window;
}

bool IsTopMost(const CDialog& dialog)
{
    return (GetWindowLongPtrA(ui::win::HwndOf(dialog), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

std::uintptr_t NativeWindow(const CDialog& dialog) { return reinterpret_cast<std::uintptr_t>(ui::win::HwndOf(dialog)); }

}  // namespace uitest
