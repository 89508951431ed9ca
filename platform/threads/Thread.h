#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/threads/Window.h"

#ifndef _WIN32  // on Windows MSG, PM_* and PeekMessageA are the system's own
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Looks at the calling thread's message queue for a message numbered
// `first` to `last` (both 0: any), optionally removing it. Never waits.
// A thread that no WorkerThread started has an empty queue.
BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
#endif

// How long a worker is waited for when its owner goes. A worker's own waits
// are all bounded, so one that has not ended by then is stuck for good.
inline constexpr std::chrono::milliseconds kEndBound = std::chrono::minutes(1);

// The exit status of a program ended because one of its threads would not
// end (EX_SOFTWARE).
inline constexpr int kStuckThreadExit = 70;

// A worker thread, created suspended: it starts running `proc(arg)` only when
// resumed. It owns a message queue that other threads post into and that the
// worker reads with PeekMessageA; what is posted before the worker runs is
// kept for it, in the order posted.
class WorkerThread {
public:
    using Proc = void (*)(void*);

    // What happens when the owner goes and the worker has not ended within
    // `bound`: a line naming the thread goes to standard error and to
    // `report`, and the program ends at once, as going on would leave the
    // thread using what its owner frees.
    struct Ending {
        std::string name = "worker";
        std::chrono::milliseconds bound = kEndBound;
        std::function<void(const std::string& line)> report;
    };

    WorkerThread(Proc proc, void* arg);
    WorkerThread(Proc proc, void* arg, Ending ending);
    // Joins a thread that was resumed, within its Ending's bound.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void Resume();
    // Posts a message into the worker's queue; false once the worker has finished.
    bool PostThreadMessageA(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // True from Resume until `proc` has returned.
    bool Running() const;
    // Waits at most `timeout` for `proc` to return; true when it has (then joined).
    bool Join(std::chrono::milliseconds timeout);

    struct Queue;

private:
    Proc proc_;
    void* arg_;
    Ending ending_;
    std::shared_ptr<Queue> queue_;
#ifndef _WIN32
    std::thread thread_;  // on Windows the queue holds the system's thread
#endif
};
