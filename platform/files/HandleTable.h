#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/handles.h"

namespace platform::files {

// The live objects behind one kind of handle. A handle is the object's
// address, so it never equals another live object's handle of any kind; a
// closed or made-up handle is simply not found. An object found stays alive
// while its user holds it, even when another thread closes the handle.
template <typename Object>
class HandleTable {
public:
    HANDLE Add(std::shared_ptr<Object> object)
    {
        const HANDLE handle = reinterpret_cast<HANDLE>(object.get());
        const std::lock_guard<std::mutex> hold(lock_);
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<Object> Find(HANDLE handle)
    {
        const std::lock_guard<std::mutex> hold(lock_);
        auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : found->second;
    }

    std::shared_ptr<Object> Remove(HANDLE handle)
    {
        const std::lock_guard<std::mutex> hold(lock_);
        auto found = objects_.find(handle);
        if (found == objects_.end()) {
            return nullptr;
        }
        std::shared_ptr<Object> object = std::move(found->second);
        objects_.erase(found);
        return object;
    }

private:
    std::mutex lock_;
    std::map<HANDLE, std::shared_ptr<Object>> objects_;
};

}  // namespace platform::files
