// The strokes cectl draws: a closed circle and path files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "cectl/stroke.h"

namespace {

using namespace ots::control;
using ::testing::HasSubstr;

TEST(CircleStroke, ClosesOnItsStartAndKeepsItsRadius) {
    const std::vector<Point> points = CircleStroke({400, 300}, 100);
    ASSERT_EQ(points.size(), kCircleSegments + 1);
    EXPECT_NEAR(points.front().xPx, 500.0, 1e-9);
    EXPECT_NEAR(points.front().yPx, 300.0, 1e-9);
    EXPECT_NEAR(points.back().xPx, points.front().xPx, 1e-9);
    EXPECT_NEAR(points.back().yPx, points.front().yPx, 1e-9);
    for (const Point& p : points) {
        EXPECT_NEAR(std::hypot(p.xPx - 400, p.yPx - 300), 100.0, 1e-9);
    }
    // A quarter of the way round is the top of the circle on the screen.
    EXPECT_NEAR(points[kCircleSegments / 4].yPx, 200.0, 1e-9);
}

TEST(PathText, ReadsPairsSkippingBlanksAndComments) {
    const PathText path = ParsePathText("# a square\n10 20\n\n  30\t40\r\n# end\n50 60", "p.txt");
    EXPECT_EQ(path.error, "");
    EXPECT_EQ(path.points, (std::vector<Point>{{10, 20}, {30, 40}, {50, 60}}));
}

TEST(PathText, NamesTheFileAndLineAtFault) {
    EXPECT_EQ(ParsePathText("1 2\n3\n", "p.txt").error, "p.txt:2: expected \"x y\"");
    EXPECT_EQ(ParsePathText("1 2 3\n", "p.txt").error, "p.txt:1: expected \"x y\"");
    EXPECT_EQ(ParsePathText("a b\n", "p.txt").error, "p.txt:1: expected \"x y\"");
    EXPECT_THAT(ParsePathText("# nothing\n", "p.txt").error, HasSubstr("no points"));
    EXPECT_TRUE(ParsePathText("1 2\nx\n", "p.txt").points.empty());
}

TEST(PathText, HoldsAtMostTheLimitOfPoints) {
    std::string text;
    for (std::size_t i = 0; i < kMaxPathPoints; ++i) {
        text += "1 2\n";
    }
    EXPECT_EQ(ParsePathText(text, "p").points.size(), kMaxPathPoints);
    text += "1 2\n";
    EXPECT_THAT(ParsePathText(text, "p").error, HasSubstr("more than"));
}

}  // namespace
