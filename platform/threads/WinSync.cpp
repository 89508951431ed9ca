#include "platform/threads/WinSync.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

struct KernelEvent {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
    bool manualReset = true;
};

namespace {

// The live events. A handle is only ever looked up here, so a stale one
// finds nothing rather than freed memory.
struct EventTable {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<KernelEvent>> events;
};

EventTable& Events()
{
    static EventTable table;
    return table;
}

std::shared_ptr<KernelEvent> Find(HANDLE handle)
{
    EventTable& table = Events();
    const std::lock_guard lock(table.mutex);
    const auto found = table.events.find(handle);
    return found == table.events.end() ? nullptr : found->second;
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (name != nullptr) {
        return nullptr;
    }
    auto event = std::make_shared<KernelEvent>();
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    EventTable& table = Events();
    const std::lock_guard lock(table.mutex);
    HANDLE handle = event.get();
    table.events.emplace(handle, std::move(event));
    return handle;
}

BOOL SetEvent(HANDLE handle)
{
    const auto event = Find(handle);
    if (!event) {
        return FALSE;
    }
    {
        const std::lock_guard lock(event->mutex);
        event->signalled = true;
    }
    event->changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    const auto event = Find(handle);
    if (!event) {
        return FALSE;
    }
    const std::lock_guard lock(event->mutex);
    event->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    const auto event = Find(handle);
    if (!event) {
        return WAIT_FAILED;
    }
    std::unique_lock lock(event->mutex);
    const auto isSet = [&] { return event->signalled; };
    if (milliseconds == INFINITE) {
        event->changed.wait(lock, isSet);
    } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) {
        event->signalled = false;
    }
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle)
{
    EventTable& table = Events();
    const std::lock_guard lock(table.mutex);
    return table.events.erase(handle) == 1 ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
