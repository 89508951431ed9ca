#include "platform/ui/Dialog.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <shellapi.h>
#include <utility>

#include "platform/ui/WinAccess.h"

namespace {

// The property by which a dialog's window finds the object behind it.
constexpr const char* kDialogProperty = "Sonderik.Dialog";

// The frame every dialog has: a pop-up that can be resized (its template
// size is the smallest), in the template's font; ModifyStyle adds the title
// bar and its boxes.
constexpr DWORD kBaseStyle = WS_POPUP | DS_MODALFRAME | DS_SETFONT | WS_THICKFRAME;

// The low four bits of a system command are the system's own.
constexpr WPARAM kSystemCommandMask = 0xFFF0;

// A keyboard context menu (Shift+F10) has no point: -1, -1.
constexpr int kNoPoint = -1;

// The resource id a system call takes for an integer id.
LPCSTR ResourceId(int id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

int LowWord(std::uintptr_t value) { return static_cast<int>(value & 0xFFFFu); }
int HighWord(std::uintptr_t value) { return static_cast<int>((value >> 16) & 0xFFFFu); }
int SignedLowWord(LPARAM value) { return static_cast<short>(static_cast<std::uintptr_t>(value) & 0xFFFFu); }
int SignedHighWord(LPARAM value) { return static_cast<short>((static_cast<std::uintptr_t>(value) >> 16) & 0xFFFFu); }

// The message that runs the next call PostCall queued. Registered, so that
// it is no number a dialog or the dialog manager could give its own.
UINT CallMessage()
{
    static const UINT message = RegisterWindowMessageA("Sonderik.PostedCall");
    return message;
}

// The tree, the up-down control and the tips live in the common controls
// library, which registers their classes only when asked; once is enough.
void ReadyCommonControls()
{
    static const bool ready = [] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS;
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    static_cast<void>(ready);
}

// An in-memory dialog template of no controls: the controls are made by the
// control objects. The size is in dialog units of the font.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, SIZE size, const std::string& typeface, int pointSize)
    {
        Double(style);
        Double(0);  // extended style
        Word(0);    // no controls
        Word(0);    // x, y: the dialog is placed when it is first shown
        Word(0);
        Word(static_cast<WORD>(size.cx));
        Word(static_cast<WORD>(size.cy));
        Word(0);  // no menu
        Word(0);  // the dialog class
        Word(0);  // no title: it is set in the program's own bytes afterwards
        Word(static_cast<WORD>(pointSize));
        Wide(typeface);
    }

    LPCDLGTEMPLATEA Get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(words_.data()); }

private:
    void Word(WORD word) { words_.push_back(word); }
    void Double(DWORD value)
    {
        Word(static_cast<WORD>(value & 0xFFFFu));
        Word(static_cast<WORD>(value >> 16));
    }
    void Wide(const std::string& text)
    {
        const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
        std::vector<wchar_t> wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
        if (length > 0) {
            MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
        }
        for (const wchar_t letter : wide) {
            Word(static_cast<WORD>(letter));
        }
    }

    // WORDs from the allocator, which aligns them as a template must be.
    std::vector<WORD> words_;
};

}  // namespace

void ui::win::ReportFault(const char* where, const char* what) noexcept
{
    std::fputs("sonderik: ", stderr);
    std::fputs(where, stderr);
    std::fputs(": ", stderr);
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
}

namespace ui {

// The dialog's system window and what the dialog has asked of it before it
// was made: the window is made when first needed, from the constructor of
// the dialog usually, so that the dialog's thread is the one that made it.
class DialogWindow {
public:
    DialogWindow(CDialog& owner, CDialog* parent) : owner_(owner), parent_(parent) {}

    HWND Ensure();
    void Destroy();
    void Forget() { ownerAlive_ = false; }

    // Makes the window's client area this size, in pixels.
    void SetClientSize(SIZE size) const;
    void CentreOnFirstShow();
    void RestoreOwner();
    void ApplyIcons();
    void Post(std::function<void()> call);
    void PostApp(UINT message, WPARAM wParam, LPARAM lParam);

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool PreTranslate(MSG& msg);

    CDialog& owner_;
    CDialog* const parent_;
    HWND hwnd_ = nullptr;

    // What the template and the frame will be, or are.
    DWORD style_ = kBaseStyle;
    std::string title_;
    std::string typeface_{kShellFont.typeface};
    int pointSize_ = kShellFont.pointSize;
    SIZE templateUnits_{};
    bool acceptFiles_ = false;
    int iconId_ = 0;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;

