#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>

#include "optics_blocks.h"
#include "optics_scene.h"
#include "touch/position.h"
#include "touch/position_lens.h"

namespace {

constexpr double kQuarterPi = std::numbers::pi / 4.0;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using optics_test::Block;
using optics_test::Camera;
using optics_test::CameraBlock;
using optics_test::Panel;
using optics_test::PanelBlock;

std::unique_ptr<OpticalContext> SetUpWith(const Block* panel, const Block* cam1,
                                          const Block* cam0) {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 0, sizeof(OpticalContext));
    SetupGeometry(panel ? panel->data() : nullptr, cam1 ? cam1->data() : nullptr,
                  cam0 ? cam0->data() : nullptr, oc.get());
    return oc;
}

void ExpectFallbackScale(const OpticalContext& oc) {
    EXPECT_FLOAT_EQ(oc.ScaleX, 32768.0f);
    EXPECT_FLOAT_EQ(oc.OffsetX, 0.0f);
    EXPECT_FLOAT_EQ(oc.ScaleY, 43690.668f);
    EXPECT_FLOAT_EQ(oc.OffsetY, 0.0f);
    EXPECT_FLOAT_EQ(oc.ScaleZ, 32768.0f);
    EXPECT_FLOAT_EQ(oc.MaxStep, 0.25f);
}

void ExpectDefaultModel(const CameraModel& m, float slope) {
    EXPECT_EQ(m.firstPixel, 0);
    EXPECT_EQ(m.lastPixel, 640);
    for (int k = 0; k < 8; ++k) {
        EXPECT_FLOAT_EQ(m.c[k], k == 1 ? slope : 0.0f) << "c" << k;
    }
}

TEST(SetupGeometry, UsablePanelBlockGivesTheOutputScale) {
    const Block panel = PanelBlock({});
    const auto oc = SetUpWith(&panel, nullptr, nullptr);
    // Baseline L = 40 - (-30) + 1000 = 1070 panel units.
    EXPECT_FLOAT_EQ(oc->ScaleX, 35061.76f);     // 32768 * 1070 / 1000
    EXPECT_FLOAT_EQ(oc->OffsetX, -983.04f);     // -30 * 32768 / 1000
    EXPECT_FLOAT_EQ(oc->ScaleY, 46749.0133f);   // 32768 * 1070 / 750
    EXPECT_FLOAT_EQ(oc->OffsetY, -873.81333f);  // -20 * 32768 / 750
    EXPECT_FLOAT_EQ(oc->ScaleZ, oc->ScaleX);
    EXPECT_FLOAT_EQ(oc->MaxStep, 0.018691589f);  // 2000 / 100 / 1070
    // The panel area, in baseline units.
    EXPECT_DOUBLE_EQ(oc->Panel.left, 30.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.top, 20.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.right, 1030.0 / 1070.0);
    EXPECT_DOUBLE_EQ(oc->Panel.bottom, 770.0 / 1070.0);
}

