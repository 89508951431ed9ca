#include "platform/threads/Thread.h"

#include <system_error>
#include <vector>

#include "platform/threads/WaitMilliseconds.h"

// The system's thread and its message queue. A thread has a queue only once
// it has called a message function, so what is posted before that is kept
// here and moved into the queue by the thread itself before it runs `proc`.
struct WorkerThread::Queue {
    Proc proc = nullptr;
    void* arg = nullptr;
    HANDLE thread = nullptr;
    DWORD id = 0;

    std::mutex mutex;
    std::vector<MSG> early;  // posted before the thread had its queue
    bool started = false;    // resumed
    bool ready = false;      // its queue exists and holds what came early
    bool finished = false;   // `proc` has returned
    bool abandoned = false;  // never resumed: the thread ends without running `proc`

    ~Queue();
};

namespace {

// How long a thread that was never resumed is waited for when its owner
// goes: it only returns, so this passes only on a system in trouble.
constexpr DWORD kAbandonBoundMs = 10000;

DWORD WINAPI Start(LPVOID parameter)
{
    auto* queue = static_cast<WorkerThread::Queue*>(parameter);
    {
        const std::lock_guard lock(queue->mutex);
        if (queue->abandoned) {
            return 0;
        }
    }
    MSG peeked;
    PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE);  // makes this thread's queue
    {
        const std::lock_guard lock(queue->mutex);
        for (const MSG& early : queue->early) {
            PostThreadMessageA(queue->id, early.message, early.wParam, early.lParam);
        }
        queue->early.clear();
        queue->ready = true;
    }
    queue->proc(queue->arg);
    const std::lock_guard lock(queue->mutex);
    queue->finished = true;
    return 0;
}

}  // namespace

WorkerThread::Queue::~Queue()
{
    if (thread == nullptr) {
        return;
    }
    bool resume = false;
    {
        const std::lock_guard lock(mutex);
        if (!started) {
            abandoned = true;
            resume = true;
        }
    }
    if (resume) {
        ResumeThread(thread);
        WaitForSingleObject(thread, kAbandonBoundMs);
    }
    CloseHandle(thread);
}

WorkerThread::WorkerThread(Proc proc, void* arg, Ending ending)
    : proc_(proc), arg_(arg), ending_(std::move(ending)), queue_(std::make_shared<Queue>())
{
    queue_->proc = proc_;
    queue_->arg = arg_;
    queue_->thread = CreateThread(nullptr, 0, &Start, queue_.get(), CREATE_SUSPENDED, &queue_->id);
    if (queue_->thread == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "cannot create a thread");
    }
}

void WorkerThread::Resume()
{
    {
        const std::lock_guard lock(queue_->mutex);
        if (queue_->started) {
            return;
        }
        queue_->started = true;
    }
    ResumeThread(queue_->thread);
}

bool WorkerThread::PostThreadMessageA(UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::lock_guard lock(queue_->mutex);
    if (queue_->finished) {
        return false;
    }
    if (!queue_->ready) {
        MSG early{};
        early.message = message;
        early.wParam = wParam;
        early.lParam = lParam;
        queue_->early.push_back(early);
        return true;
    }
    return ::PostThreadMessageA(queue_->id, message, wParam, lParam) != FALSE;
}

bool WorkerThread::Running() const
{
    const std::lock_guard lock(queue_->mutex);
    return queue_->started && !queue_->finished;
}

bool WorkerThread::Join(std::chrono::milliseconds timeout)
{
    {
        const std::lock_guard lock(queue_->mutex);
        if (!queue_->started) {
            return true;
        }
    }
    return WaitForSingleObject(queue_->thread, WaitMilliseconds(timeout)) == WAIT_OBJECT_0;
}
