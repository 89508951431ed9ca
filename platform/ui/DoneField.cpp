#include "platform/ui/DoneField.h"

PostedReport::PostedReport(CDialog& receiver, std::function<void(const std::string&)> handler)
    : ForwardingText([&receiver, handler = std::move(handler)](const std::string& text) {
          receiver.PostCall([handler, text] { handler(text); });
      })
{
}

PostedReport::~PostedReport() = default;

// What both backends' done fields do alike: closing releases every sender
// still waiting, and what was taken is read under the lock.
void CDoneEdit::Close()
{
    const std::lock_guard lock(mutex_);
    closed_ = true;
    for (Pending* item : pending_) {
        item->handled = true;
    }
    pending_.clear();
    handled_.notify_all();
}

std::string CDoneEdit::Text() const
{
    const std::lock_guard lock(mutex_);
    return text_;
}

std::size_t CDoneEdit::WaitingSenders() const
{
    const std::lock_guard lock(mutex_);
    return waiting_;
}
