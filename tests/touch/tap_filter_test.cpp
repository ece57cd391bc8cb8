// The tap stabiliser: its set-up from the settings, the collect/average/hold cycle of a still
// finger, and the ways a touch leaves it (movement, lift-off).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "support/touch_device.h"
#include "touch/tap_filter.h"

namespace ots::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

constexpr INT32 kInt32Max = std::numeric_limits<INT32>::max();
constexpr INT32 kInt32Min = std::numeric_limits<INT32>::min();

TEST(TapFilterSetupTest, SizeFollowsTheDoubleClickSettingsAndThePanel) {
    const struct {
        DWORD time, area;
        INT32 width, height, maxCount, thresholdSq;
        BYTE state;
    } rows[] = {
        {500, 4, 1000, 800, 31, 131 * 131, TAP_IDLE},
        {0, 4, 1000, 800, 1, 131 * 131, TAP_PASS_THROUGH},
        {16, 4, 1000, 800, 1, 131 * 131, TAP_PASS_THROUGH},
        {32, 4, 1000, 800, 2, 131 * 131, TAP_IDLE},
        {975, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        {0xFFFFFFFF, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        // With a width of 32768 the distance equals the area; beyond 46340 it saturates.
        {500, 46340, 32768, 1, 31, 46340 * 46340, TAP_IDLE},
        {500, 46341, 32768, 1, 31, kInt32Max, TAP_IDLE},
        {500, 0x10000, 1, 1, 31, kInt32Max, TAP_IDLE},  // d = 2^31
        {500, 0xFFFFFFFF, 1, 1, 31, kInt32Max, TAP_IDLE},
        // An unknown panel size keeps the reset values.
        {15, 4, 0, 800, 60, 160000, TAP_IDLE},
        {15, 4, 1000, 0, 60, 160000, TAP_IDLE},
    };
    for (const auto& row : rows) {
        TapFilter tap{};
        SetupTapFilter(&tap, row.time, row.area, row.width, row.height);
        EXPECT_THAT(std::tuple(tap.maxCount, tap.thresholdSq, tap.state),
                    FieldsAre(row.maxCount, row.thresholdSq, row.state))
            << "time " << row.time << ", area " << row.area << ", " << row.width << " x "
            << row.height;
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
    // A still touch, held back for 30 frames and released with the 31st.
    std::vector<TouchPoint> HoldStillTouch() {
        for (int frame = 0; frame < 30; ++frame) {
            const std::vector<TouchPoint> out = Step(Touch(1000 + frame % 2, 2000, 10));
            EXPECT_THAT(out, ElementsAre(testing::Field(&TouchPoint::valid, 0))) << frame;
        }
        return Step(Touch(1000, 2000, 10));
    }

    TapFilter tap{};
};

TEST_F(TapFilterTest, StillTouchIsHeldBackAveragedAndThenHeld) {
    // x: 15 frames at 1000, 15 at 1001, and 1000 again: 31015 / 31 = 1000 (integer).
    const std::vector<TouchPoint> released = HoldStillTouch();
    EXPECT_EQ(released.size(), 30u);
    EXPECT_THAT(released, Each(FieldsAre(1000, 2000, 10, 1)));
    EXPECT_EQ(tap.state, TAP_HOLDING);
}

TEST_F(TapFilterTest, AverageDividesTheSumsAsIntegers) {
    for (int frame = 0; frame < 30; ++frame) {
        Step(Touch(frame < 10 ? 1001 : 1000, 2000 + frame % 3, frame % 2));
    }
    // x: (10 * 1001 + 21 * 1000) / 31 = 1000; y: 62000 + 30 -> 2000; z: 16 ones / 31 = 0.
    const std::vector<TouchPoint> released = Step(Touch(1000, 2000, 1));
    ASSERT_FALSE(released.empty());
    EXPECT_THAT(released[0], FieldsAre(1000, 2000, 0, 1));
}

struct Stepped {
    TouchPoint in;
    std::optional<std::vector<TouchPoint>> out;  // none: held back (one point, not touching)
    BYTE state;
};

TEST_F(TapFilterTest, TouchesLeaveTheFilterByMovementOrLiftOff) {
    const TouchPoint heldPoint = Touch(1000, 2000, 10);
    const struct {
        const char* name;
        bool held;
        std::vector<Stepped> steps;
    } rows[] = {
        {"jitter within the area keeps the held position",
         true,
         {{Touch(1060, 2092), {{heldPoint}}, TAP_HOLDING},
          {Touch(940, 2092), {{heldPoint}}, TAP_HOLDING},
          {Touch(1092, 2092), {{heldPoint}}, TAP_HOLDING}}},
        // The spread is measured against the held entry: 132^2 > 131^2.
        {"movement beyond the area leaves holding",
         true,
         {{Touch(1132, 2000), {{heldPoint, Touch(1132, 2000)}}, TAP_MOVING},
          {Touch(1500, 2500), {{Touch(1500, 2500)}}, TAP_MOVING},
          {Lifted(7, 7), {{Lifted(7, 7)}}, TAP_IDLE}}},
        {"lift-off while holding ends the touch",
         true,
         {{Lifted(1000, 2000), {{heldPoint, Lifted(1000, 2000)}}, TAP_IDLE},
          {Touch(3000, 3000), std::nullopt, TAP_COLLECTING}}},
        {"a spread exactly at the area does not count",
         false,
         {{Touch(1000, 2000), std::nullopt, TAP_COLLECTING},
          {Touch(1131, 2000), std::nullopt, TAP_COLLECTING},
          {Touch(1132, 2000),
           {{Touch(1000, 2000), Touch(1131, 2000), Touch(1132, 2000)}},
           TAP_MOVING},
          {Touch(1300, 2000), {{Touch(1300, 2000)}}, TAP_MOVING}}},
        {"points at opposite ends of the coordinate range are movement",
         false,
         {{Touch(kInt32Min, kInt32Min), std::nullopt, TAP_COLLECTING},
          {Touch(kInt32Max, kInt32Max),
           {{Touch(kInt32Min, kInt32Min), Touch(kInt32Max, kInt32Max)}},
           TAP_MOVING}}},
        {"a quick tap is averaged and lifted together",
         false,
         {{Touch(1000, 2000, 4), std::nullopt, TAP_COLLECTING},
          {Touch(1010, 2010, 6), std::nullopt, TAP_COLLECTING},
          {Touch(1020, 2020, 8), std::nullopt, TAP_COLLECTING},
          {Lifted(0, 0),
           {{Touch(1010, 2010, 6), Touch(1010, 2010, 6), Touch(1010, 2010, 6), Lifted(0, 0)}},
           TAP_IDLE}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.held) {
            HoldStillTouch();
        }
        for (const Stepped& s : row.steps) {
            const std::vector<TouchPoint> out = Step(s.in);
            if (s.out) {
                ASSERT_EQ(out.size(), s.out->size()) << testing::PrintToString(s.in);
                for (std::size_t i = 0; i < out.size(); ++i) {
                    const TouchPoint& w = (*s.out)[i];
                    EXPECT_THAT(out[i], FieldsAre(w.x, w.y, w.z, w.valid))
                        << testing::PrintToString(s.in) << " #" << i;
                }
            } else {
                EXPECT_THAT(out, ElementsAre(testing::Field(&TouchPoint::valid, 0)))
                    << testing::PrintToString(s.in);
            }
            EXPECT_EQ(tap.state, s.state) << testing::PrintToString(s.in);
        }
    }
}

TEST(TapFilterPassThroughTest, ShortDoubleClickTimesPassEveryPointUnchanged) {
    // 16 and 31 ms: one sample. A camera whose initialisation failed keeps the zero-filled
    // filter (maxCount 0), whose entries must still bound what it writes.
    for (const DWORD time : {15u, 16u, 31u, 0xDEADu}) {
        SCOPED_TRACE(time);
        TOUCH_DATA td{};
        if (time != 0xDEADu) {
            SetupTapFilter(&td.Tap, time, 4, 1000, 800);
        }
        const TapFilter before = td.Tap;
        TouchPoint out[kMaxPoints];
        for (const TouchPoint& p :
             {Touch(5, 6, 7), Touch(9, 6), Touch(50000, 60000), Lifted(1, 2), Touch(900, 700)}) {
            TapFilterStep(&td.Tap, p);
            ASSERT_EQ(TapFilterOutput(&td.Tap, out), 1);
            EXPECT_THAT(out[0], FieldsAre(p.x, p.y, p.z, p.valid));
        }
        EXPECT_EQ(td.Tap.maxCount, before.maxCount);
        EXPECT_EQ(td.Tap.thresholdSq, before.thresholdSq);
    }
}

}  // namespace
}  // namespace ots::test
