// The stages before the frame path: the geometry a controller's blocks set up, sight lines
// triangulated into points, and the pairing of two cameras' views.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "optics_rig.h"
#include "support/golden.h"
#include "touch/position_assign.h"
#include "touch/position_triangulate.h"

namespace {

using namespace optics_test;
using position::AngleSpan;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The context each pair of blocks leaves, one line a block: the output scale (x, y, z), the
// offsets, the maximum step and the panel area in baseline units, whether tracking starts
// afresh, and whether the simulated panel takes the block as the driver does; then the lens
// models of cameras A and B (pixel range, c0..c7). A block the driver cannot use falls back to
// scale 32768 43690.668, no offsets, step 0.25 and the 4:3 area (0, 0)-(1, 0.75); a lens
// block to pixels 0-640 and slope 1.15. Camera A's model is K·p with J added to c0, camera B
// looks back along the baseline from CameraParams0 (here K 1, J 0): its lens negated.
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_optics --gtest_filter='SetupGeometry.*'
TEST(SetupGeometry, BlocksGiveTheContextsOfTheTrace) {
    const struct {
        const char* name;
        void (*change)(PanelParams&);
    } panelRows[] = {
        {"sample", [](auto&) {}},
        {"fps 0", [](auto& p) { p.fps = 0; }},
        {"width 0", [](auto& p) { p.PanelWidth = 0; }},
        {"height 0", [](auto& p) { p.PanelHeight = 0; }},
        {"max speed 0", [](auto& p) { p.MaxSpeed = 0; }},
        {"max speed 2^31", [](auto& p) { p.MaxSpeed = INT32_MIN; }},
        {"ref count 0", [](auto& p) { p.VelocityRefCount = 0; }},
        {"weight 1", [](auto& p) { p.VelocityWeight = 1.0f; }},
        {"weight 0", [](auto& p) { p.VelocityWeight = 0.0f; }},
        {"weight below 0", [](auto& p) { p.VelocityWeight = -0.01f; }},
        {"weight NaN", [](auto& p) { p.VelocityWeight = kNaN; }},
        // A zero or negative size, rate or baseline would divide by zero or mirror the panel.
        {"negative width", [](auto& p) { p.PanelWidth = -1000; }},
        {"negative height", [](auto& p) { p.PanelHeight = -750; }},
        {"negative fps", [](auto& p) { p.fps = -100; }},
        {"zero baseline", [](auto& p) { p.camROffsetX = p.camLOffsetX - p.PanelWidth; }},
        {"baseline 1", [](auto& p) { p.camROffsetX = p.camLOffsetX - p.PanelWidth + 1; }},
        {"negative baseline", [](auto& p) { p.camLOffsetX = 5000; }},
        // L about 3 * 2^31: a 32-bit sum would wrap to a negative baseline.
        {"extreme offsets",
         [](auto& p) { p.PanelWidth = p.camROffsetX = INT32_MAX, p.camLOffsetX = INT32_MIN; }},
    };
    const struct {
        const char* name;
        void (*change)(CameraParams&);
    } cameraRows[] = {
        {"sample", [](auto&) {}},
        {"p1 0.8", [](auto& c) { c.p[1] = 0.8f; }},
        {"p1 1.5", [](auto& c) { c.p[1] = 1.5f; }},
        {"p1 -1", [](auto& c) { c.p[1] = -1.0f; }},
        {"p1 below 0.8", [](auto& c) { c.p[1] = std::nextafter(0.8f, 0.0f); }},
        {"p1 above 1.5", [](auto& c) { c.p[1] = std::nextafter(1.5f, 2.0f); }},
        {"p1 -1.6", [](auto& c) { c.p[1] = -1.6f; }},
        {"p1 NaN", [](auto& c) { c.p[1] = kNaN; }},
        {"infinite coefficient", [](auto& c) { c.p[7] = -kInf; }},
        {"NaN offset J", [](auto& c) { c.J = kNaN; }},
        {"K·p overflows", [](auto& c) { c.K = 3.0e38f, c.p[1] = 1.2f; }},
        {"K·p0 + J overflows", [](auto& c) { c.p[0] = 1, c.K = 2.0e38f, c.J = 3.0e38f; }},
        {"range clamped", [](auto& c) { c.firstPixel = -10, c.lastPixel = 1000; }},
        {"range beyond the line", [](auto& c) { c.firstPixel = 700, c.lastPixel = 800; }},
        {"range before the line", [](auto& c) { c.firstPixel = -20, c.lastPixel = -5; }},
        {"empty range", [](auto& c) { c.firstPixel = 100, c.lastPixel = 100; }},
    };
    std::string text;
    char line[256];
    for (const auto& row : panelRows) {
        PanelParams p = kPanel;
        row.change(p);
        const Block panel = ots::sim::EncodePanelParams(p);
        const auto oc = ContextWith(&panel);
        // ContextWith fills the context with ones first, so tracking left over shows.
        bool fresh = oc->AmbiguityCount == 0;
        for (const PointRing* ring : {&oc->RingA, &oc->RingB}) {
            fresh = fresh && ring->index == -1 &&
                    std::ranges::all_of(ring->work, [](double w) { return w == 0.0; }) &&
                    std::ranges::none_of(ring->entries, [](auto& e) { return e.valid != 0; });
        }
        for (const SolvedPoint* t :
             {&oc->LastRawA, &oc->LastRawB, &oc->PointA, &oc->PointB, &oc->TrackA, &oc->TrackB}) {
            fresh = fresh && t->valid == 0;
        }
        std::snprintf(line, sizeof line,
                      "%s: scale %.3f %.3f %.3f offset %.3f %.3f step %.6g panel %.6f %.6f %.6f "
                      "%.6f fresh %d sim %d\n",
                      row.name, oc->ScaleX, oc->ScaleY, oc->ScaleZ, oc->OffsetX, oc->OffsetY,
                      oc->MaxStep, oc->Panel.left, oc->Panel.top, oc->Panel.right, oc->Panel.bottom,
                      fresh, ots::sim::IsUsablePanelParams(p));
        text += line;
    }
    for (const auto& row : cameraRows) {
        CameraParams cam1 = kLens;
        CameraParams cam0 = kLens;
        cam0.K = 1.0f;
        cam0.J = 0.0f;
        row.change(cam1);
        row.change(cam0);
        const Block block1 = ots::sim::EncodeCameraParams(cam1);
        const Block block0 = ots::sim::EncodeCameraParams(cam0);
        const auto oc = ContextWith(nullptr, &block1, &block0);
        text += row.name;
        for (const CameraModel* m : {&oc->CameraModelA, &oc->CameraModelB}) {
            text += (m == &oc->CameraModelA ? ": A " : " | B ") + std::to_string(m->firstPixel) +
                    "-" + std::to_string(m->lastPixel);
            for (const float c : m->c) {
                std::snprintf(line, sizeof line, " %.7g", c);
                text += line;
            }
        }
        text += "\n";
    }
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "setup.txt");
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
