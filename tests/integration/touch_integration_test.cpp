// A person tapping a simulated coordinate panel: the mouse input that reaches the system.
#include <gtest/gtest.h>

#include <memory>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "mode_oracle.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "support/bus.h"

namespace ots::test {
namespace {

constexpr std::size_t kModeOffset = 0;
constexpr std::size_t kEnableTouchOffset = 1;

std::vector<ExpectedEvent> Recorded(const ce::host::MouseEventRecorder& recorder) {
    std::vector<ExpectedEvent> events;
    for (const ce::host::MouseEvent& event : recorder.Events()) {
        events.push_back({event.flags, event.dx, event.dy});
    }
    return events;
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

    // Taps and waits until every report reached the driver and all expected input arrived.
    ModeOutcome TapAndSettle(int mode, double xPx, double yPx) {
        panel().Tap(xPx, yPx);
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
    const ModeOutcome expected = TapAndSettle(mode, 200, 150);
    ASSERT_FALSE(expected.events.empty());
    EXPECT_EQ(Recorded(recorder_), expected.events);

    const Bytes click = GetRecord(IOCTL_GET_MOUSE_UP_DATA, 13);
    ASSERT_EQ(click.size(), 13u);
    if (expected.clickRecorded) {
        EXPECT_EQ(ots::LoadI32(click, 0), expected.clickX);
        EXPECT_EQ(ots::LoadI32(click, 4), expected.clickY);
        EXPECT_NE(expected.clickX, 0);
        StreamHandle handle;
        ASSERT_TRUE(handle.ok());
        EXPECT_TRUE(handle.Io(IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, nullptr));
        const Bytes cleared = handle.Get(IOCTL_GET_MOUSE_UP_DATA, 13);
        EXPECT_EQ(ots::LoadI32(cleared, 0), 0);
        EXPECT_EQ(ots::LoadI32(cleared, 4), 0);
    } else {
        EXPECT_EQ(ots::LoadI32(click, 0), 0) << "mode " << mode << " records no click";
        EXPECT_EQ(ots::LoadI32(click, 4), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, TapInEachMode, ::testing::Values(0, 1, 2));

TEST_F(TouchTest, EnableTouchZeroSilencesEveryMode) {
    SetDriverConfigByte(kEnableTouchOffset, 0);
    for (int mode : {0, 1, 2}) {
        SetDriverConfigByte(kModeOffset, static_cast<BYTE>(mode));
        panel().Tap(250, 250);
        ASSERT_TRUE(panel().Settle(kSettleMs));
    }
    EXPECT_EQ(recorder_.Count(), 0u);
    EXPECT_EQ(ots::LoadI32(GetRecord(IOCTL_GET_MOUSE_UP_DATA, 13), 0), 0);

    SetDriverConfigByte(kEnableTouchOffset, 1);  // and back on
    panel().Tap(250, 250);
    ASSERT_TRUE(panel().Settle(kSettleMs));
    EXPECT_TRUE(recorder_.WaitForCount(1, kSettleMs));
}

TEST_F(TouchTest, StalledEndpointIsResetAndReadingResumes) {
    panel().StallReportEndpoint();
    const ModeOutcome expected = TapAndSettle(2, 300, 300);
    EXPECT_EQ(Recorded(recorder_), expected.events) << "no report was lost to the stall";
}

TEST_F(TouchTest, ReportsAfterUnplugAndReplugStillArrive) {
    plugged_->Unplug();
    PluggedController again;
    again.panel().Tap(120, 80);
    ASSERT_TRUE(again.panel().Settle(kSettleMs));
    const ModeOutcome expected = ExpectedForMode(2, again.panel().SentReports());
    recorder_.WaitForCount(expected.events.size(), kSettleMs);
    EXPECT_EQ(Recorded(recorder_), expected.events);
}

}  // namespace
}  // namespace ots::test
