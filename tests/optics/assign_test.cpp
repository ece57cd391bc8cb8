#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

#include "optics_blocks.h"
#include "optics_scene.h"
#include "touch/position_assign.h"
#include "touch/position_triangulate.h"

namespace {

using optics_test::DistanceTo;
using optics_test::Finger;
using position::AngleSpan;
using position::CameraView;
using position::FramePoints;

AngleSpan SpanFrom(double dx, double y, double r) {
    const double center = std::atan2(dx, y);
    const double half = std::asin(r / std::hypot(dx, y));
    return AngleSpan{center - half, center + half, center, 2 * half};
}

// What each camera sees of the fingers, in pixel order: camera A's angles grow with the
// pixel, camera B's shrink. The span array holds only as many blobs as a line can report.
CameraView View(std::initializer_list<Finger> fingers, bool cameraB) {
    std::vector<AngleSpan> spans;
    for (const Finger& f : fingers) {
        spans.push_back(SpanFrom(cameraB ? 1 - f.x : f.x, f.y, f.r));
    }
    std::sort(spans.begin(), spans.end(), [cameraB](const AngleSpan& l, const AngleSpan& r) {
        return cameraB ? l.center > r.center : l.center < r.center;
    });
    CameraView v{};
    v.count = static_cast<int>(std::min(spans.size(), std::size(v.spans)));
    std::copy_n(spans.begin(), v.count, v.spans);
    return v;
}
CameraView ViewA(std::initializer_list<Finger> fingers) {
    return View(fingers, false);
}
CameraView ViewB(std::initializer_list<Finger> fingers) {
    return View(fingers, true);
}

SolvedPoint At(double x, double y) {
    return SolvedPoint{x, y, 0.01, 0.0, 1};
}

struct Tracker {
    std::unique_ptr<OpticalContext> oc = optics_test::DefaultContext();
    FramePoints Solve(const CameraView& a, const CameraView& b) {
        return position::SolveByBlobCounts(a, b, *oc);
    }
};

constexpr double kNear = 1e-9;

TEST(AssignOneTouch, ContinuesTheNearerOrOnlyTrackElseStartsA) {
    const auto oc = optics_test::DefaultContext();
    const SolvedPoint track{0.3, 0.4, 0.01, 0.0, 1};
    // Nine tenths of the panel's maximum step from the only track, the cameras seeing it at
    // different sizes: still the same finger.
    const double fastX = track.x + 0.9 * oc->MaxStep;
    const struct {
        const char* name;
        SolvedPoint trackA, trackB;
        Finger f;
        bool isA;
    } rows[] = {
        {"no tracks", {}, {}, {0.4, 0.5}, true},
        {"nearer B", At(0.2, 0.3), At(0.7, 0.6), {0.68, 0.62}, false},
        {"nearer A", At(0.2, 0.3), At(0.7, 0.6), {0.22, 0.31}, true},
        {"fast, only A", track, {}, {fastX, 0.4, 0.0}, true},
        {"fast, only B", {}, track, {fastX, 0.4, 0.0}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        oc->TrackA = row.trackA;
        oc->TrackB = row.trackB;
        const AngleSpan a = SpanFrom(row.f.x, row.f.y, row.f.r == 0.0 ? 0.001 : row.f.r);
        const AngleSpan b = SpanFrom(1 - row.f.x, row.f.y, row.f.r == 0.0 ? 0.002 : row.f.r);
        const FramePoints r = position::AssignOneTouch(a, b, *oc);
        EXPECT_EQ(r.first.valid, row.isA ? 1 : 0);
        EXPECT_EQ(r.second.valid, row.isA ? 0 : 1);
        EXPECT_LT(DistanceTo(row.isA ? r.first : r.second, row.f), kNear);
    }
}

TEST(SolveTwoTouches, ThePairingFarthestApartOnThePanelWinsUnlessTracksDecide) {
    enum Outcome { kInOrder, kSwapped, kEitherOrder, kGhosts };
    // The fall-back panel spans y 0..0.75; a touch may lie up to 5 % of its height beyond.
    // The panel block puts cameras 30 units left of and 20 above a 1000 x 750 panel.
    const optics_test::Block panel = optics_test::PanelBlock(optics_test::Panel{});
    enum Geometry { kFallback, kBlock, kNoGeometry };
    const struct {
        const char* name;
        Geometry geometry;
        SolvedPoint trackA, trackB;
        Finger p, q;
        Outcome outcome;
    } rows[] = {
        // The ghosts (0.5, 2.5) and (0.5, 0.2778) lie farther apart, but one far off the panel.
        {"side by side", kFallback, {}, {}, {0.1, 0.5}, {0.9, 0.5}, kInOrder},
        // Here the ghosts (0.854, 0.512) and (0.407, 0.356) lie closer together.
        {"fingers farthest apart", kFallback, {}, {}, {0.5, 0.3}, {0.8, 0.7}, kEitherOrder},
        {"just on the panel", kFallback, {}, {}, {0.1, 0.78}, {0.9, 0.78}, kInOrder},
        {"off the panel", kFallback, {}, {}, {0.1, 0.8}, {0.9, 0.8}, kGhosts},
        {"far off the panel", kFallback, {}, {}, {0.1, 0.9}, {0.9, 0.9}, kGhosts},
        {"on the panel of the block", kBlock, {}, {}, {0.15, 0.7}, {0.85, 0.7}, kInOrder},
        {"no panel area", kNoGeometry, {}, {}, {0.1, 0.5}, {0.9, 0.5}, kGhosts},
        {"tracks", kFallback, At(0.31, 0.41), At(0.69, 0.5), {0.3, 0.4}, {0.7, 0.5}, kInOrder},
        {"swapped", kFallback, At(0.69, 0.5), At(0.31, 0.41), {0.3, 0.4}, {0.7, 0.5}, kSwapped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto oc = std::make_unique<OpticalContext>();
        std::memset(oc.get(), 0, sizeof(OpticalContext));
        if (row.geometry != kNoGeometry) {
            SetupGeometry(row.geometry == kBlock ? panel.data() : nullptr, nullptr, nullptr,
                          oc.get());
        }
        oc->TrackA = row.trackA;
        oc->TrackB = row.trackB;
        const FramePoints r =
            position::SolveByBlobCounts(ViewA({row.p, row.q}), ViewB({row.p, row.q}), *oc);
        ASSERT_EQ(r.first.valid + r.second.valid, 2);
        const double direct = DistanceTo(r.first, row.p) + DistanceTo(r.second, row.q);
        const double swapped = DistanceTo(r.first, row.q) + DistanceTo(r.second, row.p);
        switch (row.outcome) {
            case kInOrder:
                EXPECT_LT(direct, kNear);
                break;
            case kSwapped:
                EXPECT_LT(swapped, kNear);
                break;
            case kEitherOrder:
                EXPECT_LT(std::min(direct, swapped), kNear);
                break;
            case kGhosts:  // the pair on the line through the middle, one far below the panel
                EXPECT_NEAR(r.first.x, 0.5, kNear);
                EXPECT_GT(r.first.y, 1.0);
                break;
        }
    }
}

TEST(SolveTwoTouches, PairingWithParallelSightLinesNeverWins) {
    // A0 and B1 are parallel (tan 0.3 + tan -0.3 = 0); every other pair of sight lines meets
    // ahead of both cameras.
    auto span = [](double center) { return AngleSpan{center, center, center, 0.0}; };
    CameraView a{};
    a.spans[0] = span(0.3);
    a.spans[1] = span(1.3);
    a.count = 2;
    CameraView b{};
    b.spans[0] = span(1.0);
    b.spans[1] = span(-0.3);
    b.count = 2;
    Tracker t;
    const FramePoints r = t.Solve(a, b);
    ASSERT_EQ(r.first.valid, 1);
    ASSERT_EQ(r.second.valid, 1);
    const SolvedPoint expected = position::Triangulate(a.spans[0], b.spans[0]);
    EXPECT_EQ(r.first.x, expected.x);
    EXPECT_EQ(r.first.y, expected.y);
}

TEST(SolveByBlobCounts, OneAgainstTwoHoldsTwoFramesThenSplits) {
    // Q stands behind P on camera A's sight line: A sees one wide shadow.
    const Finger p{0.3, 0.3, 0.02};
    const Finger q{0.5, 0.5, 0.02};
    const CameraView a = ViewA({p});  // Q's narrower shadow lies inside P's
    const CameraView b = ViewB({p, q});

    Tracker t;
    t.oc->TrackA = At(0.31, 0.3);
    t.oc->TrackB = At(0.5, 0.51);
    for (int held = 1; held <= 2; ++held) {
        const FramePoints r = t.Solve(a, b);
        EXPECT_EQ(t.oc->AmbiguityCount, held);
        EXPECT_EQ(r.first.x, t.oc->TrackA.x);
        EXPECT_EQ(r.second.y, t.oc->TrackB.y);
    }
    const FramePoints r = t.Solve(a, b);
    EXPECT_EQ(t.oc->AmbiguityCount, 2);
    ASSERT_EQ(r.first.valid, 1);
    ASSERT_EQ(r.second.valid, 1);
    // Each half of the shadow is narrower than the finger it hides, so the split is close.
    EXPECT_LT(DistanceTo(r.first, p), 0.05);
    EXPECT_LT(DistanceTo(r.second, q), 0.05);

    // The same with the cameras' roles exchanged: B sees one shadow.
    Tracker mirrored;
    mirrored.oc->TrackA = At(0.7, 0.3);
    mirrored.oc->TrackB = At(0.5, 0.5);
    mirrored.oc->AmbiguityCount = 2;
    const Finger pm{0.7, 0.3, 0.02};
    const FramePoints m = mirrored.Solve(ViewA({pm, q}), ViewB({pm}));
    EXPECT_LT(DistanceTo(m.first, pm), 0.05);
    EXPECT_LT(DistanceTo(m.second, q), 0.05);
}

TEST(SolveByBlobCounts, OneCameraBlindHoldsFourFramesThenLetsGo) {
    const Finger f{0.4, 0.5};
    const CameraView none{};
    for (const bool blindA : {true, false}) {
        SCOPED_TRACE(blindA ? "A blind" : "B blind");
        Tracker t;
        t.oc->LastRawA = At(0.4, 0.5);
        t.oc->LastRawB = SolvedPoint{};
        for (int held = 1; held <= 4; ++held) {
            const FramePoints r = blindA ? t.Solve(none, ViewB({f})) : t.Solve(ViewA({f, f}), none);
            EXPECT_EQ(t.oc->AmbiguityCount, held);
            EXPECT_EQ(r.first.valid, 1);
            EXPECT_EQ(r.first.x, 0.4);
        }
        const FramePoints r = blindA ? t.Solve(none, ViewB({f})) : t.Solve(ViewA({f}), none);
        EXPECT_EQ(r.first.valid, 0);
        EXPECT_EQ(r.second.valid, 0);
        EXPECT_EQ(t.oc->AmbiguityCount, 4);
    }
}

TEST(SolveByBlobCounts, EqualCountsResetTheHoldAndTooManyBlobsGiveNothing) {
    const Finger p{0.3, 0.4};
    const Finger q{0.7, 0.5};
    const struct {
        CameraView a;
        CameraView b;
        int valid;
    } equal[] = {{CameraView{}, CameraView{}, 0},
                 {ViewA({p}), ViewB({p}), 1},
                 {ViewA({p, q}), ViewB({p, q}), 2}};
    for (const auto& c : equal) {
        Tracker t;
        t.oc->AmbiguityCount = 3;
        const FramePoints r = t.Solve(c.a, c.b);
        EXPECT_EQ(t.oc->AmbiguityCount, 0);
        EXPECT_EQ(r.first.valid + r.second.valid, c.valid);
    }

    Tracker t;
    t.oc->AmbiguityCount = 1;
    t.oc->LastRawA = At(0.5, 0.5);
    CameraView three = ViewA({p, q});
    three.count = 3;
    const FramePoints r = t.Solve(three, ViewB({p}));
    EXPECT_EQ(r.first.valid, 0);
    EXPECT_EQ(r.second.valid, 0);
    EXPECT_EQ(t.oc->AmbiguityCount, 1);
}

TEST(IsCornerPair, BothPointsMustHugTheSameCamera) {
    const struct {
        SolvedPoint p;
        SolvedPoint q;
        bool corner;
    } cases[] = {
        {At(0.05, 0.05), At(0.09, 0.079), true},
        {At(0.95, 0.01), At(0.91, 0.07), true},
        {At(0.05, 0.05), At(0.09, 0.08), false},  // y must stay below 0.08
        {At(0.05, 0.05), At(0.1, 0.05), false},   // x must stay below 0.1
        {At(0.95, 0.05), At(0.9, 0.05), false},   // or above 0.9
        {At(0.05, 0.05), At(0.95, 0.05), false},  // one at each camera
        {At(0.05, 0.05), SolvedPoint{0.06, 0.05, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(position::IsCornerPair(FramePoints{c.p, c.q}), c.corner)
            << c.p.x << "," << c.p.y << " " << c.q.x << "," << c.q.y;
    }
}

}  // namespace
