#include "platform/threads/Thread.h"

struct WorkerThread::Queue {
    std::mutex mutex;
    std::condition_variable finishedSignal;
    std::deque<MSG> messages;
    bool started = false;
    bool finished = false;
};

namespace {

// The queue of the worker thread this code runs on, if any.
thread_local WorkerThread::Queue* currentQueue = nullptr;

bool InRange(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

}  // namespace

BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove)
{
    WorkerThread::Queue* queue = currentQueue;
    if (queue == nullptr) {
        return FALSE;
    }
    std::lock_guard lock(queue->mutex);
    for (auto it = queue->messages.begin(); it != queue->messages.end(); ++it) {
        if ((window == nullptr || it->hwnd == window) && InRange(it->message, first, last)) {
            if (msg != nullptr) {
                *msg = *it;
            }
            if ((remove & PM_REMOVE) != 0) {
                queue->messages.erase(it);
            }
            return TRUE;
        }
    }
    return FALSE;
}

WorkerThread::WorkerThread(Proc proc, void* arg, Ending ending)
    : proc_(proc), arg_(arg), ending_(std::move(ending)), queue_(std::make_shared<Queue>())
{
}

void WorkerThread::Resume()
{
    {
        std::lock_guard lock(queue_->mutex);
        if (queue_->started) {
            return;
        }
        queue_->started = true;
    }
    thread_ = std::thread([proc = proc_, arg = arg_, queue = queue_] {
        currentQueue = queue.get();
        proc(arg);
        currentQueue = nullptr;
        std::lock_guard lock(queue->mutex);
        queue->finished = true;
        queue->messages.clear();
        queue->finishedSignal.notify_all();
    });
}

bool WorkerThread::PostThreadMessageA(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard lock(queue_->mutex);
    if (queue_->finished) {
        return false;
    }
    queue_->messages.push_back(MSG{nullptr, message, wParam, lParam});
    return true;
}

bool WorkerThread::Running() const
{
    std::lock_guard lock(queue_->mutex);
    return queue_->started && !queue_->finished;
}

bool WorkerThread::Join(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(queue_->mutex);
        if (!queue_->finishedSignal.wait_for(lock, timeout, [&] { return queue_->finished || !queue_->started; })) {
            return false;
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    return true;
}