    bool initialized_ = false;
    bool ending_ = false;
    bool ended_ = false;
    bool modal_ = false;
    bool placed_ = false;
    bool waitCursor_ = false;
    HWND disabledOwner_ = nullptr;
    HWND tips_ = nullptr;  // owned by the dialog's window, destroyed with it

private:
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool Notify(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool Command(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool Key(const MSG& msg);
    bool ContextMenu(HWND target, LPARAM at);
    void DropFiles(HDROP drop);
    bool PaintIcon();
    void RunNextCall();
    void DropCalls();

    // False once the dialog's destructor runs: its handlers are gone.
    bool ownerAlive_ = true;

    // Posted calls, in the order posted, for the thread that owns the window;
    // PostCall comes from any thread.
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    HWND postTarget_ = nullptr;  // the window while it takes posts
    bool gone_ = false;          // the window has been destroyed
};

HWND DialogWindow::Ensure()
{
    if (hwnd_ != nullptr || gone_) {
        return hwnd_;
    }
    ReadyCommonControls();
    const DialogTemplate made(style_, templateUnits_, typeface_, pointSize_);
    HWND parent = parent_ != nullptr ? win::HwndOf(*parent_) : nullptr;
    // WM_INITDIALOG sets hwnd_; the dialog's own start-up runs later, in Create.
    if (CreateDialogIndirectParamA(GetModuleHandleA(nullptr), made.Get(), parent, &DialogWindow::Procedure,
                                   reinterpret_cast<LPARAM>(this)) == nullptr) {
        return nullptr;
    }
    RECT units{0, 0, 4, 8};
    ::MapDialogRect(hwnd_, &units);
    owner_.units_ = BaseUnits{units.right, units.bottom};
    ::SetWindowTextA(hwnd_, title_.c_str());
    ApplyIcons();
    ::DragAcceptFiles(hwnd_, acceptFiles_ ? TRUE : FALSE);
    const std::lock_guard lock(mutex_);
    postTarget_ = hwnd_;
    // Calls posted before there was a window run now, in their order.
    for (std::size_t queued = 0; queued < calls_.size(); ++queued) {
        ::PostMessageA(hwnd_, CallMessage(), 0, 0);
    }
    return hwnd_;
}

void DialogWindow::Destroy()
{
    RestoreOwner();
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
}

void DialogWindow::SetClientSize(SIZE size) const
{
    RECT frame{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::CentreOnFirstShow()
{
    if (placed_ || hwnd_ == nullptr) {
        return;
    }
    placed_ = true;
    // Over the owner when there is one, else on the work area it is on.
    RECT area{};
    HWND over = parent_ != nullptr ? win::HwndOf(*parent_) : nullptr;
    if (over != nullptr && ::IsWindowVisible(over)) {
        ::GetWindowRect(over, &area);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoA(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor) == FALSE) {
            return;
        }
        area = monitor.rcWork;
    }
    RECT own{};
    ::GetWindowRect(hwnd_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::RestoreOwner()
{
    // Before the dialog hides, so that the system activates the owner again.
    if (disabledOwner_ != nullptr) {
        EnableWindow(disabledOwner_, TRUE);
        disabledOwner_ = nullptr;
    }
}

void DialogWindow::ApplyIcons()
{
    if (hwnd_ == nullptr || iconId_ == 0) {
        return;
    }
    // Shared: the system keeps the program's icons for as long as it runs.
    HINSTANCE program = GetModuleHandleA(nullptr);
    bigIcon_ = static_cast<HICON>(LoadImageA(program, ResourceId(iconId_), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_SHARED));
    smallIcon_ = static_cast<HICON>(LoadImageA(program, ResourceId(iconId_), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void DialogWindow::Post(std::function<void()> call)
{
    const std::lock_guard lock(mutex_);
    if (gone_) {
        return;  // the window went first: the call is dropped
    }
    calls_.push_back(std::move(call));
    if (postTarget_ != nullptr && ::PostMessageA(postTarget_, CallMessage(), 0, 0) == FALSE) {
        // The thread's queue is full: this call cannot be run in its turn.
        calls_.pop_back();
        win::ReportFault("PostCall", "the dialog's message queue is full; the call is dropped");
    }
}

void DialogWindow::PostApp(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(mutex_);
    if (gone_) {
        return;
    }
    if (postTarget_ != nullptr) {
        lock.unlock();
        ::PostMessageA(postTarget_, message, wParam, lParam);
        return;
    }
    // No window yet: queued as a call, in its turn among the calls.
    calls_.push_back([this, message, wParam, lParam] { owner_.OnMessage(message, wParam, lParam); });
}

void DialogWindow::RunNextCall()
{
    std::function<void()> call;
    {
        const std::lock_guard lock(mutex_);
        if (calls_.empty()) {
            return;
        }
        call = std::move(calls_.front());
        calls_.pop_front();
    }
    win::Guarded("a posted call", call);
}

void DialogWindow::DropCalls()
{
    std::deque<std::function<void()>> dropped;
    {
        const std::lock_guard lock(mutex_);
        gone_ = true;
        postTarget_ = nullptr;
        dropped.swap(calls_);
    }
    // Destroyed here, unlocked: what they hold may itself post.
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetPropA(window, kDialogProperty, self);
        self->hwnd_ = window;
        return FALSE;  // hidden: no focus to give yet
    }
    auto* self = static_cast<DialogWindow*>(GetPropA(window, kDialogProperty));
    if (self == nullptr) {
        return FALSE;
    }
    LRESULT result = 0;
    if (!self->Handle(message, wParam, lParam, result)) {
        return FALSE;
    }
    switch (message) {
    // These answer through the procedure's result, not DWLP_MSGRESULT.
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

bool DialogWindow::Notify(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    WindowLink* link = control != nullptr ? win::LinkOf(control) : nullptr;
    if (link == nullptr || !link->notify) {
        return false;
    }
    bool handled = false;
    // A copy: the handler may re-create the control and so replace this one.
    const auto notify = link->notify;
    win::Guarded("a control's handler", [&] { handled = notify(message, wParam, lParam, result); });
    return handled;
}

bool DialogWindow::Command(WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (Notify(reinterpret_cast<HWND>(lParam), WM_COMMAND, wParam, lParam, result)) {
        return true;
    }
    // A command no control object took: the OK and cancel commands, from a
    // button of their id or from the dialog manager.
    constexpr int kAccelerator = 1;
    const int code = HighWord(wParam);
    if (code != BN_CLICKED && code != kAccelerator) {
        return false;
    }
    switch (LowWord(wParam)) {
    case IDOK:
        if (!ending_) {
            win::Guarded("OnOK", [this] { owner_.OnOK(); });
        }
        return true;
    case IDCANCEL:
        if (!ending_) {
            win::Guarded("OnCancel", [this] { owner_.OnCancel(); });
        }
        return true;
    default:
        return false;
    }
}

bool DialogWindow::ContextMenu(HWND target, LPARAM at)
{
    // A control that takes the focus has a menu of its own, or none; labels
    // and group frames let the click through to the dialog.
    if (target != hwnd_) {
        const auto code = SendMessageA(target, WM_GETDLGCODE, 0, 0);
        if ((code & DLGC_STATIC) == 0) {
            return false;
        }
    }
    POINT screen{SignedLowWord(at), SignedHighWord(at)};
    if (screen.x == kNoPoint && screen.y == kNoPoint) {
        screen = POINT{0, 0};
        ClientToScreen(hwnd_, &screen);
    }
    bool taken = false;
    win::Guarded("OnContextMenu", [&] { taken = owner_.OnContextMenu(screen); });
    return taken;
}

void DialogWindow::DropFiles(HDROP drop)
{
    std::vector<std::string> paths;
    constexpr UINT kCount = 0xFFFFFFFF;
    const UINT count = DragQueryFileA(drop, kCount, nullptr, 0);
    for (UINT index = 0; index < count; ++index) {
        const UINT length = DragQueryFileA(drop, index, nullptr, 0);
        std::string path(length + 1, '\0');
        path.resize(DragQueryFileA(drop, index, path.data(), length + 1));
        paths.push_back(std::move(path));
    }
    DragFinish(drop);
    win::Guarded("OnDropFiles", [&] { owner_.OnDropFiles(paths); });
}

bool DialogWindow::PaintIcon()
{
    if (IsIconic(hwnd_) == FALSE || bigIcon_ == nullptr) {
        return false;
    }
    PAINTSTRUCT paint{};
    HDC context = BeginPaint(hwnd_, &paint);
    SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(context, x, y, bigIcon_);
    EndPaint(hwnd_, &paint);
    return true;
}

bool DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_DESTROY) {
        DropCalls();
        return false;
    }
    if (message == WM_NCDESTROY) {
        RemovePropA(hwnd_, kDialogProperty);
        hwnd_ = nullptr;
        tips_ = nullptr;
        return false;
    }
    if (!ownerAlive_) {
        return false;
    }
    if (message == CallMessage()) {
        RunNextCall();
        return true;
    }
    switch (message) {
    case WM_COMMAND:
        return Command(wParam, lParam, result);
    case WM_NOTIFY:
        return Notify(reinterpret_cast<const NMHDR*>(lParam)->hwndFrom, message, wParam, lParam, result);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return Notify(reinterpret_cast<HWND>(lParam), message, wParam, lParam, result);
    case WM_DRAWITEM:
        return Notify(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem, message, wParam, lParam, result);
    case WM_COMPAREITEM:
        return Notify(reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem, message, wParam, lParam, result);
    case WM_DELETEITEM:
        return Notify(reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem, message, wParam, lParam, result);
    case WM_MEASUREITEM:
        return Notify(GetDlgItem(hwnd_, static_cast<int>(wParam)), message, wParam, lParam, result);
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            const int width = LowWord(static_cast<std::uintptr_t>(lParam));
            const int height = HighWord(static_cast<std::uintptr_t>(lParam));
            win::Guarded("OnSize", [&] { owner_.OnSize(width, height); });
        }
        return true;
    case WM_GETMINMAXINFO: {
        const SIZE smallest = owner_.templateSize_;
        if (smallest.cx <= 0 || smallest.cy <= 0) {
            return false;
        }
        RECT frame{0, 0, smallest.cx, smallest.cy};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)));
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = POINT{frame.right - frame.left, frame.bottom - frame.top};
        return true;
    }
    case WM_CONTEXTMENU:
        return ContextMenu(reinterpret_cast<HWND>(wParam), lParam);
    case WM_DROPFILES:
        DropFiles(reinterpret_cast<HDROP>(wParam));
        return true;
    case WM_SYSCOMMAND: {
        bool taken = false;
        win::Guarded("OnSysCommand",
                     [&] { taken = owner_.OnSysCommand(static_cast<UINT>(wParam & kSystemCommandMask)); });
        return taken;
    }
    case WM_PAINT:
        return PaintIcon();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(bigIcon_);
        return bigIcon_ != nullptr;
    case WM_SETCURSOR:
        if (!waitCursor_) {
            return false;
        }
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        result = TRUE;
        return true;
    case WM_CLOSE:
        // The close box is the cancel command; the dialog ends through EndDialog.
        if (!ending_) {
            win::Guarded("OnCancel", [this] { owner_.OnCancel(); });
        }
        return true;
    default:
        break;
    }
    constexpr UINT kFirstRegistered = 0xC000;
    if (message >= WM_APP && message < kFirstRegistered) {
        bool taken = false;
        win::Guarded("OnMessage", [&] { taken = owner_.OnMessage(message, wParam, lParam); });
        return taken;
    }
    return false;
}

bool DialogWindow::Key(const MSG& msg)
{
    switch (msg.wParam) {
    case VK_F1: {
        bool taken = false;
        win::Guarded("OnHelpInfo", [&] { taken = owner_.OnHelpInfo(); });
        return taken;
    }
    case VK_RETURN:
    case VK_ESCAPE:
        break;
    default:
        return false;
    }
    const auto held = [](int key) { return GetKeyState(key) < 0; };
    if (held(VK_CONTROL) || held(VK_MENU) || held(VK_SHIFT)) {
        return false;
    }
    // An open drop-down list takes Enter and Escape to close itself.
    const auto code = SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if ((code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0) {
        return false;
    }
    if (msg.wParam == VK_ESCAPE) {
        if (!ending_) {
            win::Guarded("OnCancel", [this] { owner_.OnCancel(); });
        }
        return true;
    }
    // A focused push button is the default one while it has the focus:
    // Enter presses it, as a click does (and without its mouse messages).
    if (msg.hwnd != hwnd_ && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
        if (IsWindowEnabled(msg.hwnd) != FALSE) {
            const auto id = static_cast<std::uintptr_t>(GetDlgCtrlID(msg.hwnd)) & 0xFFFFu;
            SendMessageA(hwnd_, WM_COMMAND, static_cast<WPARAM>(id | (std::uintptr_t{BN_CLICKED} << 16)),
                         reinterpret_cast<LPARAM>(msg.hwnd));
        }
        return true;
    }
    if (!ending_) {
        win::Guarded("OnOK", [this] { owner_.OnOK(); });
    }
    return true;
}

bool DialogWindow::PreTranslate(MSG& msg)
{
    if (msg.hwnd == nullptr) {
        return false;
    }
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    auto* self = root != nullptr ? static_cast<DialogWindow*>(GetPropA(root, kDialogProperty)) : nullptr;
    if (self == nullptr || !self->ownerAlive_) {
        return false;
    }
    if (msg.message == WM_KEYDOWN && self->Key(msg)) {
        return true;
    }
    return IsDialogMessageA(root, &msg) != FALSE;
}

}  // namespace ui

bool ui::win::PreTranslateMessage(MSG& msg) { return ui::DialogWindow::PreTranslate(msg); }

CDialog* ui::win::DialogOf(HWND window)
{
    auto* dialog = window != nullptr ? static_cast<ui::DialogWindow*>(GetPropA(window, kDialogProperty)) : nullptr;
    return dialog != nullptr ? &dialog->owner_ : nullptr;
}

HWND ui::win::ToolTipsOf(HWND dialog)
{
    auto* window = dialog != nullptr ? static_cast<ui::DialogWindow*>(GetPropA(dialog, kDialogProperty)) : nullptr;
    if (window == nullptr) {
        return nullptr;
    }
    if (window->tips_ == nullptr) {
        window->tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
        // A long tip wraps rather than running across the screen.
        constexpr LPARAM kTipWidth = 400;
        if (window->tips_ != nullptr) {
            SendMessageA(window->tips_, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
        }
    }
    return window->tips_;
}

CDialog::CDialog(CDialog* parent) : window_(std::make_unique<ui::DialogWindow>(*this, parent)), templateSize_{} {}

CDialog::~CDialog()
{
    // The derived dialog is gone already: nothing the window still says may reach it.
    window_->Forget();
    window_->Destroy();
}

HUIWND CDialog::GetSafeHwnd() const { return ui::win::HandleOf(window_->Ensure()); }

void CDialog::SetTemplate(const ui::TemplateFont& font, int width, int height)
{
    // The font is the template's: it counts only for a window not made yet.
    window_->typeface_ = std::string(font.typeface);
    window_->pointSize_ = font.pointSize;
    window_->templateUnits_ = SIZE{width, height};
    if (window_->Ensure() == nullptr) {
        return;
    }
    const RECT size = ui::MapDialogRect(units_, 0, 0, width, height);
    templateSize_ = SIZE{size.right - size.left, size.bottom - size.top};
    window_->SetClientSize(templateSize_);
}

bool CDialog::SetWindowPos(ZOrder insertAfter, int x, int y, int width, int height, UINT flags)
{
    HWND window = window_->Ensure();
    if (window == nullptr) {
        return false;
    }
    if ((flags & SWP_NOMOVE) == 0) {
        window_->placed_ = true;
    }
    // The size is the client area's, as GetWindowRect gives it.
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    HWND after = insertAfter == ZOrder::TopMost ? HWND_TOPMOST : HWND_NOTOPMOST;
    if (::SetWindowPos(window, after, x, y, frame.right - frame.left, frame.bottom - frame.top,
                       flags | SWP_NOACTIVATE) == FALSE) {
        return false;
    }
    const bool lifted = (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (insertAfter != ZOrder::TopMost || (flags & SWP_NOZORDER) != 0 || lifted) {
        return true;
    }
    // Some systems (wine) will not lift a window that owns others (its tips,
    // its drop-down lists) to the top-most level: they are let go for the
    // move and taken back after it.
    struct Owned {
        HWND owner;
        std::vector<HWND> windows;
    } owned{window, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM found) {
            auto& list = *reinterpret_cast<Owned*>(found);
            if (GetWindow(candidate, GW_OWNER) == list.owner) {
                list.windows.push_back(candidate);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&owned));
    for (HWND child : owned.windows) {
        SetWindowLongPtrA(child, GWLP_HWNDPARENT, 0);
    }
    const BOOL moved = ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (HWND child : owned.windows) {
        SetWindowLongPtrA(child, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(window));
    }
    return moved != FALSE;
}

RECT CDialog::DialogRect(int x, int y, int width, int height) const
{
    if (units_.x == 0) {
        window_->Ensure();  // the units are the window's font's
    }
    return ui::MapDialogRect(units_, x, y, width, height);
}

bool CDialog::Create()
{
    HWND window = window_->Ensure();
    if (window == nullptr) {
        return false;
    }
    if (!window_->initialized_) {
        window_->initialized_ = true;
        if (!OnInitDialog()) {
            return false;
        }
    }
    if (window_->ended_ || window_->hwnd_ == nullptr) {
        return true;  // ended in its start-up
    }
    window_->CentreOnFirstShow();
    ShowWindow(window, SW_SHOW);
    return true;
}

int CDialog::DoModal()
{
    if (!Create()) {
        return -1;
    }
    ui::DialogWindow& state = *window_;
    if (!state.ended_ && state.parent_ != nullptr) {
        HWND owner = ui::win::HwndOf(*state.parent_);
        if (owner != nullptr && IsWindowEnabled(owner) != FALSE) {
            EnableWindow(owner, FALSE);
            state.disabledOwner_ = owner;
        }
    }
    state.modal_ = true;
    MSG msg{};
    while (!state.ended_ && state.hwnd_ != nullptr) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // The program is asked to end: the dialog ends as cancelled, and
            // the request is left for the loop outside.
            EndDialog(IDCANCEL);
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!ui::win::PreTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    state.modal_ = false;
    state.Destroy();
    return result_;
}

void CDialog::EndDialog(int result)
{
    ui::DialogWindow& state = *window_;
    if (state.ending_) {
        return;
    }
    state.ending_ = true;
    result_ = result;
    DestroyWindow();
    state.ended_ = true;
    if (!state.modal_) {
        state.Destroy();
        return;
    }
    // The modal loop destroys the window once the handler that ended it has
    // returned; it is woken in case it waits for a message while a sent one
    // (a job's text) is handled.
    state.RestoreOwner();
    if (state.hwnd_ != nullptr) {
        ShowWindow(state.hwnd_, SW_HIDE);
        ::PostMessageA(state.hwnd_, WM_NULL, 0, 0);
    }
}

void CDialog::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) { window_->PostApp(message, wParam, lParam); }

void CDialog::PostCall(std::function<void()> call) { window_->Post(std::move(call)); }

bool CDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

void CDialog::BeginWaitCursor()
{
    window_->waitCursor_ = true;
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
}

void CDialog::EndWaitCursor()
{
    window_->waitCursor_ = false;
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

void CDialog::SetWindowText(const std::string& text)
{
    window_->title_ = text;
    if (window_->hwnd_ != nullptr) {
        ::SetWindowTextA(window_->hwnd_, text.c_str());
    }
}

void CDialog::SetIcon(int iconId)
{
    window_->iconId_ = iconId;
    window_->ApplyIcons();
}

void CDialog::ModifyStyle(DWORD remove, DWORD add)
{
    DWORD& style = window_->style_;
    style = (style & ~remove) | add;
    if (HWND window = window_->hwnd_; window != nullptr) {
        SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>(style | (IsWindowVisible() ? WS_VISIBLE : 0)));
        ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                       SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (templateSize_.cx > 0) {
            window_->SetClientSize(templateSize_);  // a new frame keeps the client area
        }
    }
}

bool CDialog::AppendSystemMenu(UINT id, const std::string& text)
{
    HWND window = window_->Ensure();
    HMENU menu = window != nullptr ? GetSystemMenu(window, FALSE) : nullptr;
    if (menu == nullptr) {
        return false;
    }
    return AppendMenuA(menu, MF_SEPARATOR, 0, nullptr) != FALSE &&
           AppendMenuA(menu, MF_STRING, id, text.c_str()) != FALSE;
}

void CDialog::DragAcceptFiles(bool accept)
{
    window_->acceptFiles_ = accept;
    if (window_->hwnd_ != nullptr) {
        ::DragAcceptFiles(window_->hwnd_, accept ? TRUE : FALSE);
    }
}

RECT CDialog::GetWindowRect() const
{
    HWND window = window_->hwnd_;
    RECT frame{};
    RECT client{};
    if (window == nullptr || ::GetWindowRect(window, &frame) == FALSE || GetClientRect(window, &client) == FALSE) {
        return RECT{};
    }
    return RECT{frame.left, frame.top, frame.left + client.right, frame.top + client.bottom};
}

bool CDialog::IsWindowVisible() const
{
    return window_->hwnd_ != nullptr && ::IsWindowVisible(window_->hwnd_) != FALSE;
}
