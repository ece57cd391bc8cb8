#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "optics_rig.h"
#include "touch/position_assign.h"
#include "touch/position_triangulate.h"

namespace {

using namespace optics_test;
using position::AngleSpan;
using position::CameraView;
using position::FramePoints;
using position::SolveByBlobCounts;

// What a camera sees of the fingers, in pixel order: camera A's angles grow with the pixel,
// camera B's shrink. The span array holds only as many blobs as a line can report.
CameraView View(std::initializer_list<Finger> fingers, bool cameraB = false) {
    std::vector<AngleSpan> spans;
    for (const Finger& f : fingers) {
        spans.push_back(SpanOf(cameraB ? 1 - f.x : f.x, f.y, f.r));
    }
    std::sort(spans.begin(), spans.end(), [cameraB](const AngleSpan& l, const AngleSpan& r) {
        return cameraB ? l.center > r.center : l.center < r.center;
    });
    CameraView v{};
    v.count = static_cast<int>(std::min(spans.size(), std::size(v.spans)));
    std::copy_n(spans.begin(), v.count, v.spans);
    return v;
}
CameraView ViewB(std::initializer_list<Finger> fingers) {
    return View(fingers, true);
}

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

// Equal counts end any hold. One camera sees two fingers, the other one shadow: the tracks
// are held while the count of held frames is below 2, then the shadow is split in halves. A
// camera that sees nothing holds the last solution while the count is at most 3. More blobs
// than a line reports give nothing and leave the count alone.
TEST(SolveByBlobCounts, CountsDecideBetweenSolvingHoldingAndSplitting) {
    const Finger p{0.3, 0.3, 0.02};
    const Finger q{0.5, 0.5, 0.02};   // behind P on camera A's sight line: A sees one shadow
    const Finger pm{0.7, 0.3, 0.02};  // the same with the cameras' roles exchanged
    const Finger r{0.7, 0.5};
    const CameraView none{};
    CameraView three = View({p, r});
    three.count = 3;
    const struct {
        const char* name;
        CameraView a, b;
        Finger first, second;
        int hold, valid, ambiguity;
    } rows[] = {
        {"A sees one", View({p}), ViewB({p, q}), p, q, 1, 2, 2},
        {"B sees one", View({pm, q}), ViewB({pm}), pm, q, 1, 2, 2},
        {"A blind", none, ViewB({p}), p, q, 3, 0, 4},
        {"B blind", View({p, q}), none, p, q, 3, 0, 4},
        {"none", none, none, p, r, 0, 0, 0},
        {"one each", View({p}), ViewB({p}), p, r, 0, 1, 0},
        {"two each", View({p, r}), ViewB({p, r}), p, r, 0, 2, 0},
        {"three in A", three, ViewB({p}), p, r, 0, 0, 1},
        {"three in B", View({p}), three, p, r, 0, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto oc = ContextWith();
        oc->AmbiguityCount = 1;
        oc->TrackA = oc->LastRawA = At(row.first.x + 0.01, row.first.y);
        oc->TrackB = At(row.second.x, row.second.y + 0.01);
        for (int held = 1; held <= row.hold; ++held) {
            const FramePoints s = SolveByBlobCounts(row.a, row.b, *oc);
            EXPECT_EQ(oc->AmbiguityCount, 1 + held);
            EXPECT_EQ(s.first.x, row.first.x + 0.01);
        }
        const FramePoints s = SolveByBlobCounts(row.a, row.b, *oc);
        EXPECT_EQ(oc->AmbiguityCount, row.ambiguity);
        EXPECT_EQ(s.first.valid + s.second.valid, row.valid);
        // Each half of a split is narrower than the finger it hides: the split is close.
        EXPECT_TRUE(row.valid < 1 || DistanceTo(s.first, row.first) < 0.05);
        EXPECT_TRUE(row.valid < 2 || DistanceTo(s.second, row.second) < 0.05);
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
