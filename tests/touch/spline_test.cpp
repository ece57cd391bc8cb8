// The spline between the last measured points of a touch and its speed-dependent step count.
#include <gtest/gtest.h>

#include "support/touch_device.h"
#include "touch/spline.h"

namespace ots::test {
namespace {

TEST(SplineTest, InterpolatesBetweenTheMiddlePoints) {
    const TouchPoint p = Touch(1234, 4321, 55), none = Lifted();
    const struct {
        const char* name;
        int n;
        PointHistory history;
        const char* want;
    } rows[] = {
        {"still touch: one point", 0, {{p, p, p, p}}, "1234,4321,55"},
        {"first touching step repeats the new point",
         3,
         {{none, Lifted(900, 900), Touch(100, 200, 3), Touch(500, 600)}},
         "100,200,3 100,200,3 100,200,3"},
        {"lifted", 3, {{Touch(1, 1), Touch(2, 2), Lifted(3, 3), Touch(4, 4)}}, "- - -"},
        // Control points an eighth of the neighbouring chord beyond the ends, at 125 and 175:
        // t = 1/4: (27 * 100 + 27 * 125 + 9 * 175 + 200) / 64 = 122.66 -> 123.
        {"tangents from the neighbours",
         4,
         {{Touch(0, 0, 0), Touch(100, 0, 8), Touch(200, 0, 8), Touch(300, 0, 8)}},
         "123,0,8 150,0,8 177,0,8 200,0,8"},
        // P1 = C1 = 0, C2 = P2 = 10: B(t) = 10 t^2 (3 - 2t), rounded half up.
        {"eased, 2 steps", 2, {{none, Touch(0, 0), Touch(10, 0), none}}, "5,0,0 10,0,0"},
        {"eased, 3 steps", 3, {{none, Touch(0, 0), Touch(10, 0), none}}, "3,0,0 7,0,0 10,0,0"},
        // E0's size pulls the first control point's size to -100, below both ends.
        {"negative size is raised to zero",
         2,
         {{Touch(0, 0, 800), Touch(0, 0, 0), Touch(0, 0, 0), none}},
         "0,0,0 0,0,0"},
    };
    TouchPoint out[kMaxPoints];
    for (const auto& row : rows) {
        EXPECT_EQ(PointsText(out, InterpolateSpline(row.history, row.n, out)), row.want)
            << row.name;
    }
    for (auto [asked, used] : {std::pair{-5, 1}, {0, 1}, {60, 60}, {61, 60}, {100000, 60}}) {
        EXPECT_EQ(InterpolateSpline({{p, p, p, p}}, asked, out), used) << "asked " << asked;
    }
}

TEST(StepCountTest, SumsTheThreeDistancesOfTheTouchingPoints) {
    const TouchPoint o = Touch(0, 0), far = Touch(3000, 4000);
    // Steps of (3, 4), length 5: each of the three distances is 10 whichever outer point is
    // missing.
    const TouchPoint e0 = Touch(0, 0), e1 = Touch(3, 4), e2 = Touch(6, 8), e3 = Touch(9, 12);
    const struct {
        const char* name;
        PointHistory history;
        int want;
    } rows[] = {
        {"E1 lifted", {{far, Lifted(), o, far}}, 0},
        {"E2 lifted", {{far, o, Lifted(), far}}, 0},
        {"constant speed", {{e0, e1, e2, e3}}, 30},
        // A missing outer point stands in for its neighbour: 10 + 100.5 + 107.7.
        {"E0 missing", {{Lifted(), o, Touch(0, 10), Touch(100, 10)}}, 218},
        {"E3 missing", {{o, Touch(100, 0), Touch(100, 10), Lifted()}}, 218},
        {"size does not count", {{o, Touch(0, 0, 500), Touch(0, 0, 1000), Touch(0, 0, 9)}}, 0},
        // |E0| = sqrt(4102^2 - 2), counted twice: 8203.99951 in double, 8204 as REAL4.
        {"sum rounded to single precision", {{Touch(4019, 821), o, o, o}}, 8204},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EstimateStepCount(row.history), row.want) << row.name;
    }
}

}  // namespace
}  // namespace ots::test
