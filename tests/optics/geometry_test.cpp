#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "optics_rig.h"
#include "touch/position_lens.h"

namespace {

using namespace optics_test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SetupGeometry, UsablePanelBlockGivesTheOutputScaleAndPanelArea) {
    const Block panel = ots::sim::EncodePanelParams(kPanel);
    const auto oc = ContextWith(&panel);
    // Baseline L = 40 - (-30) + 1000 = 1070 panel units.
    EXPECT_FLOAT_EQ(oc->ScaleX, 35061.76f);     // 32768 * 1070 / 1000
    EXPECT_FLOAT_EQ(oc->OffsetX, -983.04f);     // -30 * 32768 / 1000
    EXPECT_FLOAT_EQ(oc->ScaleY, 46749.0133f);   // 32768 * 1070 / 750
    EXPECT_FLOAT_EQ(oc->OffsetY, -873.81333f);  // -20 * 32768 / 750
    EXPECT_FLOAT_EQ(oc->ScaleZ, oc->ScaleX);
    EXPECT_FLOAT_EQ(oc->MaxStep, 0.018691589f);  // 2000 / 100 / 1070
    EXPECT_DOUBLE_EQ(oc->Panel.left, 30.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.top, 20.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.right, 1030.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.bottom, 770.0 / 1070.0);
}

TEST(SetupGeometry, PanelBlocksTheDriverCannotUseFallBack) {
    const struct {
        const char* name;
        void (*change)(PanelParams&);
        bool usable;
    } rows[] = {
        {"fps 0", [](PanelParams& p) { p.fps = 0; }, false},
        {"width 0", [](PanelParams& p) { p.PanelWidth = 0; }, false},
        {"height 0", [](PanelParams& p) { p.PanelHeight = 0; }, false},
        {"max speed 0", [](PanelParams& p) { p.MaxSpeed = 0; }, false},
        {"max speed 2^31", [](PanelParams& p) { p.MaxSpeed = INT32_MIN; }, false},
        {"ref count 0", [](PanelParams& p) { p.VelocityRefCount = 0; }, false},
        {"weight 1", [](PanelParams& p) { p.VelocityWeight = 1.0f; }, false},
        {"weight 0", [](PanelParams& p) { p.VelocityWeight = 0.0f; }, true},
        {"weight below 0", [](PanelParams& p) { p.VelocityWeight = -0.01f; }, false},
        {"weight NaN", [](PanelParams& p) { p.VelocityWeight = kNaN; }, false},
        // A zero or negative size, rate or baseline would divide by zero or mirror the panel.
        {"negative width", [](PanelParams& p) { p.PanelWidth = -1000; }, false},
        {"negative height", [](PanelParams& p) { p.PanelHeight = -750; }, false},
        {"negative fps", [](PanelParams& p) { p.fps = -100; }, false},
        {"zero baseline", [](PanelParams& p) { p.camROffsetX = p.camLOffsetX - p.PanelWidth; },
         false},
        {"negative baseline", [](PanelParams& p) { p.camLOffsetX = 5000; }, false},
        // L about 3 * 2^31: a 32-bit sum would wrap to a negative baseline.
        {"extreme offsets",
         [](PanelParams& p) {
             p.PanelWidth = p.camROffsetX = INT32_MAX, p.camLOffsetX = INT32_MIN;
         },
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
        EXPECT_FLOAT_EQ(oc->MaxStep, usableOr(p.MaxSpeed / 100.0 / l, 0.25f));
        EXPECT_TRUE(std::isfinite(oc->OffsetX));
        if (!row.usable) {
            EXPECT_EQ(oc->OffsetX, 0.0f);
            EXPECT_EQ(oc->OffsetY, 0.0f);
            EXPECT_DOUBLE_EQ(oc->Panel.bottom, 0.75);
        }
    }
}

TEST(SetupGeometry, CameraBlocksGiveScaledLensModelsUnlessUnusable) {
    CameraParams zero =
        kLens;  // B looks back along the baseline from CameraParams0: its lens negated
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
        {"p1 0.8", [](CameraParams& c) { c.p[1] = 0.8f; }, true},
        {"p1 1.5", [](CameraParams& c) { c.p[1] = 1.5f; }, true},
        {"p1 -1", [](CameraParams& c) { c.p[1] = -1.0f; }, true},
        {"p1 below 0.8", [](CameraParams& c) { c.p[1] = std::nextafter(0.8f, 0.0f); }, false},
        {"p1 above 1.5", [](CameraParams& c) { c.p[1] = std::nextafter(1.5f, 2.0f); }, false},
        {"p1 -1.6", [](CameraParams& c) { c.p[1] = -1.6f; }, false},
        {"p1 NaN", [](CameraParams& c) { c.p[1] = kNaN; }, false},
        {"infinite coefficient", [](CameraParams& c) { c.p[7] = -kInf; }, false},
        {"NaN offset J", [](CameraParams& c) { c.J = kNaN; }, false},
        {"K·p overflows", [](CameraParams& c) { c.K = 3.0e38f, c.p[1] = 1.2f; }, false},
        {"K·p0 + J overflows", [](CameraParams& c) { c.p[0] = 1, c.K = 2.0e38f, c.J = 3.0e38f; },
         false},
        {"range clamped", [](CameraParams& c) { c.firstPixel = -10, c.lastPixel = 1000; }, true, 0,
         640},
        {"range beyond the line", [](CameraParams& c) { c.firstPixel = 700, c.lastPixel = 800; },
         false},
        {"range before the line", [](CameraParams& c) { c.firstPixel = -20, c.lastPixel = -5; },
         false},
        {"empty range", [](CameraParams& c) { c.firstPixel = 100, c.lastPixel = 100; }, false},
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

TEST(SetupGeometry, ClearsTheTrackingState) {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 1, sizeof(OpticalContext));  // every point valid, any ring index
    SetupGeometry(nullptr, nullptr, nullptr, oc.get());
    for (const PointRing* ring : {&oc->RingA, &oc->RingB}) {
        EXPECT_EQ(ring->index, -1);
        for (double w : ring->work) {
            EXPECT_EQ(w, 0.0);
        }
        for (const SolvedPoint& e : ring->entries) {
            EXPECT_EQ(e.valid, 0);
        }
    }
    for (const SolvedPoint* p :
         {&oc->LastRawA, &oc->LastRawB, &oc->PointA, &oc->PointB, &oc->TrackA, &oc->TrackB}) {
        EXPECT_EQ(p->valid, 0);
    }
    EXPECT_EQ(oc->AmbiguityCount, 0);
}

TEST(AngleSpan, EdgesOrderedEvenWhenTheLensRunsBackwards) {
    const auto oc = ContextWith();
    const position::Blob blob{200, 240, 220.0};
    const position::AngleSpan a = position::SpanOfBlob(oc->CameraModelA, blob);
    const position::AngleSpan b = position::SpanOfBlob(oc->CameraModelB, blob);
    for (const auto& s : {a, b}) {
        EXPECT_LT(s.low, s.high);
        EXPECT_NEAR(s.width, 40.0 / 320.0 * 1.15, 1e-6);
    }
    EXPECT_DOUBLE_EQ(a.center, position::PixelToAngle(oc->CameraModelA, 220.0));
    EXPECT_DOUBLE_EQ(b.low, position::PixelToAngle(oc->CameraModelB, 240.0));
}

}  // namespace
