#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>

#include "optics_scene.h"
#include "touch/position_smoothing.h"

namespace {

using position::ClearRing;
using position::DelayedIndex;
using position::PushRing;
using position::SmoothDelayedPoint;
using position::StepWindow;

SolvedPoint At(double x, double y, double size = 0.01) {
    return SolvedPoint{x, y, size, 0.0, 1};
}

std::unique_ptr<PointRing> RingOf(std::initializer_list<SolvedPoint> points) {
    auto ring = std::make_unique<PointRing>();
    ClearRing(*ring);
    for (const SolvedPoint& p : points) {
        PushRing(*ring, p);
    }
    return ring;
}

TEST(PointRing, PushWrapsAndTheDelayedEntryIsTwoOlder) {
    auto ring = RingOf({});
    EXPECT_EQ(ring->index, -1);
    for (int pushed = 1; pushed <= 51; ++pushed) {
        PushRing(*ring, At(0.001 * pushed, 0.1));
        const int newest = (pushed - 1) % 50;
        ASSERT_EQ(ring->index, newest);
        EXPECT_EQ(DelayedIndex(*ring), (newest + 48) % 50);
    }
    EXPECT_DOUBLE_EQ(ring->entries[0].x, 0.051);
    // The window follows the distance of the two touches, never below 0.1, else 0.5.
    EXPECT_DOUBLE_EQ(StepWindow(At(0, 0), At(0.6, 0.8)), 0.4);
    EXPECT_DOUBLE_EQ(StepWindow(At(0, 0), At(0.1, 0)), 0.1);
    EXPECT_DOUBLE_EQ(StepWindow(At(0, 0), SolvedPoint{}), 0.5);
    EXPECT_DOUBLE_EQ(StepWindow(SolvedPoint{}, SolvedPoint{}), 0.5);
}

TEST(SmoothDelayedPoint, LinearMotionPredictsTheReferenceThreeFramesAhead) {
    auto ring = RingOf({At(0.30, 0.40), At(0.31, 0.40), At(0.32, 0.40)});
    SolvedPoint reference{};
    const SolvedPoint p = SmoothDelayedPoint(*ring, 0.5, reference, true);
    ASSERT_EQ(p.valid, 1);
    EXPECT_NEAR(p.x, 0.30, 1e-12);
    EXPECT_NEAR(p.y, 0.40, 1e-12);
    EXPECT_EQ(p.mismatch, 0.0);
    ASSERT_EQ(reference.valid, 1);
    EXPECT_NEAR(reference.x, 0.33, 1e-12);
    EXPECT_NEAR(reference.y, 0.40, 1e-12);
    EXPECT_NEAR(ring->work[0], 0.01, 1e-12);  // the slope is kept for later frames
    EXPECT_EQ(ring->entries[DelayedIndex(*ring)].x, p.x);
}

TEST(SmoothDelayedPoint, UnequalBlobCountsPredictWithTheStoredSlope) {
    auto ring = RingOf({At(0.30, 0.40), At(0.31, 0.40), At(0.32, 0.40)});
    ring->work[0] = 0.02;
    ring->work[1] = -0.01;
    SolvedPoint reference{};
    SmoothDelayedPoint(*ring, 0.5, reference, false);
    ASSERT_EQ(reference.valid, 1);
    EXPECT_NEAR(reference.x, 0.36, 1e-12);
    EXPECT_NEAR(reference.y, 0.37, 1e-12);
    EXPECT_EQ(ring->work[0], 0.02);
}

TEST(SmoothDelayedPoint, NoPredictionWithoutBothLookAheadFrames) {
    auto ring = RingOf({At(0.30, 0.40), At(0.31, 0.40), SolvedPoint{}});
    const SolvedPoint untouched = At(0.9, 0.9);
    SolvedPoint reference = untouched;
    const SolvedPoint p = SmoothDelayedPoint(*ring, 0.5, reference, true);
    EXPECT_EQ(p.valid, 1);
    EXPECT_EQ(reference.x, untouched.x);

    // A step beyond the window ends the walk just the same.
    auto jump = RingOf({At(0.30, 0.40), At(0.31, 0.40), At(0.61, 0.40)});
    SolvedPoint ref2 = untouched;
    SmoothDelayedPoint(*jump, 0.2, ref2, true);
    EXPECT_EQ(ref2.x, untouched.x);
}

TEST(SmoothDelayedPoint, SuddenSizeChangeReplacesTheSmallerNeighbour) {
    // Grows: the delayed entry takes its larger successor's values.
    auto grows = RingOf({At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.03), At(0.5, 0.5, 0.03)});
    SolvedPoint reference{};
    EXPECT_NEAR(SmoothDelayedPoint(*grows, 0.5, reference, true).size, 0.03, 1e-12);

