// One finger that stays on the panel keeps its identity however fast it moves: the other
// identity is never injected, so a switch would end the touch in the middle.
#include <gtest/gtest.h>

#include <cmath>

#include "optics_scene.h"
#include "touch/position_assign.h"

namespace {

using position::AngleSpan;

AngleSpan Span(double center, double width) {
    return AngleSpan{center - width / 2, center + width / 2, center, width};
}

TEST(AssignOneTouch, AFastFingerContinuesTheOnlyTrack) {
    const auto oc = optics_test::DefaultContext();
    const SolvedPoint track{0.3, 0.4, 0.01, 0.0, 1};
    // Nine tenths of the panel's maximum step, seen at two different sizes by the cameras.
    const double x = track.x + 0.9 * oc->MaxStep;
    const AngleSpan a = Span(std::atan2(x, track.y), 0.02);
    const AngleSpan b = Span(std::atan2(1 - x, track.y), 0.04);
    for (const bool trackIsA : {true, false}) {
        oc->TrackA = trackIsA ? track : SolvedPoint{};
        oc->TrackB = trackIsA ? SolvedPoint{} : track;
        const position::FramePoints r = position::AssignOneTouch(a, b, *oc);
        EXPECT_EQ(r.first.valid, trackIsA ? 1 : 0) << "track A " << trackIsA;
        EXPECT_EQ(r.second.valid, trackIsA ? 0 : 1) << "track A " << trackIsA;
    }
}

}  // namespace
