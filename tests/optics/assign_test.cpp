#include <gtest/gtest.h>

#include <cmath>

#include "optics_rig.h"
#include "touch/position_assign.h"
#include "touch/position_triangulate.h"

namespace {

using namespace optics_test;
using position::AngleSpan;
using position::CameraView;
using position::FramePoints;
using position::SolveByBlobCounts;

SolvedPoint At(double x, double y) {
    return SolvedPoint{x, y, 0.01, 0.0, 1};
}

TEST(SolveTwoTouches, PairingWithParallelSightLinesNeverWins) {
    // A0 and B1 are parallel; the pairing that takes them would put its one point (0.75, 2.5)
    // farther from (0, 0) than the other pairing's points (0.5, 5) and (1.5, 5) lie apart.
    auto span = [](double tangent) {
        const double c = std::atan(tangent);
        return AngleSpan{c, c, c, 0.0};
    };
    const CameraView a{{span(0.1), span(0.3)}, 2};
    const CameraView b{{span(0.1), span(-0.1)}, 2};
    const auto oc = ContextWith();
    const FramePoints r = SolveByBlobCounts(a, b, *oc);
    ASSERT_EQ(r.second.valid, 1);
    const SolvedPoint expected = position::Triangulate(a.spans[0], b.spans[0]);
    EXPECT_EQ(r.first.x, expected.x);
    EXPECT_EQ(r.first.y, expected.y);
}

// A line reports two blobs at most: a view of more gives nothing and leaves the hold count.
TEST(SolveByBlobCounts, MoreBlobsThanALineReportsGiveNothing) {
    const CameraView one{{SpanOf(0.3, 0.3, 0.01)}, 1};
    const CameraView three{{SpanOf(0.3, 0.3, 0.01), SpanOf(0.7, 0.5, 0.01)}, 3};
    for (const auto& [a, b] : {std::pair{three, one}, {one, three}}) {
        const auto oc = ContextWith();
        oc->AmbiguityCount = 1;
        oc->TrackA = oc->LastRawA = At(0.3, 0.3);
        const FramePoints s = SolveByBlobCounts(a, b, *oc);
        EXPECT_EQ(s.first.valid + s.second.valid, 0);
        EXPECT_EQ(oc->AmbiguityCount, 1);
    }
}

TEST(IsCornerPair, BothPointsMustHugTheSameCamera) {
    const struct {
        SolvedPoint p, q;
        bool corner;
    } rows[] = {
        {At(0.05, 0.05), At(0.09, 0.079), true},
        {At(0.95, 0.01), At(0.91, 0.07), true},
        {At(0.05, 0.05), At(0.09, 0.08), false},  // y must stay below 0.08
        {At(0.05, 0.05), At(0.1, 0.05), false},   // x must stay below 0.1
        {At(0.95, 0.05), At(0.9, 0.05), false},   // or above 0.9
        {At(0.05, 0.05), At(0.95, 0.05), false},  // one at each camera
        {At(0.05, 0.05), SolvedPoint{0.06, 0.05, 0, 0, 0}, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(position::IsCornerPair(FramePoints{row.p, row.q}), row.corner) << &row - rows;
    }
}

}  // namespace
