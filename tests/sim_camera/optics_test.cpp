// How the simulated cameras see fingers: shadows on the lines, the mounting, the sensor's noise.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>

#include "sim/camera_optics.h"
#include "support/camera_bus.h"

namespace ots::sim {
namespace {

using ots::test::LitRuns;
using Runs = std::vector<std::pair<int, int>>;

const std::vector<Finger> kCentred{{400, 300, 10}};

// The defaults panel's fall-back geometry puts screen (400, 300) at baseline (0.5, 0.375), and
// a 10 mm finger has a radius of 5 / 211 = 0.023697 of the baseline (the screen's width).
// From camera A: centre atan2(0.5, 0.375) = 0.927295, distance 0.625, half-width
// asin(0.023697 / 0.625) = 0.037924, edges 0.889371 and 0.965219 rad. Pixel = 320 · (1 + u)
// with u = (angle - pi/4) / 1.15: 348.93 and 370.04, so pixels 349..369 are lit. Camera B
// sees the same angles mirrored: 320 · (1 - u) = 291.07 and 269.96, pixels 270..290. A dead
// pixel splits the shadow it falls in.
TEST(CameraOptics, DefaultLensesPutACentredFingerWhereTheLinearModelSays) {
    const CameraOptics optics(DefaultsCameraPanel());
    const std::optional<Shadow> a = optics.ShadowOf(kCentred[0], Camera::A);
    ASSERT_TRUE(a.has_value());
    EXPECT_NEAR(a->lowAngle, 0.889371, 1e-6);
    EXPECT_NEAR(a->highAngle, 0.965219, 1e-6);
    EXPECT_NEAR(a->firstEdgePx, 348.932, 1e-3);
    EXPECT_NEAR(a->lastEdgePx, 370.037, 1e-3);
    const CameraLines lines = optics.Render(kCentred);
    EXPECT_EQ(LitRuns(lines.a), (Runs{{349, 370}}));
    EXPECT_EQ(LitRuns(lines.b), (Runs{{270, 291}}));
    NoisySensor sensor(SensorNoise{.deadPixelA = 360, .deadPixelB = -1});
    const CameraLines dead = optics.Render(kCentred, &sensor);
    EXPECT_EQ(LitRuns(dead.a), (Runs{{349, 360}, {361, 370}}));
    EXPECT_EQ(LitRuns(dead.b), (Runs{{270, 291}}));
}

TEST(CameraOptics, AShadowPastTheFieldOfViewIsCutAtTheLineEnd) {
    // Screen (-40, 300): centre angle atan2(-20, 315) = -0.0634 rad from camera A, outside its
    // field, but the finger's far edge (-0.0634 + 0.0601) is inside: the run starts at pixel 0.
    const std::optional<Shadow> shadow =
        CameraOptics(RealisticCameraPanel()).ShadowOf(Finger{-40, 300, 10}, Camera::A);
    ASSERT_TRUE(shadow.has_value());
    EXPECT_EQ(shadow->start, 0);
    EXPECT_GT(shadow->end, 0);
    EXPECT_LT(shadow->end, 20);
}

// The mounting works in 1/32768 of the panel, about the panel's centre in half panel sizes.
TEST(CameraOptics, MountingShiftsRotatesAndScalesTheScreenOnThePanel) {
    CameraPanel panel = RealisticCameraPanel();
    panel.mounting = Mounting{.offsetX = 5 * 32768.0 / 800,  // 5 panel units
                              .offsetY = -3 * 32768.0 / 600,
                              .scaleX = 1.02,
                              .scaleY = 1.02,
                              .rotationDeg = 0.5};
    const CameraOptics optics(panel);
    const PanelPoint centre = optics.ScreenToPanel(400, 300);
    EXPECT_NEAR(centre.x, 405, 1e-9);
    EXPECT_NEAR(centre.y, 297, 1e-9);
    // 100 pixels right of the centre is a quarter of the half width: 0.25 · 1.02, turned by
    // 0.5 degrees, back in panel units: x 400 · 0.255 · cos, y 300 · 0.255 · sin.
    const double turn = 0.5 * std::numbers::pi / 180.0;
    const PanelPoint right = optics.ScreenToPanel(500, 300);
    EXPECT_NEAR(right.x, 405 + 102 * std::cos(turn), 1e-9);
    EXPECT_NEAR(right.y, 297 + 76.5 * std::sin(turn), 1e-9);
}

TEST(SensorNoise, JitterMovesEachEdgeByAtMostOnePixelAndRepeatsWithItsSeed) {
    const CameraOptics optics(RealisticCameraPanel());
    const auto clean = LitRuns(optics.Render(kCentred).a).front();
    const SensorNoise noise{.edgeJitter = true, .seed = 42};
    NoisySensor first(noise);
    NoisySensor second(noise);
    std::set<int> shifts;
    for (int frame = 0; frame < 50; ++frame) {
        const CameraLines a = optics.Render(kCentred, &first);
        EXPECT_EQ(a.a, optics.Render(kCentred, &second).a) << "frame " << frame;
        const auto run = LitRuns(a.a).front();
        EXPECT_LE(std::abs(run.second - clean.second), 1);
        shifts.insert(run.first - clean.first);
    }
    EXPECT_EQ(shifts, (std::set<int>{-1, 0, 1}));
}

}  // namespace
}  // namespace ots::sim
