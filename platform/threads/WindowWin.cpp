#include "platform/threads/Window.h"

#include <future>

#include "platform/threads/WaitMilliseconds.h"

namespace {

// What a window of ours does with a message; it runs on the window's thread.
using Procedure = std::function<void(UINT message, LPARAM lParam)>;

constexpr const char* kWindowClass = "SonderikTextWindow";

// Sent to the owner's window when a text waits for it.
constexpr UINT kTextWaiting = WM_APP + 0x100;

// How long making a window on a thread of its own may take; only a system
// in trouble takes that long, and the window is then left without texts.
constexpr std::chrono::milliseconds kWindowStartBound = std::chrono::seconds(10);

LRESULT CALLBACK TextWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (auto* procedure = reinterpret_cast<Procedure*>(GetWindowLongPtrA(window, GWLP_USERDATA));
               procedure != nullptr && (message == EM_REPLACESEL || message == kTextWaiting)) {
        (*procedure)(message, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of the calling thread, whose texts go to `procedure`.
HWND MakeTextWindow(Procedure* procedure)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TextWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExA(&windowClass);  // fails harmlessly when the class is there already
    return CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                           procedure);
}

// Takes the texts that were waiting, sent ones included, and whatever else
// this thread's windows were sent or posted.
void DispatchWaiting()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // left for the loop that asked for it
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

const char* TextOf(LPARAM lParam)
{
    const auto* text = reinterpret_cast<const char*>(lParam);
    return text != nullptr ? text : "";
}

}  // namespace

// A message-only window on a small thread of its own that handles each text
// at once, whatever the window's maker does meanwhile.
class PumpedWindow {
public:
    explicit PumpedWindow(std::function<void(const char* text)> onText) : procedure_(std::move(onText))
    {
        // Shared with the thread, which may outlive a start that took too long.
        auto made = std::make_shared<std::promise<Made>>();
        std::future<Made> window = made->get_future();
        thread_ = std::thread([this, made] {
            Procedure procedure = [this](UINT message, LPARAM lParam) {
                if (message == EM_REPLACESEL) {
                    procedure_(TextOf(lParam));
                }
            };
            const HWND own = MakeTextWindow(&procedure);
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
        if (window.wait_for(kWindowStartBound) == std::future_status::ready) {
            const Made got = window.get();
            window_ = got.window;
            threadId_ = got.threadId;
        } else {
            // Nobody learns of its window, so nothing reaches this object.
            thread_.detach();
        }
    }

    ~PumpedWindow()
    {
        if (!thread_.joinable()) {
            return;
        }
        if (window_ != nullptr) {
            PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        }
        thread_.join();
    }

    PumpedWindow(const PumpedWindow&) = delete;
    PumpedWindow& operator=(const PumpedWindow&) = delete;

    HWND Handle() const { return window_; }

private:
    struct Made {
        HWND window;
        DWORD threadId;
    };

    std::function<void(const char* text)> procedure_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

// The public window takes a text on its own thread and hands it over to the
// owner, whose window (of the owner's thread) is sent word that a text
// waits. A word sent to a thread is taken both while it pumps and while it
// is itself waiting in SendMessageA, so a text the owner sends is handled on
// the owner's thread at once, as Windows handles a window's own messages.
struct TextField::Native {
    Procedure ownerProcedure;
    HWND ownerWindow = nullptr;
    std::unique_ptr<PumpedWindow> relay;
};

TextField::TextField(Handler onText, std::chrono::milliseconds handOverBound)
    : onText_(std::move(onText)), handOverBound_(handOverBound), native_(std::make_unique<Native>())
{
    native_->ownerProcedure = [this](UINT message, LPARAM) {
        if (message == kTextWaiting) {
            taken_ += TakeWaiting();
        }
    };
    native_->ownerWindow = MakeTextWindow(&native_->ownerProcedure);
    native_->relay = std::make_unique<PumpedWindow>([this](const char* text) { Relay(text); });
    handle_ = native_->relay->Handle();
}

TextField::~TextField()
{
    Close();
    native_->relay.reset();
    if (native_->ownerWindow != nullptr) {
        SetWindowLongPtrA(native_->ownerWindow, GWLP_USERDATA, 0);
        DestroyWindow(native_->ownerWindow);
    }
}

void TextField::ReplaceSelection(const std::string& text)
{
    SendMessageA(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TextField::Relay(const char* text)
{
    std::unique_lock lock(mutex_);
    if (closed_) {
        text_ += text;
        return;
    }
    Pending item{text};
    pending_.push_back(&item);
    SendNotifyMessageA(native_->ownerWindow, kTextWaiting, 0, 0);
    // The owner either handles the text or closes; both release this wait.
    AwaitHandOver(lock, handled_, pending_, item, handOverBound_);
}

int TextField::Pump(std::chrono::milliseconds timeout)
{
    const int before = taken_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        DispatchWaiting();
        taken_ += TakeWaiting();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (taken_ != before || left.count() <= 0) {
            return taken_ - before;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, WaitMilliseconds(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

struct LatestText::Native {
    std::unique_ptr<PumpedWindow> window;
};

LatestText::LatestText() : native_(std::make_unique<Native>())
{
    native_->window = std::make_unique<PumpedWindow>([this](const char* text) { Keep(text); });
    handle_ = native_->window->Handle();
}

LatestText::~LatestText() { native_->window.reset(); }

void LatestText::ReplaceSelection(const std::string& text)
{
    SendMessageA(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

struct ForwardingText::Native {
    std::unique_ptr<PumpedWindow> window;
};

ForwardingText::ForwardingText(std::function<void(const std::string&)> handler)
    : handler_(std::move(handler)), native_(std::make_unique<Native>())
{
    native_->window = std::make_unique<PumpedWindow>([this](const char* text) { handler_(text); });
    handle_ = native_->window->Handle();
}

// The window's thread ends before the handler it calls goes.
ForwardingText::~ForwardingText() { native_->window.reset(); }

void ForwardingText::ReplaceSelection(const std::string& text)
{
    SendMessageA(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