    // Shrinks: the later entries take the delayed entry's values.
    auto shrinks = RingOf({At(0.5, 0.5, 0.03), At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.01)});
    SmoothDelayedPoint(*shrinks, 0.5, reference, true);
    const int newest = shrinks->index;
    EXPECT_NEAR(shrinks->entries[newest].size, 0.03, 1e-12);

    // A change within the ratio is left alone: sizes 0.01 and 0.012 average out.
    auto mild = RingOf({At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.012), At(0.5, 0.5, 0.012)});
    const SolvedPoint m = SmoothDelayedPoint(*mild, 0.5, reference, true);
    EXPECT_GT(m.size, 0.01);
    EXPECT_LT(m.size, 0.012);
}

TEST(SmoothDelayedPoint, TooFewSamplesDropThePointAndItsEntry) {
    // The delayed entry alone: one sample.
    auto lone = RingOf({At(0.5, 0.5), SolvedPoint{}, SolvedPoint{}});
    SolvedPoint reference{};
    EXPECT_EQ(SmoothDelayedPoint(*lone, 0.5, reference, true).valid, 0);
    EXPECT_EQ(lone->entries[DelayedIndex(*lone)].valid, 0);

    // No forward sample: the delayed entry itself is invalid.
    auto late = RingOf({At(0.5, 0.5), SolvedPoint{}, At(0.5, 0.5), At(0.5, 0.5)});
    EXPECT_EQ(SmoothDelayedPoint(*late, 0.5, reference, true).valid, 0);
}

TEST(SmoothDelayedPoint, OverflowingFitDropsThePointInsteadOfReportingInfinity) {
    // An older entry so far away that its offset from the delayed entry overflows.
    const double far = 1.7e308;
    auto ring = RingOf({At(far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5)});
    SolvedPoint reference = At(0.1, 0.1);
    const SolvedPoint p = SmoothDelayedPoint(*ring, 0.5, reference, true);
    EXPECT_EQ(p.valid, 0);
    EXPECT_TRUE(optics_test::IsFinite(p));
    EXPECT_EQ(ring->entries[DelayedIndex(*ring)].valid, 0);
    EXPECT_TRUE(std::isfinite(reference.x));
}

TEST(SmoothDelayedPoint, BackwardSamplesStopOnceTheWalkPassesATenth) {
    // t = -5, -4, -3, then the delayed entry (t = 0) between two older and two newer ones.
    auto smoothX = [](const SolvedPoint& at5, const SolvedPoint& at4) {
        auto ring = RingOf({at5, at4, At(0.25, 0.5), At(0.2, 0.5), At(0.2, 0.5), At(0.2, 0.5),
                            At(0.2, 0.5), At(0.2, 0.5)});
        SolvedPoint reference{};
        return SmoothDelayedPoint(*ring, 0.5, reference, true).x;
    };
    // The steps sum to 0.05 at t = -3 and pass 0.1 with t = -4: that entry is the last one.
    const double withOld = smoothX(At(0.8, 0.5), At(0.9, 0.5));
    EXPECT_EQ(withOld, smoothX(SolvedPoint{}, At(0.9, 0.5)));
    EXPECT_EQ(withOld, smoothX(At(0.1, 0.5), At(0.9, 0.5)));
    EXPECT_NE(withOld, smoothX(At(0.8, 0.5), At(0.7, 0.5)));
}

}  // namespace
