#include "platform/ui/DoneField.h"

#include <algorithm>
#include <future>

#include "platform/ui/WinAccess.h"

namespace {

constexpr const char* kRelayClass = "SonderikDoneFieldRelay";

// The subclass of the field's edit that takes word of waiting texts.
constexpr UINT_PTR kDoneSubclass = 1;

// How long making the relay's window on its thread may take; only a system
// in trouble takes that long, and the field then takes no texts.
constexpr std::chrono::milliseconds kRelayStartBound = std::chrono::seconds(10);

// Sent to the field's edit when a text waits for it. Registered, so that it
// is no number the edit class gives its own messages.
UINT WaitingMessage()
{
    static const UINT message = RegisterWindowMessageA("Sonderik.DoneFieldWaiting");
    return message;
}

using Relayed = std::function<void(const char* text)>;

LRESULT CALLBACK RelayProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == EM_REPLACESEL) {
        if (auto* relayed = reinterpret_cast<Relayed*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
            const auto* text = reinterpret_cast<const char*>(lParam);
            (*relayed)(text != nullptr ? text : "");
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// A job's text reaches a message-only window on a thread of its own, which
// hands it over to the field's thread and waits there, within the bound, so
// that no sender ever waits on a dialog that has stopped taking texts. The
// field's thread takes word of it both while it pumps and while it waits in
// a SendMessageA of its own, and then replaces the edit's selection itself,
// so that the edit's EN_UPDATE reaches the dialog as for any edit.
struct CDoneEdit::Native {
    explicit Native(CDoneEdit& owner) : field(owner), relayed([this](const char* text) { Relay(text); }) {}

    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;

    HWND Start();
    void Stop();
    void Relay(const char* text);

    static LRESULT CALLBACK Edit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                 DWORD_PTR data);

    CDoneEdit& field;
    Relayed relayed;
    std::thread thread;
    HWND relay = nullptr;
    DWORD relayThread = 0;
    HWND edit = nullptr;  // read under the field's lock by the relay
    // While the edit's text is cut to what is kept, its update means nothing.
    bool quiet = false;
    // A text is being put in: its update runs the handler once.
    bool expecting = false;
};

HWND CDoneEdit::Native::Start()
{
    struct Made {
        HWND window;
        DWORD threadId;
    };
    // Shared with the thread, which may outlive a start that took too long.
    auto made = std::make_shared<std::promise<Made>>();
    std::future<Made> window = made->get_future();
    thread = std::thread([this, made] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &RelayProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kRelayClass;
        RegisterClassExA(&windowClass);  // fails harmlessly when the class is there already
        HWND own = CreateWindowExA(0, kRelayClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                   &relayed);
        made->set_value(Made{own, GetCurrentThreadId()});
        if (own == nullptr) {
            return;
        }
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
        DestroyWindow(own);
    });
    if (window.wait_for(kRelayStartBound) != std::future_status::ready) {
        // Nobody learns of its window, so nothing reaches this object.
        thread.detach();
        return nullptr;
    }
    const Made got = window.get();
    relay = got.window;
    relayThread = got.threadId;
    return relay;
}

void CDoneEdit::Native::Stop()
{
    if (!thread.joinable()) {
        return;
    }
    if (relay != nullptr) {
        // A sender in the relay was released by Close: the thread ends at once.
        PostThreadMessageA(relayThread, WM_QUIT, 0, 0);
    }
    thread.join();
}

void CDoneEdit::Native::Relay(const char* text)
{
    std::unique_lock lock(field.mutex_);
    if (field.closed_ || edit == nullptr) {
        return;
    }
    Pending item{text};
    field.pending_.push_back(&item);
    if (SendNotifyMessageA(edit, WaitingMessage(), 0, 0) == FALSE) {
        field.pending_.pop_back();  // the edit is gone: nobody would take it
        return;
    }
    ++field.waiting_;
    AwaitHandOver(lock, field.handled_, field.pending_, item, field.handOverBound_);
    --field.waiting_;
}

