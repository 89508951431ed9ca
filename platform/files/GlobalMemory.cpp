// GlobalAlloc and GlobalFree: plain heap blocks, each known until freed, so
// that freeing a block twice, or something that is not one, fails instead of
// corrupting the heap.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/files/WinFiles.h"

namespace {

struct Blocks {
    std::mutex lock;
    std::set<void*> live;
};

std::atomic<SIZE_T> allocLimit{SIZE_MAX};

Blocks& TheBlocks()
{
    static Blocks blocks;
    return blocks;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if ((flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bytes > allocLimit.load()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T size = bytes == 0 ? 1 : bytes;
    void* block = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Blocks& blocks = TheBlocks();
    const std::lock_guard<std::mutex> hold(blocks.lock);
    blocks.live.insert(block);
    return block;
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    if (memory == nullptr) {
        return nullptr;
    }
    Blocks& blocks = TheBlocks();
    {
        const std::lock_guard<std::mutex> hold(blocks.lock);
        if (blocks.live.erase(memory) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
    }
    std::free(memory);
    return nullptr;
}

namespace platform {

void LimitGlobalAlloc(SIZE_T bytes)
{
    allocLimit.store(bytes);
}

}  // namespace platform
