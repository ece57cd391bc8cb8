// A person tapping a simulated coordinate panel: the mouse input that reaches the system, and
// nothing allocated per report on the way.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "ce/host/input_sink.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "support/alloc_counter.h"
#include "support/bus.h"
#include "support/mouse_events.h"
#include "support/registry_probe.h"
#include "support/scaled_clock.h"

namespace ots::test {
namespace {

constexpr std::size_t kModeOffset = 0;

struct ModeOutcome {
    std::vector<Injected> events;
    std::int32_t clickX = 0;  // LastClickPoint written, or 0
    std::int32_t clickY = 0;
};

// What a coordinate controller's reports must produce, worked out from the reports themselves
// and the coordinate generation's mode table (an uncalibrated panel: raw values, times 16).
ModeOutcome ExpectedForMode(int mode, const std::vector<std::vector<std::uint8_t>>& reports) {
    ModeOutcome outcome;
    bool buttonDown = false;
    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    for (const auto& report : reports) {
        if (report.size() < 6) {
            continue;  // too short for a coordinate report
        }
        const std::uint8_t status = report[1];
        const DWORD x = ots::LoadU16(report, 2);
        const DWORD y = ots::LoadU16(report, 4);
        const auto emit = [&](DWORD flags) { outcome.events.push_back({flags, x * 16, y * 16}); };
        if ((status & 0x10) != 0) {
            continue;
        }
        if ((status & 0x03) != 0) {  // touching
            if (mode == 0 && !buttonDown) {
                buttonDown = true;
                emit(kDown);
                emit(kUp);
            } else if (mode == 1) {
                lastX = static_cast<std::int32_t>(x);
                lastY = static_cast<std::int32_t>(y);
                emit(kMove);
            } else if (mode == 2) {
                emit(kMoveDown);
            }
        } else if ((status & 0x04) != 0) {  // released
            buttonDown = false;
            if (mode == 1) {
                outcome.clickX = lastX;
                outcome.clickY = lastY;
                emit(kDown);
            }
            if (mode != 0) {
                emit(kUp);
            }
        }
    }
    return outcome;
}

class TouchTest : public IntegrationTest {
  protected:
    void SetUp() override {
        IntegrationTest::SetUp();
        plugged_ = std::make_unique<PluggedController>();
    }
    void TearDown() override {
        plugged_.reset();
        IntegrationTest::TearDown();
    }
    CoordinateController& panel() { return plugged_->panel(); }

    // Waits until every report reached the driver and all expected input arrived.
    ModeOutcome Settled(int mode) {
        EXPECT_TRUE(panel().Settle(kSettleMs));
        const ModeOutcome expected = ExpectedForMode(mode, panel().SentReports());
        recorder_.WaitForCount(expected.events.size(), kSettleMs);
        return expected;
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::unique_ptr<PluggedController> plugged_;
};

class TapInEachMode : public TouchTest, public ::testing::WithParamInterface<int> {};

TEST_P(TapInEachMode, GivesExactlyTheModeTablesSequence) {
    const int mode = GetParam();
    SetDriverConfigByte(kModeOffset, static_cast<BYTE>(mode));
    panel().Tap(200, 150);
    const ModeOutcome expected = Settled(mode);
    ASSERT_FALSE(expected.events.empty());
    EXPECT_EQ(InjectedEvents(recorder_), expected.events);

    StreamHandle handle;
    ASSERT_TRUE(handle.ok());
    const Bytes click = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
    EXPECT_EQ(ots::LoadI32(click, 0), expected.clickX);
    EXPECT_EQ(ots::LoadI32(click, 4), expected.clickY);
    EXPECT_NE(expected.clickX != 0, mode != 1) << "only mode 1 records the click";
    EXPECT_TRUE(handle.Io(IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, nullptr));
    const Bytes cleared = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
    EXPECT_EQ(ots::LoadI32(cleared, 0), 0);
    EXPECT_EQ(ots::LoadI32(cleared, 4), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, TapInEachMode, ::testing::Values(0, 1, 2));

// A stall is reset without losing a report. After a replug a ring of three slots serves a fast
// drag oldest first, each report at the length it arrived with: two cut short of y are dropped.
TEST_F(TouchTest, ReportsSurviveAStallAndAFastDragThroughARingOfThree) {
    panel().StallReportEndpoint();
    panel().Tap(300, 300);
    ModeOutcome expected = Settled(2);
    EXPECT_EQ(InjectedEvents(recorder_), expected.events) << "no report was lost to the stall";
    plugged_->Unplug();
    WriteDword(kClientDriverKey, kQueuedTransferCountValue, 3);
    plugged_ = std::make_unique<PluggedController>();
    recorder_.Clear();
    panel().SetPacing(ots::sim::Pacing::AsFastAsTaken);
    panel().TouchDown(100, 100);
    panel().InjectFault(ots::sim::ReportFault::Short, 2, 5);
    panel().MoveTo(700, 500, 300);
    panel().TouchUp();
    expected = Settled(2);
    EXPECT_EQ(InjectedEvents(recorder_), expected.events);
    EXPECT_EQ(plugged_->port()->QueuedTransfers(CoordinateController::kInEndpoint), 3u);
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
