#include "platform/threads/Window.h"

Window::~Window() = default;

int TextField::TakeWaiting()
{
    std::unique_lock lock(mutex_);
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

void LatestText::Keep(const std::string& text)
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
