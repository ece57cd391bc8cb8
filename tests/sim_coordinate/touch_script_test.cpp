// Touch scripts: gestures cut into report periods.
#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/touch_script.h"

namespace ots::sim {
namespace {

TEST(TouchScript, DurationsBecomeWholeReportPeriods) {
    const TouchScript script(100.0);
    EXPECT_DOUBLE_EQ(script.PeriodMs(), 10.0);
    EXPECT_EQ(script.Steps(0.0), 1u);  // at least one
    EXPECT_EQ(script.Steps(4.0), 1u);
    EXPECT_EQ(script.Steps(15.0), 2u);
    EXPECT_EQ(script.Steps(200.0), 20u);
}

TEST(TouchScript, MoveTravelsInAStraightLineAndArrivesWithTheLastSample) {
    TouchScript script(100.0);
    script.Down(100, 100).MoveTo(200, 150, 40);

    const auto& samples = script.Samples();
    ASSERT_EQ(samples.size(), 5u);
    EXPECT_DOUBLE_EQ(samples[0].contacts[0].xPx, 100);
    for (std::size_t k = 1; k <= 4; ++k) {
        const Contact& c = samples[k].contacts[0];
        EXPECT_DOUBLE_EQ(c.xPx, 100 + 25.0 * static_cast<double>(k));
        EXPECT_DOUBLE_EQ(c.yPx, 100 + 12.5 * static_cast<double>(k));
        EXPECT_TRUE(c.touching);
    }
}

TEST(TouchScript, TapIsDownHoldUpAtOnePlace) {
    TouchScript script(100.0);
    script.Tap(300, 200, 50);

    const auto& samples = script.Samples();
    ASSERT_EQ(samples.size(), 1u + 5u + 1u);
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        EXPECT_TRUE(samples[i].contacts[0].touching) << i;
    }
    const Contact& up = samples.back().contacts[0];
    EXPECT_FALSE(up.touching);
    EXPECT_DOUBLE_EQ(up.xPx, 300);  // lifted where it touched
    EXPECT_DOUBLE_EQ(up.yPx, 200);
    EXPECT_FALSE(samples[0].contacts[1].touching);
}

TEST(TouchScript, DragEndsWhereItWasLeadAndLifts) {
    TouchScript script(50.0);
    script.Drag(0, 0, 100, 0, 100);

    const auto& samples = script.Samples();
    ASSERT_EQ(samples.size(), 1u + 5u + 1u);
    EXPECT_DOUBLE_EQ(samples[5].contacts[0].xPx, 100);
    EXPECT_FALSE(samples[6].contacts[0].touching);
}

TEST(TouchScript, FingersMoveIndependently) {
    TouchScript script;
    script.Down(10, 10, 0).Down(500, 500, 1).MoveTo(20, 10, 0, 0).Up(1);

    const auto& last = script.Samples().back();
    EXPECT_TRUE(last.contacts[0].touching);
    EXPECT_DOUBLE_EQ(last.contacts[0].xPx, 20);
    EXPECT_FALSE(last.contacts[1].touching);
    EXPECT_DOUBLE_EQ(last.contacts[1].xPx, 500);
    EXPECT_THROW(script.Down(1, 1, kMaxFingers), std::out_of_range);
}

TEST(TouchScript, TakingSamplesKeepsWhereTheFingersAre) {
    TouchScript script;
    script.Down(50, 60);
    EXPECT_EQ(script.TakeSamples().size(), 1u);
    EXPECT_TRUE(script.Samples().empty());

    script.Hold(20);
    ASSERT_EQ(script.Samples().size(), 2u);
    EXPECT_TRUE(script.Samples()[0].contacts[0].touching);
    EXPECT_DOUBLE_EQ(script.Samples()[0].contacts[0].yPx, 60);
}

}  // namespace
}  // namespace ots::sim
