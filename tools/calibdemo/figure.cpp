#include "figure.h"

#include <cmath>
#include <limits>

#include "ce/input.h"

namespace calibdemo {
namespace {

using ots::control::Point;

constexpr double kNearPathPx = 4.0;       // a move farther off the path is not matched
constexpr double kSearchAheadPx = 120.0;  // the finger only goes forward
constexpr double kStepPx = 0.25;

// The point at arc length s along the path.
Point At(const std::vector<Point>& path, double s) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double dx = path[i].xPx - path[i - 1].xPx;
        const double dy = path[i].yPx - path[i - 1].yPx;
        const double length = std::hypot(dx, dy);
        if (s <= length || i + 1 == path.size()) {
            const double f = length > 0.0 ? std::min(s / length, 1.0) : 0.0;
            return {path[i - 1].xPx + f * dx, path[i - 1].yPx + f * dy};
        }
        s -= length;
    }
    return path.back();
}

double Length(const std::vector<Point>& path) {
    double total = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i) {
        total += std::hypot(path[i].xPx - path[i - 1].xPx, path[i].yPx - path[i - 1].yPx);
    }
    return total;
}

}  // namespace

std::vector<Point> StarFigure(int widthPx, int heightPx) {
    const double cx = widthPx / 2.0, cy = heightPx / 2.0;
    const double r = 0.38 * std::min(widthPx, heightPx);
    std::vector<Point> star;
    for (int k = 0; k <= 5; ++k) {
        const double a = -M_PI / 2.0 + k * 4.0 * M_PI / 5.0;  // every second corner
        star.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return star;
}

std::vector<double> PointerLagMs(const std::vector<Point>& path, double drawMs, double startMs,
                                 const std::vector<InjectedEvent>& events) {
    std::vector<double> lags;
    const double total = Length(path);
    if (total <= 0.0) {
        return lags;
    }
    double from = 0.0;
    for (const InjectedEvent& event : events) {
        if ((event.flags & MOUSEEVENTF_MOVE) == 0) {
            continue;  // clicks without a move say nothing of the path
        }
        double best = std::numeric_limits<double>::infinity();
        double bestS = from;
        for (double s = from; s <= std::min(total, from + kSearchAheadPx); s += kStepPx) {
            const Point p = At(path, s);
            const double d = std::hypot(p.xPx - event.xPx, p.yPx - event.yPx);
            if (d < best) {
                best = d;
                bestS = s;
            }
        }
        if (best > kNearPathPx) {
            continue;
        }
        from = bestS;
        lags.push_back(event.tMs - (startMs + bestS / total * drawMs));
    }
    return lags;
}

double DesignedLagMs(ots::control::ControllerKind kind, double framePeriodMs) {
    constexpr double kSmoothingRingFrames = 2.0;
    constexpr double kSplineTrailFrames = 1.0;
    constexpr double kMedianInBurstFrames = 0.5;
    if (kind != ots::control::ControllerKind::Camera) {
        return 0.0;
    }
    return (kSmoothingRingFrames + kSplineTrailFrames + kMedianInBurstFrames) * framePeriodMs;
}

}  // namespace calibdemo
