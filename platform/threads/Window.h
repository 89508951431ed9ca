#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WinTypes.h"
#include "platform/handles.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT EM_REPLACESEL = 0x00C2;

// A text window that jobs report into by replacing its selection. Delivery is
// synchronous: the sender returns once the window's owner has handled the
// text on the owner's own thread.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Any thread. Returns when the owner has handled the text (or has gone).
    virtual void ReplaceSelection(const std::string& text) = 0;
};

// EM_REPLACESEL puts the text at `lParam` into the window; a null window is
// skipped. Other messages are not understood and return 0.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A window whose owner thread takes texts by pumping. Used as the hidden
// "done" field and the report field by the command line and the tests. The
// thread that makes it is its owner; a text sent from the owner's own thread
// is handled at once, as a window procedure is called directly then.
class TextField : public Window {
public:
    using Handler = std::function<void(const std::string&)>;

    explicit TextField(Handler onText = nullptr);
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

    Handler onText_;
    const std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable handled_;
    std::deque<Pending*> pending_;
    std::string text_;
    bool closed_ = false;
};

// A window that keeps only the last text sent to it, for news that may be
// dropped once newer news comes. The sender never waits, so a job that
// reports progress runs as fast with a watcher as without one.
class LatestText : public Window {
public:
    void ReplaceSelection(const std::string& text) override;

    // Any thread: the text sent since the last take, if any.
    bool Take(std::string& text);

private:
    std::mutex mutex_;
    std::string text_;
    bool fresh_ = false;
};
