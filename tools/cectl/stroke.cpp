#include "cectl/stroke.h"

#include <cmath>
#include <numbers>
#include <sstream>

#include "cectl/command_line.h"

namespace ots::control {

std::vector<Point> CircleStroke(Point centre, double radiusPx) {
    std::vector<Point> points;
    points.reserve(kCircleSegments + 1);
    for (std::size_t i = 0; i <= kCircleSegments; ++i) {
        const double angle =
            2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(kCircleSegments);
        // Screen y grows downwards, so counter-clockwise on the screen subtracts the sine.
        points.push_back(
            {centre.xPx + radiusPx * std::cos(angle), centre.yPx - radiusPx * std::sin(angle)});
    }
    return points;
}

namespace {

bool Blank(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == '#';
}

}  // namespace

PathText ParsePathText(const std::string& text, const std::string& fileName) {
    PathText result;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (Blank(line)) {
            continue;
        }
        std::istringstream fields(line);
        std::string x, y, extra;
        fields >> x >> y;
        const std::optional<double> xPx = ParseCoordinate(x);
        const std::optional<double> yPx = ParseCoordinate(y);
        if (!xPx || !yPx || (fields >> extra)) {
            result.error = fileName + ":" + std::to_string(number) + ": expected \"x y\"";
            result.points.clear();
            return result;
        }
        if (result.points.size() == kMaxPathPoints) {
            result.error = fileName + ":" + std::to_string(number) + ": more than " +
                           std::to_string(kMaxPathPoints) + " points";
            result.points.clear();
            return result;
        }
        result.points.push_back({*xPx, *yPx});
    }
    if (result.points.empty()) {
        result.error = fileName + ": no points";
    }
    return result;
}

}  // namespace ots::control
