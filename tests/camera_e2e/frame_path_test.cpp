// The driver's frame path without the bus, for tests that need the solved positions
// themselves: the simulation renders the fingers into the two cameras' lines and frames them
// as image packets, and the driver's AssembleFrame decodes, orders and solves them in a work
// area set up from the panel's blocks as attach sets it up. On the realistic panel: how
// exactly a finger is found, and two fingers whose ghost intersections are never taken for a
// finger while each keeps its identity (A or B).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/camera_lens.h"
#include "sim/camera_optics.h"
#include "sim/camera_panel.h"
#include "sim/camera_run_length.h"
#include "support/camera_bus.h"
#include "touch/frame_assembly.h"
#include "touch/position.h"
#include "touch/touch_data.h"

namespace camera_e2e {
namespace {

using ots::sim::Finger;

// The realistic panel: attach puts ScreenConfig's speed limits into PanelParams (15000, 5,
// 20 % by default), and this panel reports these very values, so its blocks go in as sent.
class FrameFeeder {
  public:
    FrameFeeder() : td_(std::make_unique<TOUCH_DATA>()) {
        const auto copy = [](const ots::sim::Block& block, BYTE* to) {
            std::copy(block.begin(), block.end(), to);
        };
        copy(ots::sim::EncodePanelParams(panel_.panel), td_->PanelParams);
        copy(ots::sim::EncodeCameraParams(panel_.camera0), td_->CameraParams0);
        copy(ots::sim::EncodeCameraParams(panel_.camera1), td_->CameraParams1);
        SetupGeometry(td_->PanelParams, td_->CameraParams1, td_->CameraParams0, &td_->Optical);
    }

    // One frame of exactly these fingers, camera A's line first as this panel sends it; false
    // when the driver did not complete a frame.
    bool Show(std::span<const Finger> fingers) {
        const ots::sim::CameraLines lines = optics_.Render(fingers);
        return !AssembleFrame(*td_, ots::sim::EncodeLine(lines.a, 0).packet) &&
               AssembleFrame(*td_, ots::sim::EncodeLine(lines.b, 1).packet);
    }

    const OpticalContext& Solved() const { return td_->Optical; }
    const ots::sim::CameraOptics& Optics() const { return optics_; }
    // How far a solved point is from a finger, in screen pixels of the baseline.
    double DistancePx(const SolvedPoint& p, const Finger& f) const {
        const ots::sim::BaselinePoint at = optics_.ToBaseline(f.xPx, f.yPx);
        return panel_.Geometry().Baseline() * std::hypot(p.x - at.x, p.y - at.y);
    }

  private:
    const ots::sim::CameraPanel panel_ = ots::sim::RealisticCameraPanel();
    const ots::sim::CameraOptics optics_{panel_};
    std::unique_ptr<TOUCH_DATA> td_;
};

using ots::sim::Camera;
using ots::sim::CameraOptics;

constexpr double kSecondOrderAllowance = 0.1;

struct CameraBudget {
    double angle;      // true direction of the finger's centre
    double tolerance;  // |d theta| allowed
};

CameraBudget BudgetOf(const CameraOptics& optics, const Finger& finger, Camera camera) {
    // No shadow throws, which fails the test.
    const ots::sim::Shadow shadow = optics.ShadowOf(finger, camera).value();
    const ots::sim::LensModel& lens = optics.lens(camera);
    // The bound holds for shadows the driver sees whole.
    EXPECT_GE(shadow.start, lens.firstPixel());
    EXPECT_LE(shadow.end, lens.lastPixel());
    const double centre = (shadow.firstEdgePx + shadow.lastEdgePx) / 2.0;
    const double angle = (shadow.lowAngle + shadow.highAngle) / 2.0;
    // Half a pixel of the lens at the centre, in radians.
    const double halfPixel = std::fabs(lens.AngleAt(centre + 0.5) - lens.AngleAt(centre - 0.5)) / 2;
    const double bias = std::fabs(lens.AngleAt(centre) - angle);
    return {angle, halfPixel + bias};
}

// How exactly the driver finds a finger: the solved position of each frame, before the
// trajectory smoothing, against where the simulation put the finger. The bound at each position
// comes from what the cameras can resolve there.
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
TEST(Accuracy, SolvedPositionStaysWithinThePixelBoundAcrossThePanel) {
    FrameFeeder feeder;
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 9; ++column) {
            const Finger finger{40.0 + 90.0 * column, 30.0 + 90.0 * row, 8.0};
            SCOPED_TRACE(testing::Message() << "finger at " << finger.xPx << ", " << finger.yPx);
            // A lift between positions, so that every touch starts untracked.
            ASSERT_TRUE(feeder.Show({}));
            ASSERT_TRUE(feeder.Show({&finger, 1}));
            const OpticalContext& oc = feeder.Solved();
            ASSERT_EQ(oc.LastRawA.valid + oc.LastRawB.valid, 1);
            const SolvedPoint& solved = oc.LastRawA.valid != 0 ? oc.LastRawA : oc.LastRawB;

            const ots::sim::BaselinePoint at = feeder.Optics().ToBaseline(finger.xPx, finger.yPx);
            const CameraBudget a = BudgetOf(feeder.Optics(), finger, Camera::A);
            const CameraBudget b = BudgetOf(feeder.Optics(), finger, Camera::B);
            const double secA = 1.0 / std::pow(std::cos(a.angle), 2);
            const double secB = 1.0 / std::pow(std::cos(b.angle), 2);
            const double boundX = std::fabs(at.y * (1.0 - at.x) * secA) * a.tolerance +
                                  std::fabs(at.x * at.y * secB) * b.tolerance;
            const double boundY = at.y * at.y * (secA * a.tolerance + secB * b.tolerance);
            EXPECT_LE(std::fabs(solved.x - at.x), boundX * (1.0 + kSecondOrderAllowance));
            EXPECT_LE(std::fabs(solved.y - at.y), boundY * (1.0 + kSecondOrderAllowance));
        }
    }
}