LRESULT CALLBACK CDoneEdit::Native::Edit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                         DWORD_PTR data)
{
    auto* native = reinterpret_cast<Native*>(data);
    if (message == WaitingMessage()) {
        native->field.Drain();
        return 0;
    }
    if (message == WM_NCDESTROY) {
        {
            const std::lock_guard lock(native->field.mutex_);
            native->edit = nullptr;
        }
        RemoveWindowSubclass(window, &Native::Edit, subclass);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

CDoneEdit::CDoneEdit(std::chrono::milliseconds handOverBound)
    : handOverBound_(handOverBound), owner_(std::this_thread::get_id()), native_(std::make_unique<Native>(*this))
{
}

CDoneEdit::~CDoneEdit()
{
    Close();
    native_->Stop();
    HWND edit = nullptr;
    {
        const std::lock_guard lock(mutex_);
        edit = native_->edit;
        native_->edit = nullptr;
    }
    if (edit != nullptr && IsWindow(edit) != FALSE) {
        RemoveWindowSubclass(edit, &Native::Edit, kDoneSubclass);
    }
}

void CDoneEdit::Create(const RECT& rect, CDialog* parent, int id)
{
    CEdit::Create(ES_AUTOHSCROLL, rect, parent, id);
    HWND edit = ui::win::HwndOf(*this);
    if (edit == nullptr) {
        return;
    }
    ::ShowWindow(edit, SW_HIDE);
    link_->notify = [this](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        constexpr int kCodeShift = 16;
        if (message != WM_COMMAND || static_cast<int>((wParam >> kCodeShift) & 0xFFFFu) != EN_UPDATE) {
            return false;
        }
        Native& native = *native_;
        if (native.quiet || !native.expecting) {
            return true;
        }
        native.expecting = false;
        if (onUpdate) {
            onUpdate();
        }
        return true;
    };
    SetWindowSubclass(edit, &Native::Edit, kDoneSubclass, reinterpret_cast<DWORD_PTR>(native_.get()));
    {
        const std::lock_guard lock(mutex_);
        owner_ = std::this_thread::get_id();
        receiver_ = GetSafeHwnd();
        native_->edit = edit;
    }
    if (handle_ == nullptr) {
        handle_ = native_->Start();
    }
}

void CDoneEdit::Take(const std::string& text)
{
    std::string kept;
    {
        const std::lock_guard lock(mutex_);
        text_ += text;
        if (text_.size() > kKeep) {
            text_.erase(0, text_.size() - kKeep);
        }
        kept = text_;
    }
    Native& native = *native_;
    HWND edit = ui::win::HwndOf(*this);
    if (edit == nullptr) {
        return;
    }
    // The edit holds what is kept: what came before, put back quietly, then
    // the new text as a replaced selection, which the edit reports.
    const std::size_t fresh = std::min(text.size(), kept.size());
    native.quiet = true;
    ::SetWindowTextA(edit, kept.substr(0, kept.size() - fresh).c_str());
    native.quiet = false;
    const auto end = static_cast<WPARAM>(GetWindowTextLengthA(edit));
    SendMessageA(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    native.expecting = true;
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kept.c_str() + (kept.size() - fresh)));
    if (native.expecting) {
        // The edit reported no change (an empty text): the handler runs all the same.
        native.expecting = false;
        if (onUpdate) {
            onUpdate();
        }
    }
}

void CDoneEdit::ReplaceSelection(const std::string& text)
{
    {
        std::unique_lock lock(mutex_);
        if (closed_ || receiver_ == nullptr) {
            return;
        }
        if (std::this_thread::get_id() == owner_) {
            lock.unlock();
            Take(text);
            return;
        }
    }
    // From another thread the way a job sends it.
    SendMessageA(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void CDoneEdit::Drain()
{
    std::unique_lock lock(mutex_);
    while (!pending_.empty() && !closed_) {
        Pending* item = pending_.front();
        pending_.pop_front();
        lock.unlock();
        // Its sender is released whatever the handler does.
        ui::win::Guarded("the done field's handler", [&] { Take(item->text); });
        lock.lock();
        item->handled = true;
        handled_.notify_all();
    }
}
