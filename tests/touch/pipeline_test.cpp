// From the solved points of a frame to mouse input: output scaling, the tap step, the
// histories and the spline, and how a touch's start and lift-off come through them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/touch_device.h"
#include "touch/frame_points.h"
#include "touch/image_packet.h"

namespace ots::test {
namespace {

using ::testing::ElementsAre;

TEST(FramePointsTest, EachPointIsScaledToPanelUnitsWithDefinedValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        float offsetX, offsetY;
        SolvedPoint in;
        const char* want;  // x, y, size; "-" for a point not valid
    } rows[] = {
        // 43690.668f * 0.75 = 32768.0009: truncated; 0.01 * 32768 = 327.68 -> 327.
        {0, 0, {0.5, 0.75, 0.01, 0, 1}, "16384,32768,327"},
        // -163.84 + 100 = -63.84 -> -63; 43.69 - 50 = -6.31 -> -6; size negative -> 0.
        {100, -50, {-0.005, 0.001, -0.5, 0, 1}, "-63,-6,0"},
        {0, 0, {nan, 1e12, nan, 0, 1}, "0,2147483647,0"},
        {0, 0, {-1e12, 0.5, 1e12, 0, 1}, "-2147483648,21845,2147483647"},
        {100, -50, {0.5, 0.75, 0.01, 0, 0}, "-"},
    };
    for (const auto& row : rows) {
        for (const bool first : {true, false}) {  // the other point is a sentinel
            OpticalContext oc{};
            oc.ScaleX = oc.ScaleZ = 32768.0f;
            oc.ScaleY = 43690.668f;
            oc.OffsetX = row.offsetX;
            oc.OffsetY = row.offsetY;
            (first ? oc.PointA : oc.PointB) = row.in;
            (first ? oc.PointB : oc.PointA) = {0.25, 0.5, 0.5, 0, 1};
            TouchPoint p[2]{};
            GetFramePoints(&p[0], &p[1], oc);
            EXPECT_EQ(PointsText(&p[first ? 0 : 1], 1), row.want) << row.want;
            EXPECT_EQ(p[first ? 1 : 0].x, 8192 + static_cast<INT32>(row.offsetX));
        }
    }
}

TEST(TouchPipelineTest, WithoutSmoothingEachFrameRunsOneSplineOfItsStepCount) {
    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
    device.config().Smoothness = 0;
    device.config().Mode = 1;
    // A finger moving 5 units per frame; the output trails the measurement by one frame.
    // Steps: E0 missing: |E1-E2| 5 + |E3-E1| 10 + |E1 + 5(E2-E1) - E3| 15 = 30 to E2; full
    // history: 10 + 10 + 10. The lift-off is measured, but the last touching point comes first.
    const struct {
        TouchPoint in;
        std::size_t count;
        Injected last;
    } frames[] = {
        {Touch(1000, 2000), 0, {}},  // not touching before the second history step
        {Touch(1005, 2000), 1, {kMove, 2000, 4000}},
        {Touch(1010, 2000), 30, {kMove, 2010, 4000}},
        {Touch(1015, 2000), 30, {kMove, 2020, 4000}},
        {Lifted(), 30, {kMove, 2030, 4000}},
        {Lifted(), 2, {kUp, 2030, 4000}},
    };
    for (const auto& frame : frames) {
        recorder.Clear();
        RunTouchPipeline(device.ctx(), device.config(), frame.in, Lifted());
        const std::vector<Injected> events = InjectedEvents(recorder);
        ASSERT_EQ(events.size(), frame.count) << testing::PrintToString(frame.in);
        if (!events.empty()) {
            EXPECT_EQ(events.back(), frame.last);
        }
    }
    EXPECT_THAT(InjectedEvents(recorder), ElementsAre(Injected{kDown, 2030, 4000}, frames[5].last));
    EXPECT_EQ(std::pair(device.td().LastClickPoint.x, device.td().LastClickPoint.y),
              std::pair(1015, 2000));
}

TEST(TouchPipelineTest, SecondTouchIsInterpolatedAlongsideButNeverInjected) {
    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
    device.config().Smoothness = 0;
    device.config().Mode = 3;
    for (int frame = 0; frame < 2; ++frame) {
        RunTouchPipeline(device.ctx(), device.config(), Touch(100, 100), Touch(7000, 8000));
    }
    EXPECT_EQ(PointsText(&device.td().SecondPoint, 1), "7000,8000,0");
    EXPECT_EQ(recorder.Count(), 0u);
}

}  // namespace
}  // namespace ots::test
