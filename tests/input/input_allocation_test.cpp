// Injection into a recorder allocates nothing per event: the report path of the driver ends
// here, and it must not allocate.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ce/host/input_sink.h"
#include "ce/input.h"

namespace {
std::atomic<std::size_t> gAllocations{0};
}  // namespace

// Counts every allocation of the test program, the platform library's included.
void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

TEST(InputAllocation, RecordingAnEventAllocatesNothing) {
    ce::host::MouseEventRecorder recorder;
    mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, 0, 0, 0, 0);  // first-use set-up
    const std::size_t before = gAllocations.load();
    constexpr DWORD kEvents = 10'000;
    for (DWORD i = 0; i < kEvents; ++i) {
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, i, i, 0, 0);
    }
    const std::size_t during = gAllocations.load() - before;
    EXPECT_EQ(during, 0u);
    EXPECT_EQ(recorder.Count(), kEvents + 1);
}

TEST(InputAllocation, CounterSeesAllocationsOfThePlatformLibrary) {
    // Without this the test above could pass with a counter that counts nothing.
    const std::size_t before = gAllocations.load();
    { const ce::host::MouseEventRecorder recorder; }  // reserves its storage in the library
    EXPECT_GT(gAllocations.load(), before);
}

}  // namespace
