// The tap stabiliser: its set-up from the settings, the collect/average/hold
// cycle of a still finger, and the ways a touch leaves it (movement, lift-off).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/touch_device.h"
#include "touch/tap_filter.h"

namespace ots::test {
namespace {

using ::testing::FieldsAre;

constexpr INT32 kInt32Max = std::numeric_limits<INT32>::max();
constexpr INT32 kInt32Min = std::numeric_limits<INT32>::min();

TEST(TapFilterSetupTest, SizeFollowsTheDoubleClickSettingsAndThePanel) {
    const struct {
        DWORD time, area;
        INT32 width, height, maxCount, thresholdSq;
        BYTE state;
    } rows[] = {
        {16, 4, 1000, 800, 1, 131 * 131, TAP_PASS_THROUGH},
        {32, 4, 1000, 800, 2, 131 * 131, TAP_IDLE},
        {975, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        {0xFFFFFFFF, 4, 1000, 800, 60, 131 * 131, TAP_IDLE},
        // With a width of 32768 the distance equals the area; beyond 46340 it
        // saturates.
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

std::string Step(TapFilter* tap, const TouchPoint& p) {
    TouchPoint out[kMaxPoints];
    TapFilterStep(tap, p);
    return PointsText(out, TapFilterOutput(tap, out));
}

// A still touch, held back for 30 frames; the 31st releases their integer average: x (10 * 1001
// + 21 * 1000) / 31, y (62000 + 30) / 31, z 16 ones / 31.
void HoldStillTouch(TapFilter* tap) {
    for (int frame = 0; frame < 30; ++frame) {
        ASSERT_EQ(Step(tap, Touch(frame < 10 ? 1001 : 1000, 2000 + frame % 3, frame % 2)), "-");
    }
    std::string released = "1000,2000,0";
    for (int i = 1; i < 30; ++i) {
        released += " 1000,2000,0";
    }
    ASSERT_EQ(Step(tap, Touch(1000, 2000, 1)), released);
    ASSERT_EQ(tap->state, TAP_HOLDING);
}

TEST(TapFilterTest, TouchesAreHeldBackAveragedHeldAndLeaveByMovementOrLiftOff) {
    constexpr char kFresh = 'F', kHeld = 'H';  // a scenario starts on a fresh filter, or held
    const struct {
        char start;
        TouchPoint in;
        const char* out;
        BYTE state;
    } steps[] = {
        // Jitter within the area keeps the held position.
        {kHeld, Touch(1060, 2092), "1000,2000,0", TAP_HOLDING},
        {0, Touch(940, 2092), "1000,2000,0", TAP_HOLDING},
        {0, Touch(1092, 2092), "1000,2000,0", TAP_HOLDING},
        // Movement beyond the area: the spread is measured against the held entry, 132^2 > 131^2.
        {kHeld, Touch(1132, 2000), "1000,2000,0 1132,2000,0", TAP_MOVING},
        {0, Touch(1500, 2500), "1500,2500,0", TAP_MOVING},
        {0, Lifted(7, 7), "-", TAP_IDLE},
        // A lift-off while holding ends the touch.
        {kHeld, Lifted(1000, 2000), "1000,2000,0 -", TAP_IDLE},
        {0, Touch(3000, 3000), "-", TAP_COLLECTING},
        // A spread exactly at the area does not count.
        {kFresh, Touch(1000, 2000), "-", TAP_COLLECTING},
        {0, Touch(1131, 2000), "-", TAP_COLLECTING},
        {0, Touch(1132, 2000), "1000,2000,0 1131,2000,0 1132,2000,0", TAP_MOVING},
        {0, Touch(1300, 2000), "1300,2000,0", TAP_MOVING},
        // Points at opposite ends of the coordinate range are movement.
        {kFresh, Touch(kInt32Min, kInt32Min), "-", TAP_COLLECTING},
        {0, Touch(kInt32Max, kInt32Max), "-2147483648,-2147483648,0 2147483647,2147483647,0",
         TAP_MOVING},
        // A quick tap is averaged and lifted together.
        {kFresh, Touch(1000, 2000, 4), "-", TAP_COLLECTING},
        {0, Touch(1010, 2010, 6), "-", TAP_COLLECTING},
        {0, Touch(1020, 2020, 8), "-", TAP_COLLECTING},
        {0, Lifted(), "1010,2010,6 1010,2010,6 1010,2010,6 -", TAP_IDLE},
    };
    TapFilter tap{};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        if (steps[i].start != 0) {
            SetupTapFilter(&tap, 500, 4, 1000, 800);  // 31 samples, 131^2
        }
        if (steps[i].start == kHeld) {
            HoldStillTouch(&tap);
        }
        EXPECT_EQ(Step(&tap, steps[i].in), steps[i].out);
        EXPECT_EQ(tap.state, steps[i].state);
    }
}

TEST(TapFilterPassThroughTest, ShortDoubleClickTimesPassEveryPointUnchanged) {
    // 16 and 31 ms: one sample. A camera whose initialisation failed keeps the
    // zero-filled filter (maxCount 0), whose entries must still bound what it
    // writes.
    for (const DWORD time : {15u, 16u, 31u, 0xDEADu}) {
        SCOPED_TRACE(time);
        TOUCH_DATA td{};
        if (time != 0xDEADu) {
            SetupTapFilter(&td.Tap, time, 4, 1000, 800);
        }
        const TapFilter before = td.Tap;
        for (const TouchPoint& p : {Touch(5, 6, 7), Touch(50000, 60000), Lifted(1, 2)}) {
            EXPECT_EQ(Step(&td.Tap, p), PointsText(&p, 1));
        }
        EXPECT_THAT(std::pair(td.Tap.maxCount, td.Tap.thresholdSq),
                    FieldsAre(before.maxCount, before.thresholdSq));
    }
}

}  // namespace
}  // namespace ots::test
