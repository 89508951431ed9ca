#include "platform/ui/DoneField.h"

#include <QLineEdit>
#include <QMetaObject>

#include "platform/ui/QtAccess.h"

CDoneEdit::CDoneEdit(std::chrono::milliseconds handOverBound)
    : handOverBound_(handOverBound), owner_(std::this_thread::get_id())
{
}

CDoneEdit::~CDoneEdit() { Close(); }

void CDoneEdit::Create(const RECT& rect, CDialog* parent, int id)
{
    CEdit::Create(ES_AUTOHSCROLL, rect, parent, id);
    QWidget* widget = ui::qt::WidgetOf(*this);
    widget->hide();
    widget->setFocusPolicy(Qt::NoFocus);
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
    receiver_ = GetSafeHwnd();
}

void CDoneEdit::Take(const std::string& text)
{
    {
        std::lock_guard lock(mutex_);
        text_ += text;
        if (text_.size() > kKeep) {
            text_.erase(0, text_.size() - kKeep);
        }
    }
    if (auto* edit = qobject_cast<QLineEdit*>(ui::qt::WidgetOf(*this))) {
        edit->setText(QString::fromStdString(Text()));
    }
    if (onUpdate) {
        onUpdate();
    }
}

void CDoneEdit::ReplaceSelection(const std::string& text)
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
    Pending item{text};
    pending_.push_back(&item);
    // Queued to the field's window: dropped with it if the window goes first.
    QMetaObject::invokeMethod(ui::qt::WidgetOf(receiver_), [this] { Drain(); }, Qt::QueuedConnection);
    ++waiting_;
    AwaitHandOver(lock, handled_, pending_, item, handOverBound_);
    --waiting_;
}

void CDoneEdit::Drain()
{
    std::unique_lock lock(mutex_);
    while (!pending_.empty() && !closed_) {
        Pending* item = pending_.front();
        pending_.pop_front();
        lock.unlock();
        Take(item->text);
        lock.lock();
        item->handled = true;
        handled_.notify_all();
    }
}
