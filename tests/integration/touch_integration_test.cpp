// A person tapping a simulated coordinate panel: the mouse input that reaches the system, and
// nothing allocated per report on the way.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "support/alloc_counter.h"
#include "support/bus.h"
#include "support/golden.h"
#include "support/mouse_events.h"
#include "support/registry_probe.h"
#include "support/scaled_clock.h"

namespace ots::test {
namespace {

// A tap in each mode (the platform's mode 2 through a stalled report pipe: reset without losing
// a report) with the click point before and after it is cleared; after a replug a ring of three
// slots serving a fast drag oldest first, each report at the length it arrived with (two cut
// short of y are dropped). Mode 0 comes last: its release gives no input to wait for.
// Regenerate: OTS_REGOLDEN=1 test_integration --gtest_filter=*TapsInEachMode*
TEST_F(IntegrationTest, TapsInEachModeAStallAndAFastDragThroughARingOfThree) {
    ce::host::ScopedTimeScale fast(0.01);
    ce::host::MouseEventRecorder recorder;
    std::ostringstream trace;
    auto plugged = std::make_unique<PluggedController>();
    // Waits until every report reached the driver and the release's Up (the last input of a
    // touch in every mode) arrived, then writes the input to the trace and forgets it.
    const auto settled = [&](const std::string& step) {
        EXPECT_TRUE(plugged->panel().Settle(kSettleMs)) << step;
        std::size_t n = 1;
        while (recorder.WaitForCount(n, kSettleMs) && recorder.Events().back().flags != kUp) {
            ++n;
        }
        trace << step << "\n";
        for (const Injected& e : InjectedEvents(recorder)) {
            trace << e << "\n";
        }
        recorder.Clear();
    };
    const auto tap = [&](const std::string& step, double x, double y) {
        plugged->panel().Tap(x, y);
        settled(step);
        StreamHandle handle;
        ASSERT_TRUE(handle.ok());
        for (int clear = 0; clear < 2; ++clear) {
            const Bytes click = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
            trace << "click " << ots::LoadI32(click, 0) << "," << ots::LoadI32(click, 4) << "\n";
            EXPECT_TRUE(handle.Io(IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, nullptr));
        }
    };
    plugged->panel().StallReportEndpoint();
    tap("mode 2, stalled", 300, 300);
    plugged->Unplug();
    WriteDword(kClientDriverKey, kQueuedTransferCountValue, 3);
    plugged = std::make_unique<PluggedController>();
    CoordinateController& panel = plugged->panel();
    panel.SetPacing(ots::sim::Pacing::AsFastAsTaken);
    panel.TouchDown(100, 100);
    panel.InjectFault(ots::sim::ReportFault::Short, 2, 5);
    panel.MoveTo(700, 500, 300);
    panel.TouchUp();
    settled("ring of three");
    EXPECT_EQ(plugged->port()->QueuedTransfers(CoordinateController::kInEndpoint), 3u);
    for (int mode : {1, 0}) {
        SetDriverConfigByte(0, static_cast<BYTE>(mode));  // Mode
        tap("mode " + std::to_string(mode), 200, 300);    // x and y apart
    }
    ExpectGolden(trace.str(), OTS_GOLDEN_DIR "touch.txt");
}

// Nothing is allocated per report: every heap request of the reader thread (the thread that
// injects the mouse input) and every LocalAlloc is counted while reports flow.
TEST_F(IntegrationTest, NoAllocationPerCoordinateReportAfterAttach) {
    constexpr std::size_t kReports = 200;
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
