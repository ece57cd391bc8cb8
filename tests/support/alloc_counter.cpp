#include "support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define OTS_COUNT_MALLOC 1
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);
#define OTS_RAW_MALLOC __libc_malloc
#else
#define OTS_RAW_MALLOC std::malloc
#endif

namespace {

std::atomic<std::size_t> gAll{0};
std::atomic<std::size_t> gWatched{0};
std::atomic<bool> gArmed{false};
thread_local bool tWatched = false;
thread_local std::size_t tFailingSize = 0;

void Count() {
    gAll.fetch_add(1, std::memory_order_relaxed);
    if (tWatched && gArmed.load(std::memory_order_relaxed)) {
        gWatched.fetch_add(1, std::memory_order_relaxed);
    }
}

// Every form of operator new lands here; the block itself is not counted again as a malloc.
void* Allocate(std::size_t size, std::size_t alignment = 0) {
    if (tFailingSize != 0 && size == tFailingSize) {
        tFailingSize = 0;
        throw std::bad_alloc();
    }
    Count();
    const std::size_t n = size != 0 ? size : 1;
    // aligned_alloc takes only whole multiples of the alignment
    const std::size_t rounded = alignment != 0 ? (n + alignment - 1) / alignment * alignment : n;
    void* p = alignment != 0 ? std::aligned_alloc(alignment, rounded) : OTS_RAW_MALLOC(n);
    return p != nullptr ? p : throw std::bad_alloc();
}

void* AllocateNoThrow(std::size_t size) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

namespace ots::test {

// clang-format off
std::size_t Allocations() { return gAll.load(); }
void WatchThisThread() { tWatched = true; }
void ArmWatch(bool armed) { gArmed = armed; }
std::size_t WatchedAllocations() { return gWatched.load(); }
void FailNextAllocationOf(std::size_t bytes) { tFailingSize = bytes; }
bool AllocationFailurePending() { return tFailingSize != 0; }
#ifdef OTS_COUNT_MALLOC
bool CountsMalloc() { return true; }
#else
bool CountsMalloc() { return false; }
#endif
// clang-format on

}  // namespace ots::test

// Every form is replaced, so that a sanitizer's own forms never see these blocks.
// clang-format off
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return AllocateNoThrow(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return AllocateNoThrow(n); }
void* operator new(std::size_t n, std::align_val_t a) { return Allocate(n, std::size_t(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return Allocate(n, std::size_t(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#ifdef OTS_COUNT_MALLOC
extern "C" void* malloc(std::size_t size) { Count(); return __libc_malloc(size); }
extern "C" void* calloc(std::size_t c, std::size_t n) { Count(); return __libc_calloc(c, n); }
extern "C" void* realloc(void* p, std::size_t size) { Count(); return __libc_realloc(p, size); }
#endif
// clang-format on
