// Injection into a recorder allocates nothing per event: the report path of the driver ends
// here, and it must not allocate.
#include <gtest/gtest.h>

#include "ce/host/input_sink.h"
#include "ce/input.h"
#include "support/alloc_counter.h"

namespace {

TEST(InputAllocation, RecordingAnEventAllocatesNothing) {
    ce::host::MouseEventRecorder recorder;
    mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, 0, 0, 0, 0);  // first-use set-up
    const std::size_t before = ots::test::Allocations();
    constexpr DWORD kEvents = 10'000;
    for (DWORD i = 0; i < kEvents; ++i) {
        mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE, i, i, 0, 0);
    }
    const std::size_t during = ots::test::Allocations() - before;
    EXPECT_EQ(during, 0u);
    EXPECT_EQ(recorder.Count(), kEvents + 1);
}

TEST(InputAllocation, CounterSeesAllocationsOfThePlatformLibrary) {
    // Without this the test above could pass with a counter that counts nothing.
    const std::size_t before = ots::test::Allocations();
    { const ce::host::MouseEventRecorder recorder; }  // reserves its storage in the library
    EXPECT_GT(ots::test::Allocations(), before);
}

}  // namespace
