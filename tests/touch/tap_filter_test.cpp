// The tap stabiliser: its set-up from the settings, the collect/average/hold cycle of a still
// finger, and the ways a touch leaves it (movement, lift-off).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "touch/tap_filter.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

constexpr INT32 kInt32Max = std::numeric_limits<INT32>::max();

struct FilterSize {
    INT32 maxCount;
    INT32 thresholdSq;
    BYTE state;
};

FilterSize SetUpWith(DWORD time, DWORD area, INT32 width, INT32 height) {
    TapFilter tap{};
    SetupTapFilter(&tap, time, area, width, height);
    return {tap.maxCount, tap.thresholdSq, tap.state};
}

TEST(TapFilterSetupTest, SampleCountFollowsDoubleClickTime) {
    struct Case {
        DWORD time;
        INT32 maxCount;
        BYTE state;
    };
    for (const Case c :
         {Case{500, 31, TAP_IDLE}, Case{0, 1, TAP_PASS_THROUGH}, Case{15, 1, TAP_PASS_THROUGH},
          Case{16, 1, TAP_PASS_THROUGH}, Case{32, 2, TAP_IDLE}, Case{975, 60, TAP_IDLE}, Case{976, 60, TAP_IDLE},
          Case{0xFFFFFFFF, 60, TAP_IDLE}}) {
        const FilterSize s = SetUpWith(c.time, 4, 1000, 800);
        EXPECT_EQ(s.maxCount, c.maxCount) << "DoubleClickTime " << c.time;
        EXPECT_EQ(s.state, c.state) << "DoubleClickTime " << c.time;
    }
}

TEST(TapFilterSetupTest, ThresholdSaturatesInsteadOfOverflowing) {
    // With a width of 32768 the distance equals the area.
    EXPECT_EQ(SetUpWith(500, 46340, 32768, 1).thresholdSq, 46340 * 46340);
    EXPECT_EQ(SetUpWith(500, 46341, 32768, 1).thresholdSq, kInt32Max);
    EXPECT_EQ(SetUpWith(500, 0xFFFFFFFF, 1, 1).thresholdSq, kInt32Max);
    EXPECT_EQ(SetUpWith(500, 0x10000, 1, 1).thresholdSq, kInt32Max);  // d = 2^31
}

TEST(TapFilterSetupTest, UnknownPanelSizeKeepsTheResetValues) {
    for (auto [width, height] : {std::pair{0, 800}, std::pair{1000, 0}, std::pair{0, 0}}) {
        const FilterSize s = SetUpWith(15, 4, width, height);
        EXPECT_EQ(s.maxCount, 60);
        EXPECT_EQ(s.thresholdSq, 160000);
        EXPECT_EQ(s.state, TAP_IDLE);
    }
}

class TapFilterTest : public ::testing::Test {
  protected:
    void SetUp() override { SetupTapFilter(&tap, 500, 4, 1000, 800); }  // 31 samples, 131^2

    std::vector<TouchPoint> Step(const TouchPoint& p) {
        TapFilterStep(&tap, p);
        std::vector<TouchPoint> out(kMaxPoints);
        out.resize(static_cast<std::size_t>(TapFilterOutput(&tap, out.data())));
        return out;
    }

    // Collects a still touch until the filter holds it: 30 frames held back, then the 31st.
    std::vector<TouchPoint> HoldStillTouch() {
        for (int frame = 0; frame < 30; ++frame) {
            const std::vector<TouchPoint> out = Step(Touch(1000 + frame % 2, 2000, 10));
            EXPECT_EQ(out.size(), 1u) << "frame " << frame;
            EXPECT_EQ(out[0].valid, 0) << "frame " << frame;
        }
        return Step(Touch(1000, 2000, 10));
    }

    TapFilter tap{};
};

TEST_F(TapFilterTest, StillTouchIsHeldBackAveragedAndThenHeld) {
    const std::vector<TouchPoint> released = HoldStillTouch();
    // x: 15 frames at 1000, 15 at 1001, and 1000 again: 31015 / 31 = 1000 (integer).
    ASSERT_EQ(released.size(), 30u);
    EXPECT_THAT(released, Each(FieldsAre(1000, 2000, 10, 1)));
    EXPECT_EQ(tap.state, TAP_HOLDING);

    // Small movements within the threshold keep the held position.
    for (INT32 dx : {60, -60, 92, 0}) {
        EXPECT_THAT(Step(Touch(1000 + dx, 2000 + 92)), ElementsAre(FieldsAre(1000, 2000, 10, 1)));
        EXPECT_EQ(tap.state, TAP_HOLDING);
    }
}

TEST_F(TapFilterTest, AverageDividesTheSumsAsIntegers) {
    for (int frame = 0; frame < 30; ++frame) {
        Step(Touch(frame < 10 ? 1001 : 1000, 2000 + frame % 3, frame % 2));
    }
    const std::vector<TouchPoint> released = Step(Touch(1000, 2000, 1));
    // x: (10 * 1001 + 21 * 1000) / 31 = 1000; y: sum of 2000 + (f mod 3) over 31 frames =
    // 62000 + 30 -> 2000; z: 16 ones / 31 = 0.
    ASSERT_FALSE(released.empty());
    EXPECT_THAT(released[0], FieldsAre(1000, 2000, 0, 1));
}

