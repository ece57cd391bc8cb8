// From the solved points of a frame toward mouse input: output scaling, the tap stabiliser (its
// set-up from the settings, the collect/average/hold cycle of a still finger, the ways a touch
// leaves it), the spline and its speed-dependent step count. The whole path is the camera report
// trace's (controller_test.cpp).
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "support/touch_device.h"
#include "touch/frame_points.h"
#include "touch/spline.h"
#include "touch/tap_filter.h"
#include "touch/truncate.h"

namespace ots::test {
namespace {

constexpr INT32 kInt32Max = std::numeric_limits<INT32>::max();
constexpr INT32 kInt32Min = std::numeric_limits<INT32>::min();

std::string Step(TapFilter* tap, const TouchPoint& p) {
    TouchPoint out[kMaxPoints];
    TapFilterStep(tap, p);
    return PointsText(out, TapFilterOutput(tap, out));
}

TEST(TapFilterSetupTest, SizeFollowsTheDoubleClickSettingsAndThePanel) {
    const struct {
        DWORD time, area;
        INT32 width, height, maxCount, thresholdSq;
        BYTE state;
    } rows[] = {
        {16, 4, 1000, 800, 1, 131 * 131, TAP_PASS_THROUGH},
        {31, 4, 1000, 800, 1, 131 * 131, TAP_PASS_THROUGH},
        {32, 4, 1000, 800, 2, 131 * 131, TAP_IDLE},
        {975, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        {0xFFFFFFFF, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        // With a width of 32768 the distance equals the area; beyond 46340 it
        // saturates.
        {500, 46340, 32768, 1, 31, 46340 * 46340, TAP_IDLE},
        {500, 46341, 32768, 1, 31, kInt32Max, TAP_IDLE},
        {500, 0x10000, 1, 1, 31, kInt32Max, TAP_IDLE},  // d = 2^31
        {500, 0xFFFFFFFF, 1, 1, 31, kInt32Max, TAP_IDLE},
        // An unknown panel size keeps the reset values.
        {15, 4, 0, 800, 60, 160000, TAP_IDLE},
        {15, 4, 1000, 0, 60, 160000, TAP_IDLE},
    };
    for (const auto& row : rows) {
        TapFilter tap{};
        SetupTapFilter(&tap, row.time, row.area, row.width, row.height);
        EXPECT_EQ(std::tuple(tap.maxCount, tap.thresholdSq, int{tap.state}),
                  std::tuple(row.maxCount, row.thresholdSq, int{row.state}))
            << row.time << " ms, area " << row.area << ", width " << row.width;
        // A filter of one sample passes every point unchanged.
        for (const TouchPoint& p : {Touch(5, 6, 7), Touch(50000, 60000), Lifted(1, 2)}) {
            if (row.state == TAP_PASS_THROUGH) {
                EXPECT_EQ(Step(&tap, p), PointsText(&p, 1)) << row.time;
            }
        }
    }
    // A camera whose initialisation failed keeps the zero-filled filter, whose entries must
    // still bound what it writes.
    TOUCH_DATA td{};
    EXPECT_EQ(Step(&td.Tap, Touch(5, 6, 7)), "5,6,7");
}

// A still touch, held back for 30 frames; the 31st releases their integer average: x (10 * 1001
// + 21 * 1000) / 31, y (62000 + 30) / 31, z 16 ones / 31.
void HoldStillTouch(TapFilter* tap) {
    for (int frame = 0; frame < 30; ++frame) {
        ASSERT_EQ(Step(tap, Touch(frame < 10 ? 1001 : 1000, 2000 + frame % 3, frame % 2)), "-");
    }
    std::string released = "1000,2000,0";
    for (int i = 1; i < 30; ++i) {
        released += " 1000,2000,0";
    }
    ASSERT_EQ(Step(tap, Touch(1000, 2000, 1)), released);
    ASSERT_EQ(tap->state, TAP_HOLDING);
}

TEST(TapFilterTest, TouchesAreHeldBackAveragedHeldAndLeaveByMovementOrLiftOff) {
    constexpr char kFresh = 'F', kHeld = 'H';  // a scenario starts on a fresh filter, or held
    const struct {
        char start;
        TouchPoint in;
        const char* out;
        BYTE state;
    } steps[] = {
        // Jitter within the area keeps the held position.
        {kHeld, Touch(1060, 2092), "1000,2000,0", TAP_HOLDING},
        {0, Touch(940, 2092), "1000,2000,0", TAP_HOLDING},
        {0, Touch(1092, 2092), "1000,2000,0", TAP_HOLDING},
        // Movement beyond the area: the spread is measured against the held entry, 132^2 > 131^2.
        {kHeld, Touch(1132, 2000), "1000,2000,0 1132,2000,0", TAP_MOVING},
        {0, Touch(1500, 2500), "1500,2500,0", TAP_MOVING},
        {0, Lifted(7, 7), "-", TAP_IDLE},
        // A lift-off while holding ends the touch.
        {kHeld, Lifted(1000, 2000), "1000,2000,0 -", TAP_IDLE},
        {0, Touch(3000, 3000), "-", TAP_COLLECTING},
        // A spread exactly at the area does not count.
        {kFresh, Touch(1000, 2000), "-", TAP_COLLECTING},
        {0, Touch(1131, 2000), "-", TAP_COLLECTING},
        {0, Touch(1132, 2000), "1000,2000,0 1131,2000,0 1132,2000,0", TAP_MOVING},
        {0, Touch(1300, 2000), "1300,2000,0", TAP_MOVING},
        // Points at opposite ends of the coordinate range are movement.
        {kFresh, Touch(kInt32Min, kInt32Min), "-", TAP_COLLECTING},
        {0, Touch(kInt32Max, kInt32Max), "-2147483648,-2147483648,0 2147483647,2147483647,0",
         TAP_MOVING},
        // A quick tap is averaged and lifted together.
        {kFresh, Touch(1000, 2000, 4), "-", TAP_COLLECTING},
        {0, Touch(1010, 2010, 6), "-", TAP_COLLECTING},
        {0, Touch(1020, 2020, 8), "-", TAP_COLLECTING},
        {0, Lifted(), "1010,2010,6 1010,2010,6 1010,2010,6 -", TAP_IDLE},
    };
    TapFilter tap{};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        if (steps[i].start != 0) {
            SetupTapFilter(&tap, 500, 4, 1000, 800);  // 31 samples, 131^2
        }
        if (steps[i].start == kHeld) {
            HoldStillTouch(&tap);
        }
        EXPECT_EQ(Step(&tap, steps[i].in), steps[i].out);
        EXPECT_EQ(tap.state, steps[i].state);
    }
}

TEST(SplineTest, InterpolatesBetweenTheMiddlePoints) {
    const TouchPoint p = Touch(1234, 4321, 55), o = Touch(0, 0), none = Lifted();
    const struct {
        int n;
        PointHistory history;
        const char* want;
    } rows[] = {
        // A still touch gives one point.
        {0, {{p, p, p, p}}, "1234,4321,55"},
        // The first touching step repeats the new point.
        {2, {{none, Lifted(9, 9), Touch(100, 200, 3), Touch(500, 600)}}, "100,200,3 100,200,3"},
        {3, {{Touch(1, 1), Touch(2, 2), Lifted(3, 3), Touch(4, 4)}}, "- - -"},
        // Tangents from the neighbours: control points an eighth of the neighbouring chord beyond
        // the ends, at 125 and 175: t = 1/4: (27 * 100 + 27 * 125 + 9 * 175 + 200) / 64 = 122.66.
        {4,
         {{o, Touch(100, 0, 8), Touch(200, 0, 8), Touch(300, 0, 8)}},
         "123,0,8 150,0,8 177,0,8 200,0,8"},
        // Eased: P1 = C1 = 0, C2 = P2 = 10: B(t) = 10 t^2 (3 - 2t), rounded half up.
        {2, {{none, o, Touch(10, 0), none}}, "5,0,0 10,0,0"},
        {3, {{none, o, Touch(10, 0), none}}, "3,0,0 7,0,0 10,0,0"},
        // E0's size pulls the first control point's size to -100, below both ends: raised to 0.
        {2, {{Touch(0, 0, 800), o, o, none}}, "0,0,0 0,0,0"},
    };
    TouchPoint out[kMaxPoints];
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(PointsText(out, InterpolateSpline(rows[i].history, rows[i].n, out)), rows[i].want)
            << "row " << i;
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

// A coordinate converts by truncation; beyond the INT32 range it stays at the bound it passed,
// right up to the bound's edge, and a NaN gives 0.
TEST(TruncateTest, ValuesAtTheEdgesOfTheRangeKeepTheirBound) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        INT32 want;
    } rows[] = {
        {-0.99, 0},
        {2147483646.99, kInt32Max - 1},
        {2147483647.99, kInt32Max},
        {2147483648.0, kInt32Max},
        {inf, kInt32Max},
        {-2147483648.99, kInt32Min},
        {-2147483649.0, kInt32Min},
        {-inf, kInt32Min},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TruncateToInt32(row.in), row.want) << row.in;
    }
}

}  // namespace
}  // namespace ots::test
