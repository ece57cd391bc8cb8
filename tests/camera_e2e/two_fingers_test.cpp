// Two fingers on the realistic panel, frame by frame through the driver's frame path: the
// ghost intersections of their sight lines are never taken for a finger, and each finger
// keeps its identity (A or B) while it stays down.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "frame_feeder.h"

namespace camera_e2e {
namespace {

using ots::sim::Finger;

constexpr double kFingerMm = 8.0;
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
    const double t = s.lastFrame == s.firstFrame
                         ? 0.0
                         : static_cast<double>(frame - s.firstFrame) / (s.lastFrame - s.firstFrame);
    return Finger{s.fromX + t * (s.toX - s.fromX), s.fromY + t * (s.toY - s.fromY), kFingerMm};
}

struct Path {
    const char* name;
    Stroke fingers[2];
    int frames;
    // Share of the frames with a finger down in which every finger down is found at its
    // identity, that the implementation is held to.
    double floor;
    bool oneShadowFrames;  // one camera sees the two fingers as one shadow for a while
};

void PrintTo(const Path& path, std::ostream* out) {
    *out << path.name;
}

// Camera A sits at panel (-20, -15); a point a fraction t of the way to (500, 450) lies on
// camera A's sight line to a finger there.
constexpr double OnSightLineX(double t) {
    return -20.0 + t * 520.0;
}
constexpr double OnSightLineY(double t) {
    return -15.0 + t * 465.0;
}

// Floors: where both cameras see both fingers apart, every frame must find both at their
// identities (the tracks decide, and a ghost pairing lies far off the tracks; two fingers
// landing together are told from their ghosts by the panel area). While one finger hides the
// other, the driver holds the tracks for two frames and then splits the shared shadow in
// halves, which only approximates the hidden finger; a tenth of those frames may miss.
const Path kPaths[] = {
    // Both land together far apart and move side by side.
    {"apart", {{150, 150, 350, 350, 0, 59}, {450, 150, 650, 350, 0, 59}}, 60, 1.0, false},
    // Both land together at the same depth, then close in to 80 px: the ghost pairing lies
    // farther apart, one ghost below the panel.
    {"movingTogether", {{150, 300, 360, 300, 0, 59}, {650, 300, 440, 300, 0, 59}}, 60, 1.0, false},
    // The second lands three frames after the first; both move, then the second lifts and
    // the first goes on alone.
    {"oneLifting", {{200, 450, 400, 250, 0, 59}, {600, 200, 600, 400, 3, 29}}, 60, 1.0, false},
    // The first passes in front of the second as camera A sees it: for ten frames camera A
    // sees one shadow.
    {"hiddenFromCameraA",
     {{OnSightLineX(0.45) - 90, OnSightLineY(0.45) + 100, OnSightLineX(0.45) + 90,
       OnSightLineY(0.45) - 100, 0, 59},
      {500, 450, 500, 450, 0, 59}},
     60,
     0.9,
     true},
};

struct Tally {
    int framesDown = 0;  // frames with at least one finger down, after the first solution
    int held = 0;        // of them, frames where every finger was found at its identity
    int ghosts = 0;      // frames with a solved point near no finger
    int oneSided = 0;    // frames where one camera saw fewer shadows than the other
    double worstPx = 0.0;
};

double DistancePx(const SolvedPoint& p, const Finger& f, const ots::sim::CameraOptics& optics,
                  double baselinePx) {
    const ots::sim::BaselinePoint at = optics.ToBaseline(f.xPx, f.yPx);
    return baselinePx * std::hypot(p.x - at.x, p.y - at.y);
}

Tally Follow(const Path& path) {
    FrameFeeder feeder(ots::sim::RealisticCameraPanel());
    const double baselinePx = feeder.Panel().Geometry().Baseline();
    const auto distance = [&](const SolvedPoint& p, const Finger& f) {
        return DistancePx(p, f, feeder.Optics(), baselinePx);
    };
    // identity[i]: 0 = A, 1 = B, taken from the first frame that finds finger i.
    std::optional<int> identity[2];
    Tally tally;
    for (int frame = 0; frame < path.frames; ++frame) {
        std::vector<Finger> down;
        std::optional<Finger> fingers[2] = {At(path.fingers[0], frame), At(path.fingers[1], frame)};
        for (const auto& f : fingers) {
            if (f) {
                down.push_back(*f);
            }
        }
        EXPECT_TRUE(feeder.Show(down));
        const SolvedPoint solved[2] = {feeder.Solved().LastRawA, feeder.Solved().LastRawB};
        tally.oneSided += feeder.Solved().AmbiguityCount > 0 ? 1 : 0;

        for (const SolvedPoint& p : solved) {
            bool nearAFinger = false;
            for (const auto& f : fingers) {
                nearAFinger = nearAFinger || (f && distance(p, *f) <= kLostPx);
            }
            if (p.valid != 0 && !nearAFinger) {
                ++tally.ghosts;
                break;
            }
        }
        // A finger is found at its identity when that identity's point is valid, near it, and
        // nearer to it than to the other finger.
        const auto foundAt = [&](int id, int finger) {
            const SolvedPoint& p = solved[id];
            const std::optional<Finger>& other = fingers[1 - finger];
            const double d = distance(p, *fingers[finger]);
            return p.valid != 0 && d <= kLostPx && (!other || d < distance(p, *other));
        };
        bool allHeld = true;
        bool anyDown = false;
        for (int i = 0; i < 2; ++i) {
            if (!fingers[i]) {
                continue;
            }
            anyDown = true;
            for (int id = 0; id < 2 && !identity[i]; ++id) {
                if (foundAt(id, i)) {
                    identity[i] = id;
                }
            }
            const bool found = identity[i] && foundAt(*identity[i], i);
            if (found) {
                tally.worstPx =
                    std::max(tally.worstPx, distance(solved[*identity[i]], *fingers[i]));
            }
            allHeld = allHeld && found;
        }
        if (anyDown) {
            ++tally.framesDown;
            tally.held += allHeld ? 1 : 0;
        }
    }
    return tally;
}

class TwoFingers : public ::testing::TestWithParam<Path> {};

TEST_P(TwoFingers, GhostsAreRejectedAndIdentitiesHold) {
    const Path& path = GetParam();
    const Tally tally = Follow(path);
    const double share = static_cast<double>(tally.held) / tally.framesDown;
    std::printf(
        "[ two fingers ] %-18s identity held in %d of %d frames (%.0f %%), %d frames "
        "with a ghost, %d seen by one camera as one shadow, found within %.2f px\n",
        path.name, tally.held, tally.framesDown, 100.0 * share, tally.ghosts, tally.oneSided,
        tally.worstPx);
    EXPECT_GE(share, path.floor);
    EXPECT_EQ(tally.ghosts, 0);
    EXPECT_EQ(tally.oneSided > 0, path.oneShadowFrames) << "the path does not show what it says";
}

INSTANTIATE_TEST_SUITE_P(Paths, TwoFingers, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<Path>& path) {
                             return std::string(path.param.name);
                         });

}  // namespace
}  // namespace camera_e2e
