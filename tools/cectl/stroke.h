// The strokes cectl draws, as the points a finger passes through (screen pixels).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cectl/control_request.h"

namespace ots::control {

inline constexpr std::size_t kCircleSegments = 72;  // 5° each: smooth at any panel's rate
inline constexpr std::size_t kMaxPathPoints = 100000;

// Round the circle from its rightmost point, counter-clockwise on the screen, back to the
// start: kCircleSegments + 1 points.
std::vector<Point> CircleStroke(Point centre, double radiusPx);

struct PathText {
    std::vector<Point> points;
    std::string error;  // "FILE:LINE: what"; empty when the text was good
};

// One "x y" pair per line; blank lines and lines starting with '#' are skipped. At least one
// point and at most kMaxPathPoints.
PathText ParsePathText(const std::string& text, const std::string& fileName);

}  // namespace ots::control
