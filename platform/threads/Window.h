#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WinTypes.h"
#include "platform/handles.h"

#ifndef _WIN32  // on Windows these are the system's own
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT EM_REPLACESEL = 0x00C2;
#endif

// A text window that jobs report into by replacing its selection. Delivery is
// synchronous: the sender returns once the window's owner has handled the
// text on the owner's own thread.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Any thread. Returns when the owner has handled the text (or has gone,
    // or a bound has passed without the owner taking it).
    virtual void ReplaceSelection(const std::string& text) = 0;

    // What a job is given to send its texts to (EM_REPLACESEL).
#ifdef _WIN32
    HWND Handle() const { return handle_; }

protected:
    HWND handle_ = nullptr;  // the system's window that takes the texts
#else
    HWND Handle() { return this; }
#endif
};

// How long a sender waits at most for a window's owner to take its text. A
// job's last text ("Done") waits for the dialog's handler, which may itself
// wait on the user (a message box), so the bound is long; it exists so that
// an owner that neither pumps nor closes cannot hold a job's thread for
// ever. Every owner closes its fields before it waits for a job.
inline constexpr std::chrono::milliseconds kHandOverBound = std::chrono::minutes(10);

// The sender's side of a hand-over: waits under `lock` until the owner has
// handled `item` or `bound` has passed. An item the owner has not begun is
// taken back from `pending` then, so that nothing refers to it once the
// sender has returned; one the owner is handling is waited for, as the owner
// is at work on it. False when the text was taken back.
template <typename Item>
bool AwaitHandOver(std::unique_lock<std::mutex>& lock, std::condition_variable& handled, std::deque<Item*>& pending,
                   Item& item, std::chrono::milliseconds bound)
{
    if (handled.wait_for(lock, bound, [&] { return item.handled; })) {
        return true;
    }
    const auto queued = std::find(pending.begin(), pending.end(), &item);
    if (queued != pending.end()) {
        pending.erase(queued);
        return false;
    }
    handled.wait(lock, [&] { return item.handled; });  // taken: the owner's handler is running it
    return true;
}

#ifndef _WIN32  // on Windows it is the system's, delivering to a real window
// EM_REPLACESEL puts the text at `lParam` into the window; a null window is
// skipped. Other messages are not understood and return 0.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#endif

// A window whose owner thread takes texts by pumping. Used as the hidden
// "done" field and the report field by the command line and the tests. The
// thread that makes it is its owner; a text sent from the owner's own thread
// is handled at once, as a window procedure is called directly then.
class TextField : public Window {
public:
    using Handler = std::function<void(const std::string&)>;

    // `handOverBound`: how long a sender waits for the owner (kHandOverBound).
    explicit TextField(Handler onText = nullptr, std::chrono::milliseconds handOverBound = kHandOverBound);
    ~TextField() override;

    void ReplaceSelection(const std::string& text) override;

    // Owner's thread: handles every waiting text (appending it and calling
    // the handler), waiting at most `timeout` for the first. Returns how many.
    int Pump(std::chrono::milliseconds timeout);

    // Owner's thread: the owner stops taking texts. Waiting senders are
    // released and later texts are appended without a handler.
    void Close();

    std::string Text() const;

private:
    struct Pending {
        std::string text;
        bool handled = false;
    };

    // Owner's thread: handles the texts waiting; how many.
    int TakeWaiting();

    Handler onText_;
    const std::chrono::milliseconds handOverBound_;
    mutable std::mutex mutex_;
    std::condition_variable handled_;
    std::deque<Pending*> pending_;
    std::string text_;
    bool closed_ = false;
#ifdef _WIN32
    // Hands a text that reached the window over to the owner and waits.
    void Relay(const char* text);

    struct Native;
    std::unique_ptr<Native> native_;
    int taken_ = 0;  // texts handled so far, for Pump's count
#else
    const std::thread::id owner_;
    std::condition_variable arrived_;
#endif
};

// A window that keeps only the last text sent to it, for news that may be
// dropped once newer news comes. The sender never waits, so a job that
// reports progress runs as fast with a watcher as without one.
class LatestText : public Window {
public:
#ifdef _WIN32
    LatestText();
    ~LatestText() override;
#endif
    void ReplaceSelection(const std::string& text) override;

    // Any thread: the text sent since the last take, if any.
    bool Take(std::string& text);

private:
    void Keep(const std::string& text);

    std::mutex mutex_;
    std::string text_;
    bool fresh_ = false;
#ifdef _WIN32
    struct Native;
    std::unique_ptr<Native> native_;
#endif
};

// A window that hands each text to a handler at once, without a queue of its
// own: on Windows on a small thread of the window's, elsewhere on the
// sender's. The sender waits only for the handler, which must be short (it
// passes the text on to where it is wanted).
class ForwardingText : public Window {
public:
    explicit ForwardingText(std::function<void(const std::string&)> handler);
    ~ForwardingText() override;
    void ReplaceSelection(const std::string& text) override;

private:
    std::function<void(const std::string&)> handler_;
#ifdef _WIN32
    struct Native;
    std::unique_ptr<Native> native_;
#endif
};
