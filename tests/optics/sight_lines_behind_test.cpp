// Sight lines are rays from their cameras: where only their backward extensions meet (lenses
// whose view passes a right angle) there is no touch, not one clamped onto the screen edge.
#include <gtest/gtest.h>

#include <numbers>

#include "touch/position_triangulate.h"

namespace {

position::AngleSpan Span(double center) {
    return position::AngleSpan{center, center, center, 0.0};
}

TEST(Triangulate, LinesMeetingBehindACameraGiveNoPoint) {
    constexpr double kPi = std::numbers::pi;
    const struct {
        double centerA;
        double centerB;
    } cases[] = {
        {-0.3, -0.3},      // both turned away from the panel: they meet behind the baseline
        {2.0, 0.3},        // camera A looks back past its right angle
        {kPi - 0.3, 1.2},  // the lines meet in front, but behind camera A's ray
        {1.2, kPi - 0.3},  // the same for camera B
    };
    for (const auto& c : cases) {
        EXPECT_EQ(position::Triangulate(Span(c.centerA), Span(c.centerB)).valid, 0)
            << c.centerA << ", " << c.centerB;
    }
}

}  // namespace
