#include "platform/threads/Window.h"

LRESULT SendMessageA(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (window == nullptr || message != EM_REPLACESEL) {
        return 0;
    }
    const auto* text = reinterpret_cast<const char*>(lParam);
    window->ReplaceSelection(text != nullptr ? text : "");
    return 0;
}

TextField::TextField(Handler onText, std::chrono::milliseconds handOverBound)
    : onText_(std::move(onText)), handOverBound_(handOverBound), owner_(std::this_thread::get_id())
{
}

TextField::~TextField() { Close(); }

void TextField::ReplaceSelection(const std::string& text)
{
    std::unique_lock lock(mutex_);
    if (closed_) {
        text_ += text;
        return;
    }
    if (std::this_thread::get_id() == owner_) {
        // Waiting here for our own pump would never end.
        text_ += text;
        if (onText_) {
            lock.unlock();
            onText_(text);
        }
        return;
    }
    Pending item{text};
    pending_.push_back(&item);
    arrived_.notify_all();
    // The owner either handles the text or closes; both release this wait.
    AwaitHandOver(lock, handled_, pending_, item, handOverBound_);
}

int TextField::Pump(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [&] { return !pending_.empty(); });
    }
    return TakeWaiting();
}

void LatestText::ReplaceSelection(const std::string& text) { Keep(text); }

ForwardingText::ForwardingText(std::function<void(const std::string&)> handler) : handler_(std::move(handler)) {}

ForwardingText::~ForwardingText() = default;

void ForwardingText::ReplaceSelection(const std::string& text) { handler_(text); }