// A solved point farther than this from every finger down is a ghost. A finger seen whole by
// both cameras is found within 6 px anywhere on the panel; while one finger hides the other
// from a camera, the halves of the shared shadow put both up to about 25 px off. Ghosts of
// two fingers lie 50 px and more from both.
constexpr double kLostPx = 30.0;

struct Stroke {
    double fromX, fromY, toX, toY;
    int firstFrame;  // down from this frame
    int lastFrame;   // up after this frame
};

// Where a finger is in a frame, moving in a straight line at constant speed while down.
std::optional<Finger> At(const Stroke& s, int frame) {
    if (frame < s.firstFrame || frame > s.lastFrame) {
        return std::nullopt;
    }
    const double t = static_cast<double>(frame - s.firstFrame) / (s.lastFrame - s.firstFrame);
    return Finger{s.fromX + t * (s.toX - s.fromX), s.fromY + t * (s.toY - s.fromY), 8.0};
}

struct Path {
    const char* name;
    Stroke fingers[2];
};

// Camera A sits at panel (-20, -15); the point 0.45 of the way to (500, 450) lies on its sight
// line to a finger there.
constexpr double kOnSightLineX = -20.0 + 0.45 * 520.0;
constexpr double kOnSightLineY = -15.0 + 0.45 * 465.0;

// Where both cameras see both fingers apart, the tracks decide, and a ghost pairing lies far
// off the tracks; two fingers landing together are told from their ghosts by the panel area.
// While one finger hides the other, the driver holds the tracks for two frames and then
// splits the shared shadow in halves, which only approximates the hidden finger.
const Path kPaths[] = {
    // Both land together far apart and move side by side.
    {"apart", {{150, 150, 350, 350, 0, 59}, {450, 150, 650, 350, 0, 59}}},
    // Both land together at the same depth, then close in to 80 px: the ghost pairing lies
    // farther apart, one ghost below the panel.
    {"movingTogether", {{150, 300, 360, 300, 0, 59}, {650, 300, 440, 300, 0, 59}}},
    // The second lands three frames after the first; both move, then the second lifts and
    // the first goes on alone.
    {"oneLifting", {{200, 450, 400, 250, 0, 59}, {600, 200, 600, 400, 3, 29}}},
    // The first passes in front of the second as camera A sees it: for ten frames camera A
    // sees one shadow.
    {"hiddenFromCameraA",
     {{kOnSightLineX - 90, kOnSightLineY + 100, kOnSightLineX + 90, kOnSightLineY - 100, 0, 59},
      {500, 450, 500, 450, 0, 59}}},
};

// The raw points of identities A and B in each frame, in baseline units, with the hold count;
// none of them is a ghost.
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_camera_e2e --gtest_filter='TwoFingers.*'
TEST(TwoFingers, GhostsAreRejectedAndIdentitiesHold) {
    std::string text;
    char line[64];
    for (const Path& path : kPaths) {
        FrameFeeder feeder;
        for (int frame = 0; frame < 60; ++frame) {
            std::vector<Finger> down;
            for (const Stroke& stroke : path.fingers) {
                if (const std::optional<Finger> finger = At(stroke, frame)) {
                    down.push_back(*finger);
                }
            }
            ASSERT_TRUE(feeder.Show(down));
            const OpticalContext& oc = feeder.Solved();
            text += std::string(path.name) + " " + std::to_string(frame) + ":";
            for (const SolvedPoint& p : {oc.LastRawA, oc.LastRawB}) {
                std::snprintf(line, sizeof line, " %.4f %.4f", p.x, p.y);
                text += p.valid != 0 ? line : " -";
                EXPECT_TRUE(
                    p.valid == 0 ||
                    std::ranges::any_of(
                        down, [&](const Finger& f) { return feeder.DistancePx(p, f) <= kLostPx; }))
                    << path.name << " frame " << frame << ": a ghost";
            }
            text += " hold " + std::to_string(oc.AmbiguityCount) + "\n";
        }
    }
    ots::test::ExpectGolden(text, OTS_GOLDEN_DIR "two_fingers.txt");
}

}  // namespace
}  // namespace camera_e2e
