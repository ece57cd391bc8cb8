// From the solved points of a frame to mouse input: output scaling, the tap step, the
// histories and the spline, and how a touch's start and lift-off come through them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/touch_device.h"
#include "touch/frame_points.h"
#include "touch/image_packet.h"
#include "touch/touch_data.h"

namespace ots::test {
namespace {

using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::IsEmpty;

TEST(FramePointsTest, BothPointsAreScaledToPanelUnitsWithDefinedValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr INT32 kMax = std::numeric_limits<INT32>::max();
    constexpr INT32 kMin = std::numeric_limits<INT32>::min();
    const struct {
        const char* name;
        float offsetX, offsetY;
        SolvedPoint a, b;
        TouchPoint wantA, wantB;
    } rows[] = {
        // 43690.668f * 0.75 = 32768.0009: truncated; 0.01 * 32768 = 327.68 -> 327.
        {"scaled",
         0,
         0,
         {0.5, 0.75, 0.01, 0, 1},
         {0.25, 0, 0, 0, 0},
         {16384, 32768, 327, 1},
         {8192, 0, 0, 0}},
        // -163.84 + 100 = -63.84 -> -63; 43.69 - 50 = -6.31 -> -6; size negative -> 0.
        {"offset, toward zero",
         100,
         -50,
         {-0.005, 0.001, -0.5, 0, 1},
         {},
         {-63, -6, 0, 1},
         {100, -50, 0, 0}},
        {"unusable",
         0,
         0,
         {nan, 1e12, nan, 0, 0},
         {-1e12, 0.5, 1e12, 0, 0},
         {0, kMax, 0, 0},
         {kMin, 21845, kMax, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OpticalContext oc{};
        oc.ScaleX = oc.ScaleZ = 32768.0f;
        oc.ScaleY = 43690.668f;
        oc.OffsetX = row.offsetX;
        oc.OffsetY = row.offsetY;
        oc.PointA = row.a;
        oc.PointB = row.b;
        TouchPoint a{}, b{};
        GetFramePoints(&a, &b, oc);
        EXPECT_THAT(a, FieldsAre(row.wantA.x, row.wantA.y, row.wantA.z, row.wantA.valid));
        EXPECT_THAT(b, FieldsAre(row.wantB.x, row.wantB.y, row.wantB.z, row.wantB.valid));
    }
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

}  // namespace
}  // namespace ots::test
