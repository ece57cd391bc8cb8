#include "reader_allocations.h"

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

thread_local bool tWatched = false;
std::atomic<bool> gArmed{false};
std::atomic<std::size_t> gCounted{0};

void Count() {
    if (tWatched && gArmed.load(std::memory_order_relaxed)) {
        gCounted.fetch_add(1, std::memory_order_relaxed);
    }
}

// The block behind operator new, not counted a second time as a malloc.
void* RawMalloc(std::size_t size) {
#ifdef OTS_COUNT_MALLOC
    return __libc_malloc(size);
#else
    return std::malloc(size);
#endif
}

void* Allocate(std::size_t size) {
    Count();
    if (void* p = RawMalloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
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

void* AllocateNoThrow(std::size_t size) noexcept {
    Count();
    return RawMalloc(size != 0 ? size : 1);
}

}  // namespace

namespace reader_allocations {

void WatchThisThread() {
    tWatched = true;
}
void Arm() {
    gArmed = true;
}
void Disarm() {
    gArmed = false;
}
std::size_t Counted() {
    return gCounted.load();
}
bool CountsMalloc() {
#ifdef OTS_COUNT_MALLOC
    return true;
#else
    return false;
#endif
}

}  // namespace reader_allocations

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
// For C code and libraries that do not go through operator new.
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
