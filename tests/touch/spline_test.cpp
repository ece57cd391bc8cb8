// The spline between the last measured points of a touch and its speed-dependent step count.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "touch/spline.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

PointHistory History(TouchPoint e0, TouchPoint e1, TouchPoint e2, TouchPoint e3) {
    return PointHistory{{e0, e1, e2, e3}};
}

std::vector<TouchPoint> Interpolate(const PointHistory& h, int n, int* clamped = nullptr) {
    std::vector<TouchPoint> out(kMaxPoints, TouchPoint{-7, -7, -7, 9});
    const int used = InterpolateSpline(h, n, out.data());
    if (clamped != nullptr) {
        *clamped = used;
    }
    out.resize(static_cast<std::size_t>(used));
    return out;
}

TEST(SplineTest, StillTouchGivesOnePointAtThePoint) {
    const TouchPoint p = Touch(1234, 4321, 55);
    const PointHistory h = History(p, p, p, p);
    const int n = EstimateStepCount(h);
    EXPECT_EQ(n, 0);
    EXPECT_THAT(Interpolate(h, n), ElementsAre(FieldsAre(1234, 4321, 55, 1)));
}

TEST(SplineTest, FirstTouchingStepRepeatsTheNewPoint) {
    const PointHistory h = History(Lifted(), Lifted(900, 900), Touch(100, 200, 3), Touch(500, 600));
    EXPECT_THAT(Interpolate(h, 5), Each(FieldsAre(100, 200, 3, 1)));
    EXPECT_EQ(Interpolate(h, 5).size(), 5u);
}

TEST(SplineTest, LiftedPointClearsOnlyTheValidBytes) {
    const PointHistory h = History(Touch(1, 1), Touch(2, 2), Lifted(3, 3), Touch(4, 4));
    EXPECT_THAT(Interpolate(h, 3), Each(FieldsAre(-7, -7, -7, 0)));
}

TEST(SplineTest, StepCountIsClampedAndHandedBack) {
    const TouchPoint p = Touch(10, 10);
    const PointHistory h = History(p, p, p, p);
    for (auto [asked, used] : {std::pair{-5, 1}, std::pair{0, 1}, std::pair{1, 1},
                               std::pair{60, 60}, std::pair{61, 60}, std::pair{100000, 60}}) {
        int clamped = 0;
        Interpolate(h, asked, &clamped);
        EXPECT_EQ(clamped, used) << "asked " << asked;
    }
}

TEST(SplineTest, TangentsComeFromTheNeighbouringPoints) {
    // E0..E3 at 0, 100, 200, 300: the control points lie an eighth of the neighbouring chord
    // beyond the ends, at 125 and 175. t = 1/4: (27 * 100 + 27 * 125 + 9 * 175 + 200) / 64 =
    // 122.66 -> 123; t = 1/2: 150; t = 3/4: 177.34 -> 177; t = 1: 200.
    const PointHistory h =
        History(Touch(0, 0, 0), Touch(100, 0, 8), Touch(200, 0, 8), Touch(300, 0, 8));
    EXPECT_THAT(Interpolate(h, 4), ElementsAre(FieldsAre(123, 0, 8, 1), FieldsAre(150, 0, 8, 1),
                                               FieldsAre(177, 0, 8, 1), FieldsAre(200, 0, 8, 1)));
}

TEST(SplineTest, WithoutOuterPointsTheCurveEasesInAndOut) {
    // P1 = C1 = 0, C2 = P2 = 10: B(t) = 10 t^2 (3 - 2t), rounded half up.
    const PointHistory h = History(Lifted(), Touch(0, 0), Touch(10, 0), Lifted());
    EXPECT_THAT(Interpolate(h, 2), ElementsAre(FieldsAre(5, 0, 0, 1), FieldsAre(10, 0, 0, 1)));
    // t = 1/3: 2.59 -> 3; t = 2/3: 7.41 -> 7.
    EXPECT_THAT(Interpolate(h, 3),
                ElementsAre(FieldsAre(3, 0, 0, 1), FieldsAre(7, 0, 0, 1), FieldsAre(10, 0, 0, 1)));
}

TEST(SplineTest, NegativeSizeIsRaisedToZero) {
    // E0's size pulls the first control point's size to -100, below both ends.
    const PointHistory h = History(Touch(0, 0, 800), Touch(0, 0, 0), Touch(0, 0, 0), Lifted());
    EXPECT_THAT(Interpolate(h, 2), ElementsAre(FieldsAre(0, 0, 0, 1), FieldsAre(0, 0, 0, 1)));
}

TEST(StepCountTest, NeedsTheTwoMiddlePointsTouching) {
    const TouchPoint p = Touch(0, 0);
    const TouchPoint far = Touch(3000, 4000);
    EXPECT_EQ(EstimateStepCount(History(far, Lifted(), p, far)), 0);
    EXPECT_EQ(EstimateStepCount(History(far, p, Lifted(), far)), 0);
}

TEST(StepCountTest, ConstantSpeedGivesSixSteps) {
    // Steps of (3, 4), length 5; each of the three distances is 10 whichever outer point is
    // missing.
    const TouchPoint e0 = Touch(0, 0);
    const TouchPoint e1 = Touch(3, 4);
    const TouchPoint e2 = Touch(6, 8);
    const TouchPoint e3 = Touch(9, 12);
    EXPECT_EQ(EstimateStepCount(History(e0, e1, e2, e3)), 30);
    EXPECT_EQ(EstimateStepCount(History(Lifted(), e1, e2, e3)), 30);
    EXPECT_EQ(EstimateStepCount(History(e0, e1, e2, Lifted())), 30);
}

TEST(StepCountTest, SizeDoesNotCount) {
    EXPECT_EQ(EstimateStepCount(
                  History(Touch(0, 0, 0), Touch(0, 0, 500), Touch(0, 0, 1000), Touch(0, 0, 9999))),
              0);
}

TEST(StepCountTest, SumIsRoundedToSinglePrecisionBeforeTruncation) {
    // |E0| = sqrt(4102^2 - 2), counted twice: 8203.99951 in double, 8204 as REAL4.
    const TouchPoint origin = Touch(0, 0);
    EXPECT_EQ(EstimateStepCount(History(Touch(4019, 821), origin, origin, origin)), 8204);
}

}  // namespace
}  // namespace ots::test
