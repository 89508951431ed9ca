#include "platform/threads/Window.h"

Window::~Window() = default;

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
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return !pending_.empty(); });
    int count = 0;
    while (!pending_.empty()) {
        Pending* item = pending_.front();
        pending_.pop_front();
        text_ += item->text;
        if (onText_) {
            // The handler runs unlocked so that it may read Text() or the job's results.
            lock.unlock();
            onText_(item->text);
            lock.lock();
        }
        item->handled = true;
        ++count;
    }
    handled_.notify_all();
    return count;
}

void TextField::Close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Pending* item : pending_) {
        text_ += item->text;
        item->handled = true;
    }
    pending_.clear();
    handled_.notify_all();
}

std::string TextField::Text() const
{
    std::lock_guard lock(mutex_);
    return text_;
}

void LatestText::ReplaceSelection(const std::string& text)
{
    const std::lock_guard lock(mutex_);
    text_ = text;
    fresh_ = true;
}

bool LatestText::Take(std::string& text)
{
    const std::lock_guard lock(mutex_);
    if (!fresh_) {
        return false;
    }
    text = text_;
    fresh_ = false;
    return true;
}
