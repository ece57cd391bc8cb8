// The spline between the last measured points of a touch and its speed-dependent step count.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/touch_device.h"
#include "touch/spline.h"

namespace ots::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::FieldsAre;

PointHistory History(TouchPoint e0, TouchPoint e1, TouchPoint e2, TouchPoint e3) {
    return PointHistory{{e0, e1, e2, e3}};
}

std::vector<TouchPoint> Interpolate(const PointHistory& h, int n, int* used = nullptr) {
    std::vector<TouchPoint> out(kMaxPoints, TouchPoint{-7, -7, -7, 9});
    const int count = InterpolateSpline(h, n, out.data());
    if (used != nullptr) {
        *used = count;
    }
    out.resize(static_cast<std::size_t>(count));
    return out;
}

MATCHER(SamePoint, "") {
    const auto& [got, want] = arg;
    return got.x == want.x && got.y == want.y && got.z == want.z && got.valid == want.valid;
}

TEST(SplineTest, InterpolatesBetweenTheMiddlePoints) {
    const TouchPoint p = Touch(1234, 4321, 55);
    const TouchPoint lifted{-7, -7, -7, 0};
    const TouchPoint p10 = Touch(10, 0);
    const TouchPoint none = Lifted();
    const struct {
        const char* name;
        int n;
        PointHistory history;
        std::vector<TouchPoint> want;
    } rows[] = {
        {"still touch: one point", 0, History(p, p, p, p), {p}},
        {"first touching step repeats the new point", 3,
         History(none, Lifted(900, 900), Touch(100, 200, 3), Touch(500, 600)),
         std::vector<TouchPoint>(3, Touch(100, 200, 3))},
        {"lifted: only the valid bytes cleared",
         3,
         History(Touch(1, 1), Touch(2, 2), Lifted(3, 3), Touch(4, 4)),
         {lifted, lifted, lifted}},
        // Control points an eighth of the neighbouring chord beyond the ends, at 125 and 175:
        // t = 1/4: (27 * 100 + 27 * 125 + 9 * 175 + 200) / 64 = 122.66 -> 123.
        {"tangents from the neighbours",
         4,
         History(Touch(0, 0, 0), Touch(100, 0, 8), Touch(200, 0, 8), Touch(300, 0, 8)),
         {Touch(123, 0, 8), Touch(150, 0, 8), Touch(177, 0, 8), Touch(200, 0, 8)}},
        // P1 = C1 = 0, C2 = P2 = 10: B(t) = 10 t^2 (3 - 2t), rounded half up.
        {"eased, 2 steps", 2, History(none, Touch(0, 0), Touch(10, 0), none), {Touch(5, 0), p10}},
        {"eased, 3 steps",
         3,
         History(none, Touch(0, 0), Touch(10, 0), none),
         {Touch(3, 0), Touch(7, 0), p10}},
        // E0's size pulls the first control point's size to -100, below both ends.
        {"negative size is raised to zero",
         2,
         History(Touch(0, 0, 800), Touch(0, 0, 0), Touch(0, 0, 0), none),
         {Touch(0, 0), Touch(0, 0)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_THAT(Interpolate(row.history, row.n), testing::Pointwise(SamePoint(), row.want));
    }
    const PointHistory still = History(p, p, p, p);
    for (auto [asked, used] :
         {std::pair{-5, 1}, {0, 1}, {1, 1}, {60, 60}, {61, 60}, {100000, 60}}) {
        int clamped = 0;
        Interpolate(still, asked, &clamped);
        EXPECT_EQ(clamped, used) << "asked " << asked;
    }
}

TEST(StepCountTest, SumsTheThreeDistancesOfTheTouchingPoints) {
    const TouchPoint o = Touch(0, 0);
    const TouchPoint far = Touch(3000, 4000);
    // Steps of (3, 4), length 5: each of the three distances is 10 whichever outer point is
    // missing.
    const TouchPoint e0 = Touch(0, 0), e1 = Touch(3, 4), e2 = Touch(6, 8), e3 = Touch(9, 12);
    const struct {
        const char* name;
        PointHistory history;
        int want;
    } rows[] = {
        {"E1 lifted", History(far, Lifted(), o, far), 0},
        {"E2 lifted", History(far, o, Lifted(), far), 0},
        {"constant speed", History(e0, e1, e2, e3), 30},
        {"constant speed, E0 missing", History(Lifted(), e1, e2, e3), 30},
        {"constant speed, E3 missing", History(e0, e1, e2, Lifted()), 30},
        {"size does not count",
         History(Touch(0, 0, 0), Touch(0, 0, 500), Touch(0, 0, 1000), Touch(0, 0, 9999)), 0},
        // |E0| = sqrt(4102^2 - 2), counted twice: 8203.99951 in double, 8204 as REAL4.
        {"sum rounded to single precision", History(Touch(4019, 821), o, o, o), 8204},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EstimateStepCount(row.history), row.want) << row.name;
    }
}

}  // namespace
}  // namespace ots::test
