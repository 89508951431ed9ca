#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/threads/Window.h"
#include "platform/ui/Controls.h"

// A hidden edit field that is a job's Window. A text sent from another
// thread is handed to the field's own thread through its messages, and the
// sender waits until the field has taken it and run its update handler
// (EN_UPDATE), or until the field is closed: a blocking queued call that the
// field's thread never has to wait for. A text sent from the field's own
// thread is taken at once. The gathered text is kept short, so the end
// signal works however many jobs run.
class CDoneEdit : public CEdit, public Window {
public:
    static constexpr std::size_t kKeep = 64;

    // `handOverBound`: how long a sender waits for the field's thread (kHandOverBound).
    explicit CDoneEdit(std::chrono::milliseconds handOverBound = kHandOverBound);
    ~CDoneEdit() override;

    void Create(const RECT& rect, CDialog* parent, int id);
    void ReplaceSelection(const std::string& text) override;
    // The field stops taking texts: waiting senders are released, later ones return at once.
    void Close();
    std::string Text() const;
    // How many senders on other threads are waiting for the field to take their text.
    std::size_t WaitingSenders() const;

    // EN_UPDATE: the field's text changed (on the field's thread).
    std::function<void()> onUpdate;

private:
    struct Pending {
        std::string text;
        bool handled = false;
    };
    void Drain();
    void Take(const std::string& text);

    // The field's window as senders on other threads reach it; set by
    // Create, read under the lock.
    HUIWND receiver_ = nullptr;
    const std::chrono::milliseconds handOverBound_;
    std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable handled_;
    std::deque<Pending*> pending_;
    std::string text_;
    std::size_t waiting_ = 0;
    bool closed_ = false;
#ifdef _WIN32
    // The window senders reach (Handle()) on a small thread of its own, and
    // the edit's side of the hand-over.
    struct Native;
    std::unique_ptr<Native> native_;
#endif
};

// A Window that passes what it is given to a handler on the receiver's
// thread, without making the sender wait: the status line takes a job's
// report this way, so a job that reports after its "Done" never waits for a
// dialog that is about to join it.
class PostedReport : public ForwardingText {
public:
    PostedReport(CDialog& receiver, std::function<void(const std::string&)> handler);
    ~PostedReport() override;
};