TEST_F(TapFilterTest, MovementBeyondTheThresholdLeavesHolding) {
    HoldStillTouch();
    // The spread is measured against the held entry: (132)^2 > 131^2.
    EXPECT_THAT(Step(Touch(1132, 2000)),
                ElementsAre(FieldsAre(1000, 2000, 10, 1), FieldsAre(1132, 2000, 0, 1)));
    EXPECT_EQ(tap.state, TAP_MOVING);
    EXPECT_THAT(Step(Touch(1500, 2500)), ElementsAre(FieldsAre(1500, 2500, 0, 1)));
    EXPECT_THAT(Step(Lifted(7, 7)), ElementsAre(FieldsAre(7, 7, 0, 0)));
    EXPECT_EQ(tap.state, TAP_IDLE);
}

TEST_F(TapFilterTest, SpreadExactlyAtTheThresholdDoesNotCount) {
    Step(Touch(1000, 2000));
    EXPECT_EQ(Step(Touch(1131, 2000)).size(), 1u);
    EXPECT_EQ(tap.state, TAP_COLLECTING);
    // Exceeded only now: the samples go out as they are.
    EXPECT_THAT(Step(Touch(1132, 2000)),
                ElementsAre(FieldsAre(1000, 2000, 0, 1), FieldsAre(1131, 2000, 0, 1),
                            FieldsAre(1132, 2000, 0, 1)));
    EXPECT_EQ(tap.state, TAP_MOVING);
}

TEST_F(TapFilterTest, MovementWhileCollectingReleasesTheSamplesUnchanged) {
    Step(Touch(1000, 2000));
    Step(Touch(1050, 2000));
    EXPECT_EQ(tap.state, TAP_COLLECTING);
    // Spread 200 > 131: everything collected so far goes out, in order, unchanged.
    EXPECT_THAT(Step(Touch(1200, 2000)),
                ElementsAre(FieldsAre(1000, 2000, 0, 1), FieldsAre(1050, 2000, 0, 1),
                            FieldsAre(1200, 2000, 0, 1)));
    EXPECT_EQ(tap.state, TAP_MOVING);
    EXPECT_THAT(Step(Touch(1300, 2000)), ElementsAre(FieldsAre(1300, 2000, 0, 1)));
}

TEST_F(TapFilterTest, QuickTapIsAveragedAndLiftedTogether) {
    Step(Touch(1000, 2000, 4));
    Step(Touch(1010, 2010, 6));
    Step(Touch(1020, 2020, 8));
    // A lift-off while collecting averages the touching samples before it.
    EXPECT_THAT(Step(Lifted(0, 0)),
                ElementsAre(FieldsAre(1010, 2010, 6, 1), FieldsAre(1010, 2010, 6, 1),
                            FieldsAre(1010, 2010, 6, 1), FieldsAre(0, 0, 0, 0)));
    EXPECT_EQ(tap.state, TAP_IDLE);
    EXPECT_EQ(tap.count, 0);
}

TEST_F(TapFilterTest, LiftOffWhileHoldingEndsTheTouch) {
    HoldStillTouch();
    // Lifted at the held position: the lift must still come out, after the held point.
    EXPECT_THAT(Step(Lifted(1000, 2000)),
                ElementsAre(FieldsAre(1000, 2000, 10, 1), FieldsAre(1000, 2000, 0, 0)));
    EXPECT_EQ(tap.state, TAP_IDLE);
    // The next touch is collected afresh.
    EXPECT_THAT(Step(Touch(3000, 3000)), ElementsAre(FieldsAre(3000, 3000, 0, 0)));
    EXPECT_EQ(tap.state, TAP_COLLECTING);
}

TEST(TapFilterPassThroughTest, ShortDoubleClickTimePassesEveryPointUnchanged) {
    TapFilter tap{};
    SetupTapFilter(&tap, 15, 4, 1000, 800);
    TouchPoint out[kMaxPoints];
    for (const TouchPoint& p : {Touch(5, 6, 7), Touch(50000, 60000), Lifted(1, 2), Touch(9, 9)}) {
        TapFilterStep(&tap, p);
        ASSERT_EQ(TapFilterOutput(&tap, out), 1);
        EXPECT_THAT(out[0], FieldsAre(p.x, p.y, p.z, p.valid));
    }
}

TEST(TapFilterPassThroughTest, NeverInitialisedFilterPassesPointsWithinItsEntries) {
    // A camera whose initialisation failed keeps the zero-filled filter (maxCount 0).
    TOUCH_DATA td{};
    TouchPoint out[kMaxPoints];
    for (int i = 0; i < 3; ++i) {
        TapFilterStep(&td.Tap, Touch(100 + i, 200));
        ASSERT_EQ(TapFilterOutput(&td.Tap, out), 1);
        EXPECT_THAT(out[0], FieldsAre(100 + i, 200, 0, 1));
    }
    // What lies in front of the entries is untouched.
    EXPECT_EQ(td.Tap.maxCount, 0);
    EXPECT_EQ(td.Tap.thresholdSq, 0);
}

TEST(TapFilterPassThroughTest, ADragFollowsTheFingerWithOneSampleOfDoubleClickTime) {
    for (const DWORD time : {16u, 31u}) {
        TapFilter tap{};
        SetupTapFilter(&tap, time, 4, 1000, 800);
        TouchPoint out[kMaxPoints];
        for (const TouchPoint& p : {Touch(100, 200), Touch(104, 200), Touch(900, 700)}) {
            TapFilterStep(&tap, p);
            ASSERT_EQ(TapFilterOutput(&tap, out), 1) << "DoubleClickTime " << time;
            EXPECT_THAT(out[0], FieldsAre(p.x, p.y, p.z, p.valid)) << "DoubleClickTime " << time;
        }
    }
}

}  // namespace
}  // namespace ots::test
