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
}

TEST(SetupGeometry, UnusablePanelBlocksFallBack) {
    struct Case {
        const char* name;
        Panel panel;
    };
    auto with = [](auto change) {
        Panel p;
        change(p);
        return p;
    };
    const Case cases[] = {
        {"fps 0", with([](Panel& p) { p.fps = 0; })},
        {"width 0", with([](Panel& p) { p.width = 0; })},
        {"height 0", with([](Panel& p) { p.height = 0; })},
        {"max speed 0", with([](Panel& p) { p.maxSpeed = 0; })},
        {"max speed 2^31", with([](Panel& p) { p.maxSpeed = INT32_MIN; })},
        {"ref count 0", with([](Panel& p) { p.refCount = 0; })},
        {"weight 1", with([](Panel& p) { p.weight = 1.0f; })},
        {"weight below 0", with([](Panel& p) { p.weight = -0.01f; })},
        {"weight NaN", with([](Panel& p) { p.weight = kNaN; })},
        // A zero or negative size, rate or baseline would divide by zero or mirror the panel.
        {"negative width", with([](Panel& p) { p.width = -1000; })},
        {"negative height", with([](Panel& p) { p.height = -750; })},
        {"negative fps", with([](Panel& p) { p.fps = -100; })},
        {"zero baseline", with([](Panel& p) { p.camROffsetX = p.camLOffsetX - p.width; })},
        {"negative baseline", with([](Panel& p) { p.camLOffsetX = 5000; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Block panel = PanelBlock(c.panel);
        ExpectFallbackScale(*SetUpWith(&panel, nullptr, nullptr));
    }
    SCOPED_TRACE("no block");
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
    const Camera cam;
    const Block block = CameraBlock(cam);
    const auto oc = SetUpWith(nullptr, &block, &block);
    const CameraModel& a = oc->CameraModelA;
    const CameraModel& b = oc->CameraModelB;
    EXPECT_EQ(a.firstPixel, 20);
    EXPECT_EQ(a.lastPixel, 610);
    EXPECT_FLOAT_EQ(a.c[0], 0.25f);  // K·p0 + J = 2 * 0.1 + 0.05
    EXPECT_FLOAT_EQ(a.c[1], 2.0f);
    EXPECT_FLOAT_EQ(a.c[2], 0.4f);
    EXPECT_FLOAT_EQ(a.c[3], -0.1f);
    EXPECT_FLOAT_EQ(a.c[7], 0.02f);
    // Camera B looks back along the baseline: every coefficient negated.
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(b.c[k], -a.c[k]) << "c" << k;
    }
    EXPECT_EQ(b.firstPixel, 20);
    EXPECT_EQ(b.lastPixel, 610);
}

TEST(SetupGeometry, CameraModelsComeFromTheirOwnBlocks) {
    Camera one;
    one.k = 1.0f;
    one.j = 0.0f;
    one.p = {0, 1.2f, 0, 0, 0, 0, 0, 0};
    Camera zero = one;
    zero.p[1] = 0.9f;
    const Block block1 = CameraBlock(one);
    const Block block0 = CameraBlock(zero);
    const auto oc = SetUpWith(nullptr, &block1, &block0);
    EXPECT_FLOAT_EQ(oc->CameraModelA.c[1], 1.2f);   // A from CameraParams1
    EXPECT_FLOAT_EQ(oc->CameraModelB.c[1], -0.9f);  // B from CameraParams0
}

TEST(SetupGeometry, LinearLensTermDecidesUsability) {
    struct Case {
        float p1;
        bool usable;
    };
    const Case cases[] = {
        {0.5f, false},
        {0.8f, true},
        {std::nextafter(0.8f, 0.0f), false},
        {1.5f, true},
        {std::nextafter(1.5f, 2.0f), false},
        {-1.0f, true},
        {-1.6f, false},
        {kNaN, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p1);
        Camera cam;
        cam.p[1] = c.p1;
        const Block block = CameraBlock(cam);
        const auto oc = SetUpWith(nullptr, &block, &block);
        if (c.usable) {
            EXPECT_EQ(oc->CameraModelA.firstPixel, 20);
            EXPECT_FLOAT_EQ(oc->CameraModelA.c[1], cam.k * c.p1);
        } else {
            ExpectDefaultModel(oc->CameraModelA, 1.15f);
            ExpectDefaultModel(oc->CameraModelB, -1.15f);
        }
    }
}

TEST(SetupGeometry, NonFiniteLensValuesFallBack) {
    struct Case {
        const char* name;
        Camera cam;
    };
    auto with = [](auto change) {
        Camera c;
        change(c);
        return c;
    };
    const Case cases[] = {
        {"NaN coefficient", with([](Camera& c) { c.p[3] = kNaN; })},
        {"infinite coefficient", with([](Camera& c) { c.p[7] = -kInf; })},
        {"NaN offset J", with([](Camera& c) { c.j = kNaN; })},
        {"infinite scale K", with([](Camera& c) { c.k = kInf; })},
        {"K·p overflows", with([](Camera& c) {
             c.k = 3.0e38f;
             c.p[1] = 1.2f;
         })},
        {"K·p0 + J overflows", with([](Camera& c) {
             c.p = {1.0f, 1.0f, 0, 0, 0, 0, 0, 0};
             c.k = 2.0e38f;
             c.j = 3.0e38f;
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Block block = CameraBlock(c.cam);
        const auto oc = SetUpWith(nullptr, &block, &block);
        ExpectDefaultModel(oc->CameraModelA, 1.15f);
        ExpectDefaultModel(oc->CameraModelB, -1.15f);
    }
}

TEST(SetupGeometry, PixelRangeIsClampedToTheLine) {
    Camera wide;
    wide.firstPixel = -10;
    wide.lastPixel = 1000;
    const Block wideBlock = CameraBlock(wide);
    const auto oc = SetUpWith(nullptr, &wideBlock, &wideBlock);
    EXPECT_EQ(oc->CameraModelA.firstPixel, 0);
    EXPECT_EQ(oc->CameraModelA.lastPixel, 640);
    EXPECT_FLOAT_EQ(oc->CameraModelA.c[1], 2.0f);  // the lens itself is kept

    // A range that is empty once clamped, or inverted, leaves nothing to search: default model.
    for (auto [first, last] :
         {std::pair{700, 800}, std::pair{300, 200}, std::pair{-20, -5}, std::pair{100, 100}}) {
        SCOPED_TRACE(first);
        Camera cam;
        cam.firstPixel = first;
        cam.lastPixel = last;
        const Block block = CameraBlock(cam);
        const auto bad = SetUpWith(nullptr, &block, &block);
        ExpectDefaultModel(bad->CameraModelA, 1.15f);
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
