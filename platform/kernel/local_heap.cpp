// The local heap, on the C heap. Every call is counted so that tests can prove a path
// allocates nothing.
#include <atomic>
#include <cstdlib>

#include "ce/host/heap_stats.h"
#include "ce/kernel.h"

namespace {

std::atomic<std::uint64_t> gAllocCount{0};
std::atomic<std::int64_t> gLiveBlocks{0};

// The local heap of a Windows CE process lives in a 32-bit address space; a larger request is
// a miscomputed size and fails as the platform's would.
constexpr std::size_t kLargestBlock = 0xFFFFFFFFu;

}  // namespace

namespace ce::host {

std::uint64_t LocalAllocCount() {
    return gAllocCount.load();
}

std::int64_t LiveLocalBlockCount() {
    return gLiveBlocks.load();
}

}  // namespace ce::host

extern "C" HLOCAL LocalAlloc(UINT uFlags, std::size_t uBytes) {
    gAllocCount.fetch_add(1);
    if ((uFlags & ~LPTR) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (uBytes > kLargestBlock) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A zero-byte block is still a distinct, freeable pointer.
    const std::size_t size = uBytes == 0 ? 1 : uBytes;
    void* block = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    gLiveBlocks.fetch_add(1);
    return block;
}

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
    if (hMem != nullptr) {
        std::free(hMem);
        gLiveBlocks.fetch_sub(1);
    }
    return nullptr;
}
