#include "support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define OTS_COUNT_MALLOC 1
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);
#endif

namespace {

std::atomic<std::size_t> gAll{0};
std::atomic<std::size_t> gWatched{0};
std::atomic<bool> gArmed{false};
thread_local std::size_t tCount = 0;
thread_local bool tWatched = false;
thread_local std::size_t tFailingSize = 0;

void Count() {
    gAll.fetch_add(1, std::memory_order_relaxed);
    ++tCount;
    if (tWatched && gArmed.load(std::memory_order_relaxed)) {
        gWatched.fetch_add(1, std::memory_order_relaxed);
    }
}

// The block behind operator new, not counted a second time as a malloc.
void* RawMalloc(std::size_t size) {
#ifdef OTS_COUNT_MALLOC
    return __libc_malloc(size != 0 ? size : 1);
#else
    return std::malloc(size != 0 ? size : 1);
#endif
}

void* Allocate(std::size_t size) {
    if (tFailingSize != 0 && size == tFailingSize) {
        tFailingSize = 0;
        throw std::bad_alloc();
    }
    Count();
    if (void* p = RawMalloc(size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* AllocateNoThrow(std::size_t size) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    Count();
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded != 0 ? rounded : alignment)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

namespace ots::test {

std::size_t Allocations() {
    return gAll.load();
}
std::size_t ThreadAllocations() {
    return tCount;
}
void WatchThisThread() {
    tWatched = true;
}
void ArmWatch(bool armed) {
    gArmed = armed;
}
std::size_t WatchedAllocations() {
    return gWatched.load();
}
void FailNextAllocationOf(std::size_t bytes) {
    tFailingSize = bytes;
}
bool AllocationFailurePending() {
    return tFailingSize != 0;
}
bool CountsMalloc() {
#ifdef OTS_COUNT_MALLOC
    return true;
#else
    return false;
#endif
}

}  // namespace ots::test

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#ifdef OTS_COUNT_MALLOC
extern "C" void* malloc(std::size_t size) {
    Count();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    Count();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    Count();
    return __libc_realloc(p, size);
}
#endif
