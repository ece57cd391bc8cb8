#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "optics_rig.h"
#include "touch/position_triangulate.h"

namespace {

using position::AngleSpan;
using position::Triangulate;

AngleSpan Span(double center, double width = 0.0) {
    return AngleSpan{center - width / 2, center + width / 2, center, width};
}

// The span under which a camera sees a finger of radius r at dx along and y off the baseline.
AngleSpan SpanOf(double dx, double y, double r) {
    return Span(std::atan2(dx, y), 2 * std::asin(r / std::hypot(dx, y)));
}

TEST(Triangulate, RecoversPositionAndRadiusOfARoundFinger) {
    for (auto [x, y] : {std::pair{0.5, 0.5}, {0.3, 0.6}, {0.85, 0.2}, {0.05, 0.9}}) {
        SCOPED_TRACE(x);
        const SolvedPoint p = Triangulate(SpanOf(x, y, 0.02), SpanOf(1 - x, y, 0.02));
        ASSERT_EQ(p.valid, 1);
        EXPECT_NEAR(p.x, x, 1e-12);
        EXPECT_NEAR(p.y, y, 1e-12);
        // Both sight lines are tangents of the finger: each camera estimates its radius.
        EXPECT_NEAR(p.size, 0.02, 1e-12);
        EXPECT_NEAR(p.mismatch, 0.0, 1e-9);
    }
    // B sees it twice as large: the harmonic mean and the log of the ratio, either way round.
    const AngleSpan a = SpanOf(0.5, 0.5, 0.02);
    const AngleSpan b = SpanOf(0.5, 0.5, 0.04);
    EXPECT_NEAR(Triangulate(a, b).size, 2.0 / (1 / 0.02 + 1 / 0.04), 1e-12);
    EXPECT_NEAR(Triangulate(a, b).mismatch, std::log(2.0), 1e-9);
    EXPECT_NEAR(Triangulate(b, a).mismatch, std::log(2.0), 1e-9);
}

TEST(Triangulate, SightLinesThatDoNotMeetAheadOfBothCamerasGiveNoPoint) {
    constexpr double kPi = std::numbers::pi;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        AngleSpan a, b;
        int valid;
    } rows[] = {
        {"parallel", Span(0.3, 0.01), Span(-0.3, 0.01), 0},
        {"both along the baseline normal", Span(0.0), Span(0.0), 0},
        {"NaN angle", Span(nan), Span(0.7), 0},
        {"infinite angle", Span(0.7), Span(std::numeric_limits<double>::infinity()), 0},
        {"meeting behind the baseline", Span(-0.3), Span(-0.3), 0},
        {"camera A looking back past its right angle", Span(2.0), Span(0.3), 0},
        {"in front, but behind camera A's ray", Span(kPi - 0.3), Span(1.2), 0},
        {"in front, but behind camera B's ray", Span(1.2), Span(kPi - 0.3), 0},
        // Shadows of no width, or of a width no finger casts, still give a finite size.
        {"no width", Span(0.7, 0.0), Span(0.6, 0.05), 1},
        {"both no width", Span(0.7, 0.0), Span(0.6, 0.0), 1},
        {"width 7", Span(0.7, 7.0), Span(0.6, 0.05), 1},
        {"NaN width", Span(0.7, nan), Span(0.6, 0.05), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SolvedPoint p = Triangulate(row.a, row.b);
        EXPECT_EQ(p.valid, row.valid);
        EXPECT_TRUE(optics_test::IsFinite(p));
        EXPECT_GE(p.mismatch, 0.0);
    }
}

TEST(Cost, FollowsWhichSidesArePresent) {
    const SolvedPoint none{};
    const SolvedPoint p{0.3, 0.4, 0.01, 0.5, 1};
    const SolvedPoint q{0.6, 0.8, 0.01, 0.0, 1};
    EXPECT_DOUBLE_EQ(position::Cost(nullptr, none, 0.25), 200.0);
    EXPECT_DOUBLE_EQ(position::Cost(&none, none, 0.25), 200.0);
    EXPECT_DOUBLE_EQ(position::Cost(nullptr, q, 0.25), 100.125);
    EXPECT_DOUBLE_EQ(position::Cost(&p, none, 0.25), 100.125);
    // |p - q| = 0.5, weighted by the candidate's mismatch + 1.
    EXPECT_DOUBLE_EQ(position::Cost(&p, q, 0.25), 0.75);
    EXPECT_DOUBLE_EQ(position::Cost(&q, p, 0.25), 0.5);
}

}  // namespace
