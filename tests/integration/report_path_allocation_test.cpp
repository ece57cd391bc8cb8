// Nothing is allocated per report: every heap request of the reader thread (the thread that
// injects the mouse input) and every LocalAlloc is counted while reports flow.
#include <gtest/gtest.h>

#include <atomic>

#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "support/alloc_counter.h"
#include "support/bus.h"
#include "support/scaled_clock.h"

namespace ots::test {
namespace {

constexpr std::size_t kReports = 200;

TEST_F(IntegrationTest, NoAllocationPerCoordinateReportAfterAttach) {
    FastClock fast;
    std::atomic<std::size_t> events{0};
    const int sink = ce::host::AddInputSink([&events](const ce::host::MouseEvent&) {
        WatchThisThread();
        events.fetch_add(1);
    });
    PluggedController controller;
    CoordinateController& panel = controller.panel();
    panel.SetPacing(ots::sim::Pacing::AsFastAsTaken);
    // The first report marks the reader thread; the ones after it are counted.
    panel.TouchDown(100, 100);
    ASSERT_TRUE(panel.Settle(kSettleMs));
    ASSERT_EQ(events.load(), 1u);

    const std::size_t before = WatchedAllocations();
    const std::uint64_t localAllocs = ce::host::LocalAllocCount();
    ArmWatch(true);
    panel.MoveTo(700, 500, static_cast<double>(kReports) * 10.0);  // one report per 10 ms
    ASSERT_TRUE(panel.Settle(kSettleMs));
    ArmWatch(false);
    ce::host::RemoveInputSink(sink);

    EXPECT_GE(events.load(), kReports) << "every report was handled";
    EXPECT_EQ(WatchedAllocations() - before, 0u)
        << "heap requests on the reader thread" << (CountsMalloc() ? "" : " (operator new only)");
    EXPECT_EQ(ce::host::LocalAllocCount(), localAllocs) << "LocalAlloc calls while reading";
}

}  // namespace
}  // namespace ots::test