TEST(SetupGeometry, UnusablePanelBlocksFallBack) {
    const struct {
        const char* name;
        void (*change)(Panel&);
    } rows[] = {
        {"fps 0", [](Panel& p) { p.fps = 0; }},
        {"width 0", [](Panel& p) { p.width = 0; }},
        {"height 0", [](Panel& p) { p.height = 0; }},
        {"max speed 0", [](Panel& p) { p.maxSpeed = 0; }},
        {"max speed 2^31", [](Panel& p) { p.maxSpeed = INT32_MIN; }},
        {"ref count 0", [](Panel& p) { p.refCount = 0; }},
        {"weight 1", [](Panel& p) { p.weight = 1.0f; }},
        {"weight below 0", [](Panel& p) { p.weight = -0.01f; }},
        {"weight NaN", [](Panel& p) { p.weight = kNaN; }},
        // A zero or negative size, rate or baseline would divide by zero or mirror the panel.
        {"negative width", [](Panel& p) { p.width = -1000; }},
        {"negative height", [](Panel& p) { p.height = -750; }},
        {"negative fps", [](Panel& p) { p.fps = -100; }},
        {"zero baseline", [](Panel& p) { p.camROffsetX = p.camLOffsetX - p.width; }},
        {"negative baseline", [](Panel& p) { p.camLOffsetX = 5000; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Panel p;
        row.change(p);
        const Block panel = PanelBlock(p);
        ExpectFallbackScale(*SetUpWith(&panel, nullptr, nullptr));
    }
    ExpectFallbackScale(*SetUpWith(nullptr, nullptr, nullptr));
}

TEST(SetupGeometry, ExtremeOffsetsDoNotOverflowTheBaseline) {
    Panel p;
    p.width = std::numeric_limits<INT32>::max();
    p.camROffsetX = std::numeric_limits<INT32>::max();
    p.camLOffsetX = std::numeric_limits<INT32>::min();
    p.fps = 1;
    p.maxSpeed = std::numeric_limits<INT32>::max();
    const Block panel = PanelBlock(p);
    const auto oc = SetUpWith(&panel, nullptr, nullptr);
    // L is about 3 * 2^31: a 32-bit sum would have wrapped to a negative baseline.
    EXPECT_NEAR(oc->ScaleX, 32768.0 * 3.0, 32768.0 * 1e-6);
    EXPECT_TRUE(std::isfinite(oc->OffsetX));
    EXPECT_NEAR(oc->MaxStep, 1.0 / 3.0, 1e-6);
}

TEST(SetupGeometry, UsableCameraBlocksGiveScaledLensModels) {
    Camera zero;  // B looks back along the baseline from CameraParams0: its lens negated
    zero.k = 1.0f;
    zero.j = 0.0f;
    const Block block1 = CameraBlock(Camera{});
    const Block block0 = CameraBlock(zero);
    const auto oc = SetUpWith(nullptr, &block1, &block0);
    const CameraModel& a = oc->CameraModelA;
    EXPECT_EQ(a.firstPixel, 20);
    EXPECT_EQ(a.lastPixel, 610);
    EXPECT_FLOAT_EQ(a.c[0], 0.25f);  // K·p0 + J = 2 * 0.1 + 0.05
    EXPECT_FLOAT_EQ(a.c[1], 2.0f);
    EXPECT_FLOAT_EQ(a.c[2], 0.4f);
    EXPECT_FLOAT_EQ(a.c[3], -0.1f);
    EXPECT_FLOAT_EQ(a.c[7], 0.02f);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(oc->CameraModelB.c[k], -zero.p[k]) << "c" << k;
    }
    EXPECT_EQ(oc->CameraModelB.firstPixel, 20);
    EXPECT_EQ(oc->CameraModelB.lastPixel, 610);
}

TEST(SetupGeometry, UnusableCameraBlocksFallBackToTheDefaultLens) {
    const struct {
        const char* name;
        void (*change)(Camera&);
        bool usable;
        INT32 first = 20, last = 610;
    } rows[] = {
        {"p1 0.8", [](Camera& c) { c.p[1] = 0.8f; }, true},
        {"p1 1.5", [](Camera& c) { c.p[1] = 1.5f; }, true},
        {"p1 -1", [](Camera& c) { c.p[1] = -1.0f; }, true},
        {"p1 0.5", [](Camera& c) { c.p[1] = 0.5f; }, false},
        {"p1 below 0.8", [](Camera& c) { c.p[1] = std::nextafter(0.8f, 0.0f); }, false},
        {"p1 above 1.5", [](Camera& c) { c.p[1] = std::nextafter(1.5f, 2.0f); }, false},
        {"p1 -1.6", [](Camera& c) { c.p[1] = -1.6f; }, false},
        {"p1 NaN", [](Camera& c) { c.p[1] = kNaN; }, false},
        {"NaN coefficient", [](Camera& c) { c.p[3] = kNaN; }, false},
        {"infinite coefficient", [](Camera& c) { c.p[7] = -kInf; }, false},
        {"NaN offset J", [](Camera& c) { c.j = kNaN; }, false},
        {"infinite scale K", [](Camera& c) { c.k = kInf; }, false},
        {"K·p overflows", [](Camera& c) { c.k = 3.0e38f, c.p[1] = 1.2f; }, false},
        {"K·p0 + J overflows",
         [](Camera& c) { c.p = {1.0f, 1.0f, 0, 0, 0, 0, 0, 0}, c.k = 2.0e38f, c.j = 3.0e38f; },
         false},
        {"pixel range clamped to the line",
         [](Camera& c) { c.firstPixel = -10, c.lastPixel = 1000; }, true, 0, 640},
        {"range beyond the line", [](Camera& c) { c.firstPixel = 700, c.lastPixel = 800; }, false},
        {"range before the line", [](Camera& c) { c.firstPixel = -20, c.lastPixel = -5; }, false},
        {"inverted range", [](Camera& c) { c.firstPixel = 300, c.lastPixel = 200; }, false},
        {"empty range", [](Camera& c) { c.firstPixel = 100, c.lastPixel = 100; }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Camera cam;
        row.change(cam);
        const Block block = CameraBlock(cam);
        const auto oc = SetUpWith(nullptr, &block, &block);
        if (row.usable) {
            EXPECT_EQ(oc->CameraModelA.firstPixel, row.first);
            EXPECT_EQ(oc->CameraModelA.lastPixel, row.last);
            EXPECT_FLOAT_EQ(oc->CameraModelA.c[1], cam.k * cam.p[1]);
        } else {
            ExpectDefaultModel(oc->CameraModelA, 1.15f);
            ExpectDefaultModel(oc->CameraModelB, -1.15f);
        }
    }
}

TEST(SetupGeometry, ClearsTheTrackingState) {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 0, sizeof(OpticalContext));
    for (PointRing* ring : {&oc->RingA, &oc->RingB}) {
        for (SolvedPoint& e : ring->entries) {
            e = SolvedPoint{0.5, 0.5, 0.01, 0.0, 1};
        }
        ring->index = 7;
        ring->work[0] = ring->work[1] = ring->work[2] = 0.3;
    }
    for (SolvedPoint* p :
         {&oc->LastRawA, &oc->LastRawB, &oc->PointA, &oc->PointB, &oc->TrackA, &oc->TrackB}) {
        p->valid = 1;
    }
    oc->AmbiguityCount = 3;
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
    const auto oc = optics_test::DefaultContext();
    const position::Blob blob{200, 240, 220.0};
    const position::AngleSpan a = position::SpanOfBlob(oc->CameraModelA, blob);
    const position::AngleSpan b = position::SpanOfBlob(oc->CameraModelB, blob);
    for (const auto& s : {a, b}) {
        EXPECT_LT(s.low, s.high);
        EXPECT_DOUBLE_EQ(s.width, s.high - s.low);
        EXPECT_NEAR(s.width, 40.0 / 320.0 * 1.15, 1e-6);
    }
    EXPECT_DOUBLE_EQ(a.center, position::PixelToAngle(oc->CameraModelA, 220.0));
    EXPECT_DOUBLE_EQ(b.low, position::PixelToAngle(oc->CameraModelB, 240.0));
}

}  // namespace
