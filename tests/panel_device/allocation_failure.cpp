#include "allocation_failure.h"

#include <cstdlib>
#include <new>

namespace {

// Per thread, so that other threads' allocations (the USB stack's, the reader's) never take it.
thread_local std::size_t tFailingSize = 0;

}  // namespace

namespace paneltest {

void FailNextAllocationOf(std::size_t bytes) {
    tFailingSize = bytes;
}

bool AllocationFailurePending() {
    return tFailingSize != 0;
}

}  // namespace paneltest

// The whole family of plain (not over-aligned) allocation functions is replaced, so that
// every block is taken and given back by the same pair, whichever form allocated it.
void* operator new(std::size_t bytes) {
    if (tFailingSize != 0 && bytes == tFailingSize) {
        tFailingSize = 0;
        throw std::bad_alloc();
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t bytes) {
    return operator new(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t& /*tag*/) noexcept {
    try {
        return operator new(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept {
    return operator new(bytes, tag);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t /*bytes*/) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t /*bytes*/) noexcept {
    std::free(block);
}

void operator delete(void* block, const std::nothrow_t& /*tag*/) noexcept {
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t& /*tag*/) noexcept {
    std::free(block);
}
