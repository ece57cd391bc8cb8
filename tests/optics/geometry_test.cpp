// The stages before the frame path: the geometry a controller's blocks set up, sight lines
// triangulated into points, and the pairing of two cameras' views.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "optics_rig.h"
#include "touch/position_assign.h"
#include "touch/position_triangulate.h"

namespace {

using namespace optics_test;
using position::AngleSpan;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SetupGeometry, PanelBlocksTheDriverCannotUseFallBack) {
    const struct {
        const char* name;
        void (*change)(PanelParams&);
        bool usable;
    } rows[] = {
        {"sample", [](auto&) {}, true},
        {"fps 0", [](auto& p) { p.fps = 0; }, false},
        {"width 0", [](auto& p) { p.PanelWidth = 0; }, false},
        {"height 0", [](auto& p) { p.PanelHeight = 0; }, false},
        {"max speed 0", [](auto& p) { p.MaxSpeed = 0; }, false},
        {"max speed 2^31", [](auto& p) { p.MaxSpeed = INT32_MIN; }, false},
        {"ref count 0", [](auto& p) { p.VelocityRefCount = 0; }, false},
        {"weight 1", [](auto& p) { p.VelocityWeight = 1.0f; }, false},
        {"weight 0", [](auto& p) { p.VelocityWeight = 0.0f; }, true},
        {"weight below 0", [](auto& p) { p.VelocityWeight = -0.01f; }, false},
        {"weight NaN", [](auto& p) { p.VelocityWeight = kNaN; }, false},
        // A zero or negative size, rate or baseline would divide by zero or mirror the panel.
        {"negative width", [](auto& p) { p.PanelWidth = -1000; }, false},
        {"negative height", [](auto& p) { p.PanelHeight = -750; }, false},
        {"negative fps", [](auto& p) { p.fps = -100; }, false},
        {"zero baseline", [](auto& p) { p.camROffsetX = p.camLOffsetX - p.PanelWidth; }, false},
        {"negative baseline", [](auto& p) { p.camLOffsetX = 5000; }, false},
        // L about 3 * 2^31: a 32-bit sum would wrap to a negative baseline.
        {"extreme offsets",
         [](auto& p) { p.PanelWidth = p.camROffsetX = INT32_MAX, p.camLOffsetX = INT32_MIN; },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PanelParams p = kPanel;
        row.change(p);
        const Block panel = ots::sim::EncodePanelParams(p);
        const auto oc = ContextWith(&panel);
        const double l = static_cast<double>(p.camROffsetX) - p.camLOffsetX + p.PanelWidth;
        const auto usableOr = [&](double v, float fallback) {
            return row.usable ? static_cast<float>(v) : fallback;
        };
        EXPECT_FLOAT_EQ(oc->ScaleX, usableOr(32768.0 * l / p.PanelWidth, 32768.0f));
        EXPECT_FLOAT_EQ(oc->ScaleY, usableOr(32768.0 * l / p.PanelHeight, 43690.668f));
        EXPECT_FLOAT_EQ(oc->OffsetX, usableOr(32768.0 * p.camLOffsetX / p.PanelWidth, 0.0f));
        EXPECT_FLOAT_EQ(oc->OffsetY, usableOr(32768.0 * p.camOffsetY / p.PanelHeight, 0.0f));
        EXPECT_FLOAT_EQ(oc->ScaleZ, oc->ScaleX);
        EXPECT_FLOAT_EQ(oc->MaxStep, usableOr(p.MaxSpeed / 100.0 / l, 0.25f));
        // The panel area in baseline units; the fall-back is a 4:3 screen under the baseline.
        const double left = -static_cast<double>(p.camLOffsetX) / l;
        const double top = -static_cast<double>(p.camOffsetY) / l;
        EXPECT_NEAR(oc->Panel.left, row.usable ? left : 0.0, 1e-9);
        EXPECT_NEAR(oc->Panel.top, row.usable ? top : 0.0, 1e-9);
        EXPECT_NEAR(oc->Panel.right, row.usable ? left + p.PanelWidth / l : 1.0, 1e-9);
        EXPECT_NEAR(oc->Panel.bottom, row.usable ? top + p.PanelHeight / l : 0.75, 1e-9);
        // Tracking starts afresh, whatever the context held (ContextWith fills it with ones).
        for (const PointRing* ring : {&oc->RingA, &oc->RingB}) {
            EXPECT_EQ(ring->index, -1);
            EXPECT_TRUE(std::ranges::all_of(ring->work, [](double w) { return w == 0.0; }));
            EXPECT_TRUE(std::ranges::none_of(ring->entries, [](auto& e) { return e.valid != 0; }));
        }
        for (const SolvedPoint* t :
             {&oc->LastRawA, &oc->LastRawB, &oc->PointA, &oc->PointB, &oc->TrackA, &oc->TrackB}) {
            EXPECT_EQ(t->valid, 0);
        }
        EXPECT_EQ(oc->AmbiguityCount, 0);
    }
}

TEST(SetupGeometry, CameraBlocksGiveScaledLensModelsUnlessUnusable) {
    // B looks back along the baseline from CameraParams0: its lens negated.
    CameraParams zero = kLens;
    zero.K = 1.0f;
    zero.J = 0.0f;
    const Block block1 = ots::sim::EncodeCameraParams(kLens);
    const Block block0 = ots::sim::EncodeCameraParams(zero);
    const auto oc = ContextWith(nullptr, &block1, &block0);
    const float wantA[8] = {0.25f, 2.0f, 0.4f, -0.1f, 0, 0, 0, 0.02f};  // K·p, K·p0 + J
    for (int k = 0; k < 8; ++k) {
        EXPECT_FLOAT_EQ(oc->CameraModelA.c[k], wantA[k]) << "c" << k;
        EXPECT_EQ(oc->CameraModelB.c[k], -zero.p[k]) << "c" << k;
    }
    EXPECT_EQ(oc->CameraModelB.firstPixel, 20);
    EXPECT_EQ(oc->CameraModelB.lastPixel, 610);

    const struct {
        const char* name;
        void (*change)(CameraParams&);
        bool usable;
        INT32 first = 20, last = 610;
    } rows[] = {
        {"p1 0.8", [](auto& c) { c.p[1] = 0.8f; }, true},
        {"p1 1.5", [](auto& c) { c.p[1] = 1.5f; }, true},
        {"p1 -1", [](auto& c) { c.p[1] = -1.0f; }, true},
        {"p1 below 0.8", [](auto& c) { c.p[1] = std::nextafter(0.8f, 0.0f); }, false},
        {"p1 above 1.5", [](auto& c) { c.p[1] = std::nextafter(1.5f, 2.0f); }, false},
        {"p1 -1.6", [](auto& c) { c.p[1] = -1.6f; }, false},
        {"p1 NaN", [](auto& c) { c.p[1] = kNaN; }, false},
        {"infinite coefficient", [](auto& c) { c.p[7] = -kInf; }, false},
        {"NaN offset J", [](auto& c) { c.J = kNaN; }, false},
        {"K·p overflows", [](auto& c) { c.K = 3.0e38f, c.p[1] = 1.2f; }, false},
        {"K·p0 + J overflows", [](auto& c) { c.p[0] = 1, c.K = 2.0e38f, c.J = 3.0e38f; }, false},
        {"range clamped", [](auto& c) { c.firstPixel = -10, c.lastPixel = 1000; }, true, 0, 640},
        {"range beyond the line", [](auto& c) { c.firstPixel = 700, c.lastPixel = 800; }, false},
        {"range before the line", [](auto& c) { c.firstPixel = -20, c.lastPixel = -5; }, false},
        {"empty range", [](auto& c) { c.firstPixel = 100, c.lastPixel = 100; }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CameraParams cam = kLens;
        row.change(cam);
        const Block block = ots::sim::EncodeCameraParams(cam);
        const auto set = ContextWith(nullptr, &block, &block);
        for (const CameraModel* m : {&set->CameraModelA, &set->CameraModelB}) {
            const float sign = m == &set->CameraModelA ? 1.0f : -1.0f;
            EXPECT_EQ(m->firstPixel, row.usable ? row.first : 0);
            EXPECT_EQ(m->lastPixel, row.usable ? row.last : 640);
            EXPECT_FLOAT_EQ(m->c[1], sign * (row.usable ? cam.K * cam.p[1] : 1.15f));
            EXPECT_EQ(m->c[2], row.usable ? sign * cam.K * cam.p[2] : 0.0f);
        }
    }
}

using position::Triangulate;

AngleSpan Span(double center, double width = 0.0) {
    return AngleSpan{center - width / 2, center + width / 2, center, width};
}

TEST(Triangulate, SightLinesThatDoNotMeetAheadOfBothCamerasGiveNoPoint) {
    const struct {
        const char* name;
        AngleSpan a, b;
        int valid;
    } rows[] = {
        {"parallel", Span(0.3, 0.01), Span(-0.3, 0.01), 0},
        {"both along the baseline normal", Span(0.0), Span(0.0), 0},
        {"NaN angle", Span(kNaN), Span(0.7), 0},
        {"infinite angle", Span(0.7), Span(std::numeric_limits<double>::infinity()), 0},
        {"meeting behind the baseline", Span(-0.3), Span(-0.3), 0},
        {"camera A looking back past its right angle", Span(2.0), Span(0.3), 0},
        {"in front, but behind camera A's ray", Span(std::numbers::pi - 0.3), Span(1.2), 0},
        {"in front, but behind camera B's ray", Span(1.2), Span(std::numbers::pi - 0.3), 0},
        // Shadows of no width, or of a width no finger casts, still give a finite size.
        {"no width", Span(0.7, 0.0), Span(0.6, 0.05), 1},
        {"both no width", Span(0.7, 0.0), Span(0.6, 0.0), 1},
        {"width 7", Span(0.7, 7.0), Span(0.6, 0.05), 1},
        {"NaN width", Span(0.7, kNaN), Span(0.6, 0.05), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SolvedPoint p = Triangulate(row.a, row.b);
        EXPECT_EQ(p.valid, row.valid);
        EXPECT_TRUE(IsFinite(p));
        EXPECT_GE(p.mismatch, 0.0);
    }
}

// A point against a reference: their distance weighted by the point's mismatch + 1; a side
// missing costs half of the maximum step and 100, both missing 200.
TEST(Cost, FollowsWhichSidesArePresent) {
    const SolvedPoint p{0.3, 0.4, 0.01, 0.5, 1};
    EXPECT_DOUBLE_EQ(position::Cost(&p, At(0.6, 0.8), 0.25), 0.75);
    EXPECT_DOUBLE_EQ(position::Cost(nullptr, At(0.6, 0.8), 0.25), 100.125);
    EXPECT_DOUBLE_EQ(position::Cost(&p, SolvedPoint{}, 0.25), 100.125);
    EXPECT_DOUBLE_EQ(position::Cost(nullptr, SolvedPoint{}, 0.25), 200.0);
}

using position::CameraView;
using position::FramePoints;
using position::SolveByBlobCounts;

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
    const CameraView one{{Span(0.78, 0.02)}, 1};
    const CameraView three{{Span(0.78, 0.02), Span(0.95, 0.02)}, 3};
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
