// How exactly the driver finds a finger on the realistic panel: the solved position of each
// frame, before the trajectory smoothing, against where the simulation put the finger.
//
// The bound at each position comes from what the cameras can resolve there.
//
//   Pixels. The simulation lights the pixels [start, end) with start and end its shadow's two
//   edges e1, e2 rounded to the nearest pixel boundary, each off by at most half a pixel. The
//   driver takes the centre c = (start + end) / 2, which is therefore off the unrounded centre
//   m = (e1 + e2) / 2 by at most half a pixel.
//   Angles. The lens turns a pixel p into theta(p) = pi/4 + c0 + c1 u + ... + c7 u^7 with
//   u = p / 320 - 1, so half a pixel moves the angle by |theta'(u)| / 320 / 2. On top of that
//   the lens bends the two tangents of the finger differently: theta(m), the angle of the
//   pixel midpoint, is not quite the angle midpoint, the true direction of the finger's centre.
//   That bias b = theta(m) - theta_true is known exactly from the unrounded edges; it is of
//   second order in the shadow's half-width and matters only near a camera.
//   Per camera: |d theta| <= |theta'(u)| / 640 + |b|.
//   Position. With tA = tan thetaA, tB = tan thetaB the driver solves y = 1 / (tA + tB) and
//   x = tA y; the Jacobian at the finger is
//       dy/dthetaA = -y^2 sec^2 thetaA        dy/dthetaB = -y^2 sec^2 thetaB
//       dx/dthetaA = y (1 - x) sec^2 thetaA   dx/dthetaB = -x y sec^2 thetaB
//   and the bound is the sum of both cameras' contributions in absolute value:
//       |dx| <= |dx/dthetaA| |d thetaA| + |dx/dthetaB| |d thetaB|, the same for y.
//   This is first order; the angle errors are a few milliradians, where the second-order terms
//   stay below kSecondOrderAllowance of the bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "frame_feeder.h"
#include "sim/camera_lens.h"

