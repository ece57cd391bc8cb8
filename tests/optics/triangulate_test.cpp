#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "optics_scene.h"
#include "touch/position_triangulate.h"

namespace {

using position::AngleSpan;
using position::Cost;
using position::Triangulate;

constexpr double kQuarterPi = std::numbers::pi / 4.0;

AngleSpan Span(double center, double width = 0.0) {
    return AngleSpan{center - width / 2, center + width / 2, center, width};
}

// The spans under which the two cameras see a finger of radius r at (x, y).
void SpansOf(double x, double y, double r, AngleSpan& a, AngleSpan& b) {
    const double dA = std::hypot(x, y);
    const double dB = std::hypot(1 - x, y);
    a = Span(std::atan2(x, y), 2 * std::asin(r / dA));
    b = Span(std::atan2(1 - x, y), 2 * std::asin(r / dB));
}

TEST(Triangulate, SymmetricCentersMeetInTheMiddle) {
    const SolvedPoint p = Triangulate(Span(kQuarterPi), Span(kQuarterPi));
    EXPECT_EQ(p.valid, 1);
    EXPECT_NEAR(p.x, 0.5, 1e-15);
    EXPECT_NEAR(p.y, 0.5, 1e-15);
}

TEST(Triangulate, RecoversPositionAndRadiusOfARoundFinger) {
    for (auto [x, y] : {std::pair{0.3, 0.6}, std::pair{0.85, 0.2}, std::pair{0.05, 0.9}}) {
        SCOPED_TRACE(x);
        AngleSpan a, b;
        SpansOf(x, y, 0.02, a, b);
        const SolvedPoint p = Triangulate(a, b);
        ASSERT_EQ(p.valid, 1);
        EXPECT_NEAR(p.x, x, 1e-12);
        EXPECT_NEAR(p.y, y, 1e-12);
        // Both sight lines are tangents of the finger: each camera estimates its radius.
        EXPECT_NEAR(p.size, 0.02, 1e-12);
        EXPECT_NEAR(p.mismatch, 0.0, 1e-9);
    }
}

TEST(Triangulate, SizeIsTheHarmonicMeanAndMismatchTheLogRatio) {
    AngleSpan a, b;
    SpansOf(0.5, 0.5, 0.02, a, b);
    b = Span(b.center, 2 * std::asin(0.04 / std::hypot(0.5, 0.5)));  // B sees it twice as large
    const SolvedPoint p = Triangulate(a, b);
    EXPECT_NEAR(p.size, 2.0 / (1 / 0.02 + 1 / 0.04), 1e-12);
    EXPECT_NEAR(p.mismatch, std::log(2.0), 1e-9);
    const SolvedPoint q = Triangulate(b, a);  // symmetric in the two cameras
    EXPECT_NEAR(q.mismatch, std::log(2.0), 1e-9);
}

TEST(Triangulate, ParallelOrBrokenSightLinesGiveNoPoint) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        AngleSpan a;
        AngleSpan b;
    } cases[] = {
        {"parallel", Span(0.3, 0.01), Span(-0.3, 0.01)},
        {"both along the baseline normal", Span(0.0), Span(0.0)},
        {"NaN angle", Span(nan), Span(0.7)},
        {"infinite angle", Span(0.7), Span(inf)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SolvedPoint p = Triangulate(c.a, c.b);
        EXPECT_EQ(p.valid, 0);
        EXPECT_TRUE(optics_test::IsFinite(p));
    }
}

TEST(Triangulate, DegenerateWidthsKeepSizeAndMismatchFinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto [wA, wB] :
         {std::pair{0.0, 0.05}, std::pair{0.0, 0.0}, std::pair{7.0, 0.05}, std::pair{nan, 0.05}}) {
        SCOPED_TRACE(wA);
        const SolvedPoint p = Triangulate(Span(0.7, wA), Span(0.6, wB));
        EXPECT_EQ(p.valid, 1);
        EXPECT_TRUE(std::isfinite(p.size));
        EXPECT_TRUE(std::isfinite(p.mismatch));
        EXPECT_GE(p.mismatch, 0.0);
    }
}

TEST(Cost, FollowsWhichSidesArePresent) {
    const double maxStep = 0.25;
    const SolvedPoint none{};
    SolvedPoint p{0.3, 0.4, 0.01, 0.5, 1};
    SolvedPoint q{0.6, 0.8, 0.01, 0.0, 1};
    EXPECT_DOUBLE_EQ(Cost(nullptr, none, maxStep), 200.0);
    EXPECT_DOUBLE_EQ(Cost(&none, none, maxStep), 200.0);
    EXPECT_DOUBLE_EQ(Cost(nullptr, q, maxStep), 100.125);
    EXPECT_DOUBLE_EQ(Cost(&p, none, maxStep), 100.125);
    // |p - q| = 0.5, weighted by the candidate's mismatch + 1.
    EXPECT_DOUBLE_EQ(Cost(&p, q, maxStep), 0.75);
    EXPECT_DOUBLE_EQ(Cost(&q, p, maxStep), 0.5);
}

}  // namespace
