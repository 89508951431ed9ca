// GlobalAlloc and GlobalFree: plain heap blocks, each known until freed, so
// that freeing a block twice, or something that is not one, fails instead of
// corrupting the heap.

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

// No object may be larger. The heap would refuse such a block too, but a
// sanitizer's heap stops the program instead.
constexpr SIZE_T kLargestBlock = PTRDIFF_MAX;

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
    if (bytes > kLargestBlock) {
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
