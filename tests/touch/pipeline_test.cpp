// From the solved points of a frame to mouse input: output scaling, the tap step, the
// histories and the spline, and how a touch's start and lift-off come through them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "touch/frame_points.h"
#include "touch/image_packet.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::IsEmpty;

SolvedPoint Solved(double x, double y, double size, BYTE valid = 1) {
    return SolvedPoint{x, y, size, 0.0, valid};
}

class FramePointsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oc.ScaleX = 32768.0f;
        oc.OffsetX = 0.0f;
        oc.ScaleY = 43690.668f;
        oc.OffsetY = 0.0f;
        oc.ScaleZ = 32768.0f;
    }
    TouchPoint A() {
        TouchPoint a{}, b{};
        GetFramePoints(&a, &b, oc);
        return a;
    }
    TouchPoint B() {
        TouchPoint a{}, b{};
        GetFramePoints(&a, &b, oc);
        return b;
    }
    OpticalContext oc{};
};

TEST_F(FramePointsTest, ScalesBothPointsToPanelUnits) {
    oc.PointA = Solved(0.5, 0.75, 0.01);
    oc.PointB = Solved(0.25, 0.0, 0.0, 0);
    // 43690.668f * 0.75 = 32768.0009: truncated to 32768; 0.01 * 32768 = 327.68 -> 327.
    EXPECT_THAT(A(), FieldsAre(16384, 32768, 327, 1));
    EXPECT_THAT(B(), FieldsAre(8192, 0, 0, 0));
}

TEST_F(FramePointsTest, OffsetsShiftAndTruncationGoesTowardZero) {
    oc.OffsetX = 100.0f;
    oc.OffsetY = -50.0f;
    oc.PointA = Solved(-0.005, 0.001, -0.5);
    // -163.84 + 100 = -63.84 -> -63; 43.69 - 50 = -6.31 -> -6; size negative -> 0.
    EXPECT_THAT(A(), FieldsAre(-63, -6, 0, 1));
}

TEST_F(FramePointsTest, UnusableSolutionsGiveDefinedCoordinates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    oc.PointA = Solved(nan, 1e12, nan, 0);
    oc.PointB = Solved(-1e12, 0.5, 1e12, 0);
    EXPECT_THAT(A(), FieldsAre(0, std::numeric_limits<INT32>::max(), 0, 0));
    EXPECT_THAT(B(), FieldsAre(std::numeric_limits<INT32>::min(), 21845,
                               std::numeric_limits<INT32>::max(), 0));
}

class TouchPipelineTest : public ::testing::Test {
  protected:
    void Frame(const TouchPoint& a, const TouchPoint& b = Lifted()) {
        RunTouchPipeline(device.ctx(), device.config(), a, b);
    }
    std::vector<Injected> TakeEvents() {
        std::vector<Injected> events = InjectedEvents(recorder);
        recorder.Clear();
        return events;
    }

    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
};

TEST_F(TouchPipelineTest, WithoutSmoothingEachFrameRunsOneSplineOfItsStepCount) {
    device.config().Smoothness = 0;
    device.config().Mode = 1;
    // A finger moving 5 units per frame; the output trails the measurement by one frame.
    Frame(Touch(1000, 2000));
    EXPECT_THAT(TakeEvents(), IsEmpty());  // not touching before the second history step
    Frame(Touch(1005, 2000));
    EXPECT_THAT(TakeEvents(), ElementsAre(Injected{kMove, 2000, 4000}));
    // E0 missing: |E1-E2| 5 + |E3-E1| 10 + |E1 + 5(E2-E1) - E3| 15 = 30 steps to E2.
    Frame(Touch(1010, 2000));
    std::vector<Injected> events = TakeEvents();
    ASSERT_EQ(events.size(), 30u);
    EXPECT_EQ(events.back(), (Injected{kMove, 2010, 4000}));
    // Full history: 10 + 10 + 10.
    Frame(Touch(1015, 2000));
    events = TakeEvents();
    ASSERT_EQ(events.size(), 30u);
    EXPECT_EQ(events.back(), (Injected{kMove, 2020, 4000}));
    // The lift-off is measured now, but the last touching point still comes out first.
    Frame(Lifted());
    events = TakeEvents();
    ASSERT_EQ(events.size(), 30u);
    EXPECT_EQ(events.back(), (Injected{kMove, 2030, 4000}));
    Frame(Lifted());
    EXPECT_THAT(TakeEvents(), ElementsAre(Injected{kDown, 2030, 4000}, Injected{kUp, 2030, 4000}));
    EXPECT_THAT(device.td().LastClickPoint, FieldsAre(1015, 2000, 0, 0));
}

TEST_F(TouchPipelineTest, SecondTouchIsInterpolatedAlongsideButNeverInjected) {
    device.config().Smoothness = 0;
    device.config().Mode = 3;
    Frame(Touch(100, 100), Touch(7000, 8000));
    Frame(Touch(100, 100), Touch(7000, 8000));
    EXPECT_THAT(device.td().SecondPoint, FieldsAre(7000, 8000, 0, 1));
    EXPECT_THAT(TakeEvents(), IsEmpty());
}

TEST_F(TouchPipelineTest, ClickOnTouchGivesOneClickForAWholeTouch) {
    device.config().Smoothness = 0;
    device.config().Mode = 0;
    for (int frame = 0; frame < 40; ++frame) {
        Frame(Touch(3000 + frame * 20, 4000));
    }
    Frame(Lifted());
    Frame(Lifted());
    EXPECT_THAT(TakeEvents(), ElementsAre(Injected{kDown, 6000, 8000}, Injected{kUp, 6000, 8000}));
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
}

TEST_F(TouchPipelineTest, StillTouchIsHeldBackThenPressedAtItsAverage) {
    device.config().Smoothness = 1;
    device.config().Mode = 2;
    SetupTapFilter(&device.td().Tap, 500, 4, 1000, 800);
    for (int frame = 0; frame < 30; ++frame) {
        Frame(Touch(5000 + frame % 2, 6000));
    }
    EXPECT_THAT(TakeEvents(), IsEmpty());
    // The 31st frame releases 30 averaged copies; the first reaches the newest history entry
    // only, the other 29 are pressed.
    Frame(Touch(5000, 6000));
    std::vector<Injected> events = TakeEvents();
    EXPECT_EQ(events.size(), 29u);
    EXPECT_THAT(events, Each(Injected{kMoveDown, 10000, 12000}));
    // Held: jitter within the area keeps the press where it is.
    Frame(Touch(5040, 6030));
    EXPECT_THAT(TakeEvents(), ElementsAre(Injected{kMoveDown, 10000, 12000}));
    // Lifted where it was held: the press still ends.
    Frame(Lifted(5000, 6000));
    Frame(Lifted(5000, 6000));
    events = TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (Injected{kUp, 10000, 12000}));
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
}

TEST_F(TouchPipelineTest, NeverInitialisedCameraStillPassesPointsThrough) {
    // A failed initialisation leaves the zero-filled tap filter; smoothing is on by default.
    device.config().Mode = 1;
    Frame(Touch(100, 200));
    Frame(Touch(100, 200));
    EXPECT_THAT(TakeEvents(), ElementsAre(Injected{kMove, 200, 400}));
}

}  // namespace
}  // namespace ots::test
