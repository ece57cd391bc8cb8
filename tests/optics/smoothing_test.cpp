#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>

#include "optics_rig.h"
#include "touch/position_smoothing.h"

namespace {

using position::DelayedIndex;
using position::PushRing;
using position::SmoothDelayedPoint;
using position::StepWindow;

SolvedPoint At(double x, double y, double size = 0.01) {
    return SolvedPoint{x, y, size, 0.0, 1};
}

std::unique_ptr<PointRing> RingOf(std::initializer_list<SolvedPoint> points) {
    auto ring = std::make_unique<PointRing>();
    position::ClearRing(*ring);
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
}

// The delayed entry (two frames back) is smoothed; the reference for the next frame is placed
// three frames ahead of it, along the fitted slope when both cameras saw as many blobs, else
// along the slope stored from earlier frames; it stays where it was without both look-ahead
// frames within the window.
TEST(SmoothDelayedPoint, ThePointAndTheReferenceFollowTheFit) {
    const SolvedPoint untouched = At(0.9, 0.9);
    const struct {
        const char* name;
        std::initializer_list<SolvedPoint> ring;
        double window;
        bool sameCounts;
        double x, refX, refY;
    } rows[] = {
        {"linear", {At(0.30, 0.4), At(0.31, 0.4), At(0.32, 0.4)}, 0.5, true, 0.30, 0.33, 0.4},
        {"stored slope",
         {At(0.30, 0.4), At(0.31, 0.4), At(0.32, 0.4)},
         0.5,
         false,
         0.30,
         0.36,
         0.37},
        {"no look-ahead", {At(0.30, 0.4), At(0.31, 0.4), SolvedPoint{}}, 0.5, true, 0.30, 0.9, 0.9},
        {"step beyond", {At(0.30, 0.4), At(0.31, 0.4), At(0.61, 0.4)}, 0.2, true, 0.30, 0.9, 0.9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto ring = RingOf(row.ring);
        ring->work[0] = 0.02;
        ring->work[1] = -0.01;
        SolvedPoint reference = untouched;
        const SolvedPoint p = SmoothDelayedPoint(*ring, row.window, reference, row.sameCounts);
        ASSERT_EQ(p.valid, 1);
        EXPECT_NEAR(p.x, row.x, 1e-12);
        EXPECT_NEAR(p.y, 0.4, 1e-12);
        EXPECT_EQ(ring->entries[DelayedIndex(*ring)].x, p.x);
        EXPECT_NEAR(reference.x, row.refX, 1e-12);
        EXPECT_NEAR(reference.y, row.refY, 1e-12);
        EXPECT_NEAR(ring->work[0], row.sameCounts && row.refX != 0.9 ? 0.01 : 0.02, 1e-12);
    }
}

TEST(SmoothDelayedPoint, SuddenSizeChangeReplacesTheSmallerNeighbour) {
    SolvedPoint reference{};
    // Grows: the delayed entry takes its larger successor's values.
    auto grows = RingOf({At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.03), At(0.5, 0.5, 0.03)});
    EXPECT_NEAR(SmoothDelayedPoint(*grows, 0.5, reference, true).size, 0.03, 1e-12);
    // Shrinks: the later entries take the delayed entry's values.
    auto shrinks = RingOf({At(0.5, 0.5, 0.03), At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.01)});
    SmoothDelayedPoint(*shrinks, 0.5, reference, true);
    EXPECT_NEAR(shrinks->entries[shrinks->index].size, 0.03, 1e-12);
    // A change within the ratio is left alone: sizes 0.01 and 0.012 average out.
    auto mild = RingOf({At(0.5, 0.5, 0.01), At(0.5, 0.5, 0.012), At(0.5, 0.5, 0.012)});
    const SolvedPoint m = SmoothDelayedPoint(*mild, 0.5, reference, true);
    EXPECT_GT(m.size, 0.01);
    EXPECT_LT(m.size, 0.012);
}

// Too few samples, no forward sample, or a fit that overflows: the point and its entry go.
TEST(SmoothDelayedPoint, PointsWithoutATrustworthyFitAreDropped) {
    const double far = 1.7e308;  // the offset of -far from the delayed entry overflows
    const std::initializer_list<SolvedPoint> rings[] = {
        {At(0.5, 0.5), SolvedPoint{}, SolvedPoint{}},
        {At(0.5, 0.5), SolvedPoint{}, At(0.5, 0.5), At(0.5, 0.5)},
        {At(far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5), At(-far, 0.5)},
    };
    for (const auto& entries : rings) {
        auto ring = RingOf(entries);
        SolvedPoint reference = At(0.1, 0.1);
        const SolvedPoint p = SmoothDelayedPoint(*ring, 0.5, reference, true);
        EXPECT_EQ(p.valid, 0) << &entries - rings;
        EXPECT_TRUE(optics_test::IsFinite(p));
        EXPECT_EQ(ring->entries[DelayedIndex(*ring)].valid, 0);
        EXPECT_TRUE(std::isfinite(reference.x));
    }
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
