#include "sim/camera_optics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>

#include "camera_test_support.h"

namespace ots::sim {
namespace {

using camtest::LitRuns;
using camtest::PixelRun;
using Runs = std::vector<PixelRun>;

std::vector<Finger> One(double x, double y, double mm = 10.0) {
    return {Finger{x, y, mm}};
}

// The defaults panel's fall-back geometry puts screen (400, 300) at baseline (0.5, 0.375), and
// a 10 mm finger has a radius of 5 / 211 = 0.023697 of the baseline (the screen's width).
// From camera A: centre atan2(0.5, 0.375) = 0.927295, distance 0.625, half-width
// asin(0.023697 / 0.625) = 0.037924, edges 0.889371 and 0.965219 rad. Pixel = 320 · (1 + u)
// with u = (angle - pi/4) / 1.15: 348.93 and 370.04, so pixels 349..369 are lit. Camera B
// sees the same angles mirrored: 320 · (1 - u) = 291.07 and 269.96, pixels 270..290.
TEST(CameraOptics, DefaultLensesPutACentredFingerWhereTheLinearModelSays) {
    const CameraOptics optics(DefaultsCameraPanel());
    const CameraLines lines = optics.Render(One(400, 300));
    EXPECT_EQ(LitRuns(lines.a), (Runs{{349, 370}}));
    EXPECT_EQ(LitRuns(lines.b), (Runs{{270, 291}}));
    const std::optional<Shadow> a = optics.ShadowOf(Finger{400, 300, 10}, Camera::A);
    ASSERT_TRUE(a.has_value());
    EXPECT_NEAR(a->lowAngle, 0.889371, 1e-6);
    EXPECT_NEAR(a->highAngle, 0.965219, 1e-6);
    EXPECT_NEAR(a->firstEdgePx, 348.932, 1e-3);
    EXPECT_NEAR(a->lastEdgePx, 370.037, 1e-3);
}

TEST(CameraOptics, TwoFingersApartCastTwoRunsInEachCamera) {
    const CameraOptics optics(RealisticCameraPanel());
    const std::vector<Finger> fingers{{250, 300, 10}, {550, 300, 10}};
    const CameraLines lines = optics.Render(fingers);
    const Runs a = LitRuns(lines.a);
    const Runs b = LitRuns(lines.b);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    // Each run is the one its finger casts alone.
    for (const Finger& f : fingers) {
        const CameraLines alone = optics.Render(std::vector<Finger>{f});
        EXPECT_NE(std::find(a.begin(), a.end(), LitRuns(alone.a).front()), a.end());
        EXPECT_NE(std::find(b.begin(), b.end(), LitRuns(alone.b).front()), b.end());
    }
}

TEST(CameraOptics, AFingerInLineBehindAnotherIsHiddenFromThatCamera) {
    // Baseline (0.3, 0.3) and (0.6, 0.6) lie on one sight line of camera A: screen
    // (840 · 0.3 - 20, 840 · 0.3 - 15) = (232, 237) and (484, 489).
    const CameraOptics optics(RealisticCameraPanel());
    const Finger near{232, 237, 10};
    const Finger far{484, 489, 10};
    const CameraLines both = optics.Render(std::vector<Finger>{near, far});
    const CameraLines nearOnly = optics.Render(std::vector<Finger>{near});
    EXPECT_EQ(LitRuns(both.a), LitRuns(nearOnly.a));  // the nearer shadow covers the other
    EXPECT_EQ(LitRuns(both.b).size(), 2u);
}

TEST(CameraOptics, OverlappingShadowsMergeIntoOneRun) {
    // Two fingers 8 pixels apart at the same height: their shadows overlap in both cameras.
    const CameraLines lines = CameraOptics(RealisticCameraPanel())
                                  .Render(std::vector<Finger>{{396, 300, 10}, {404, 300, 10}});
    EXPECT_EQ(LitRuns(lines.a).size(), 1u);
    EXPECT_EQ(LitRuns(lines.b).size(), 1u);
}

TEST(CameraOptics, AShadowPastTheFieldOfViewIsCutAtTheLineEnd) {
    // Screen (-40, 300): centre angle atan2(-20, 315) = -0.0634 rad from camera A, outside its
    // field, but the finger's far edge (-0.0634 + 0.0601) is inside: the run starts at pixel 0.
    const CameraOptics optics(RealisticCameraPanel());
    const std::optional<Shadow> shadow = optics.ShadowOf(Finger{-40, 300, 10}, Camera::A);
    ASSERT_TRUE(shadow.has_value());
    EXPECT_EQ(shadow->start, 0);
    EXPECT_GT(shadow->end, 0);
    EXPECT_LT(shadow->end, 20);
}

// The driver's triangulation, from its description: each camera's angle at the centre pixel
// (start + end) / 2 of the run; tan(angle A) = x / y, tan(angle B) = (1 - x) / y; then the
// panel position L·x + camLOffsetX, L·y + camOffsetY, here turned back into screen pixels.
PanelPoint Triangulated(const CameraOptics& optics, const CameraPanel& panel,
                        const CameraLines& lines) {
    const auto centre = [](const LineImage& line) {
        const Runs runs = LitRuns(line);
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? 0.0 : (runs[0].start + runs[0].end) / 2.0;
    };
    const double tA = std::tan(optics.lens(Camera::A).AngleAt(centre(lines.a)));
    const double tB = std::tan(optics.lens(Camera::B).AngleAt(centre(lines.b)));
    const double y = 1.0 / (tA + tB);
    const PanelPoint p = panel.Geometry().ToPanel(BaselinePoint{tA * y, y});
    return PanelPoint{p.x * panel.screenWidthPx / panel.Geometry().width,
                      p.y * panel.screenHeightPx / panel.Geometry().height};
}

TEST(CameraOptics, TouchesLandWhereTheDriversTriangulationPutsThem) {
    // Whole pixels cost up to half a pixel at each run end, about 0.002 rad; over most of the
    // panel that moves a point by 2 screen pixels at most. Close to the baseline the two
    // sight lines cross at a shallow angle and the same error grows: 40 pixels below the
    // defaults panel's top edge, where its cameras sit, it reaches 3.2. Hence 4.
    for (const CameraPanel& panel : {RealisticCameraPanel(), DefaultsCameraPanel()}) {
        const CameraOptics optics(panel);
        double worst = 0.0;
        for (double x = 40; x <= 760; x += 60) {
            for (double y = 40; y <= 560; y += 60) {
                const PanelPoint p = Triangulated(optics, panel, optics.Render(One(x, y)));
                worst = std::max(worst, std::hypot(p.x - x, p.y - y));
                EXPECT_NEAR(p.x, x, 4.0) << panel.name << " at " << x << ", " << y;
                EXPECT_NEAR(p.y, y, 4.0) << panel.name << " at " << x << ", " << y;
            }
        }
        RecordProperty(panel.name + "_worst_px", std::to_string(worst));
    }
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

TEST(SensorNoise, ADeadPixelSplitsTheShadowItFallsIn) {
    const CameraOptics optics(DefaultsCameraPanel());
    NoisySensor sensor(SensorNoise{.deadPixelA = 360, .deadPixelB = -1});
    const CameraLines lines = optics.Render(One(400, 300), &sensor);
    EXPECT_EQ(LitRuns(lines.a), (Runs{{349, 360}, {361, 370}}));
    EXPECT_EQ(LitRuns(lines.b), (Runs{{270, 291}}));
}

TEST(SensorNoise, JitterMovesEachEdgeByAtMostOnePixelAndRepeatsWithItsSeed) {
    const CameraOptics optics(RealisticCameraPanel());
    const CameraLines clean = optics.Render(One(400, 300));
    const PixelRun cleanA = LitRuns(clean.a).front();
    const SensorNoise noise{.edgeJitter = true, .seed = 42};
    NoisySensor first(noise);
    NoisySensor second(noise);
    std::set<int> shifts;
    for (int frame = 0; frame < 50; ++frame) {
        const CameraLines a = optics.Render(One(400, 300), &first);
        const CameraLines b = optics.Render(One(400, 300), &second);
        EXPECT_EQ(a.a, b.a) << "frame " << frame;
        EXPECT_EQ(a.b, b.b) << "frame " << frame;
        const PixelRun run = LitRuns(a.a).front();
        EXPECT_LE(std::abs(run.start - cleanA.start), 1);
        EXPECT_LE(std::abs(run.end - cleanA.end), 1);
        shifts.insert(run.start - cleanA.start);
    }
    EXPECT_EQ(shifts, (std::set<int>{-1, 0, 1}));
}

}  // namespace
}  // namespace ots::sim