namespace camera_e2e {
namespace {

using ots::sim::Camera;
using ots::sim::CameraOptics;
using ots::sim::Finger;
using ots::sim::LensModel;

constexpr double kSecondOrderAllowance = 0.1;
constexpr double kHalfPixel = 0.5;
constexpr double kHalfLinePx = 320.0;
constexpr double kFingerMm = 8.0;

// Radians per pixel of the lens at a pixel position.
double LensSlope(const LensModel& lens, double pixel) {
    const auto& c = lens.coefficients();
    const double u = pixel / kHalfLinePx - 1.0;
    double slope = 0.0;
    for (int k = ots::sim::kLensTerms - 1; k >= 1; --k) {
        slope = slope * u + k * static_cast<double>(c[static_cast<std::size_t>(k)]);
    }
    return slope / kHalfLinePx;
}

struct CameraBudget {
    double angle;      // true direction of the finger's centre
    double tolerance;  // |d theta| allowed
    double bias;       // the part of it that is the lens's midpoint bias
};

CameraBudget BudgetOf(const CameraOptics& optics, const Finger& finger, Camera camera) {
    const auto shadow = optics.ShadowOf(finger, camera);
    const LensModel& lens = optics.lens(camera);
    EXPECT_TRUE(shadow.has_value());
    if (!shadow) {
        return {};
    }
    // The bound holds for shadows the driver sees whole.
    EXPECT_GE(shadow->start, lens.firstPixel());
    EXPECT_LE(shadow->end, lens.lastPixel());
    const double centre = (shadow->firstEdgePx + shadow->lastEdgePx) / 2.0;
    const double angle = (shadow->lowAngle + shadow->highAngle) / 2.0;
    const double bias = std::fabs(lens.AngleAt(centre) - angle);
    return {angle, kHalfPixel * std::fabs(LensSlope(lens, centre)) + bias, bias};
}

struct Bound {
    double x;
    double y;
    double biasShare;  // of the x and y bound together
};

Bound BoundAt(const CameraOptics& optics, const Finger& finger) {
    const ots::sim::BaselinePoint at = optics.ToBaseline(finger.xPx, finger.yPx);
    const CameraBudget a = BudgetOf(optics, finger, Camera::A);
    const CameraBudget b = BudgetOf(optics, finger, Camera::B);
    const double secA = 1.0 / std::pow(std::cos(a.angle), 2);
    const double secB = 1.0 / std::pow(std::cos(b.angle), 2);
    const double dxA = std::fabs(at.y * (1.0 - at.x) * secA);
    const double dxB = std::fabs(at.x * at.y * secB);
    const double dyA = at.y * at.y * secA;
    const double dyB = at.y * at.y * secB;
    const Bound bound{dxA * a.tolerance + dxB * b.tolerance, dyA * a.tolerance + dyB * b.tolerance,
                      0.0};
    const double biasPart = (dxA + dyA) * a.bias + (dxB + dyB) * b.bias;
    return {bound.x, bound.y, biasPart / (bound.x + bound.y)};
}

// The touch a single finger gave, whichever identity it took.
const SolvedPoint& SolvedTouch(const OpticalContext& oc) {
    return oc.LastRawA.valid != 0 ? oc.LastRawA : oc.LastRawB;
}

struct Stats {
    double sumSq = 0.0;
    double max = 0.0;
    int count = 0;
    void Add(double e) {
        sumSq += e * e;
        max = std::max(max, e);
        ++count;
    }
    double Rms() const { return count > 0 ? std::sqrt(sumSq / count) : 0.0; }
};

TEST(Accuracy, SolvedPositionStaysWithinThePixelBoundAcrossThePanel) {
    const ots::sim::CameraPanel panel = ots::sim::RealisticCameraPanel();
    FrameFeeder feeder(panel);
    const double baselinePx = panel.Geometry().Baseline();  // panel units are screen pixels
    const double mmPerPxX = panel.widthMm / panel.screenWidthPx;
    const double mmPerPxY = panel.heightMm / panel.screenHeightPx;

    Stats px;
    Stats mm;
    Stats boundPx;
    double largestBiasShare = 0.0;
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 9; ++column) {
            const Finger finger{40.0 + 90.0 * column, 30.0 + 90.0 * row, kFingerMm};
            SCOPED_TRACE(testing::Message() << "finger at " << finger.xPx << ", " << finger.yPx);
            // A lift between positions, so that every touch starts untracked.
            ASSERT_TRUE(feeder.ShowNothing());
            ASSERT_TRUE(feeder.Show({&finger, 1}));
            const SolvedPoint& solved = SolvedTouch(feeder.Solved());
            ASSERT_EQ(solved.valid, 1);
            EXPECT_EQ(feeder.Solved().LastRawA.valid + feeder.Solved().LastRawB.valid, 1);

            const ots::sim::BaselinePoint truth =
                feeder.Optics().ToBaseline(finger.xPx, finger.yPx);
            const Bound bound = BoundAt(feeder.Optics(), finger);
            const double dx = std::fabs(solved.x - truth.x);
            const double dy = std::fabs(solved.y - truth.y);
            EXPECT_LE(dx, bound.x * (1.0 + kSecondOrderAllowance)) << "x, bound " << bound.x;
            EXPECT_LE(dy, bound.y * (1.0 + kSecondOrderAllowance)) << "y, bound " << bound.y;

            px.Add(baselinePx * std::hypot(dx, dy));
            mm.Add(baselinePx * std::hypot(dx * mmPerPxX, dy * mmPerPxY));
            boundPx.Add(baselinePx * std::hypot(bound.x, bound.y));
            largestBiasShare = std::max(largestBiasShare, bound.biasShare);
        }
    }
    std::printf(
        "[ accuracy ] %d positions: error RMS %.3f px (%.3f mm), max %.3f px (%.3f mm); "
        "bound RMS %.3f px, max %.3f px; lens midpoint bias at most %.0f %% of a bound\n",
        px.count, px.Rms(), mm.Rms(), px.max, mm.max, boundPx.Rms(), boundPx.max,
        100.0 * largestBiasShare);
}

}  // namespace
}  // namespace camera_e2e
