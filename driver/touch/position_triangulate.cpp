#include "touch/position_triangulate.h"

#include <cmath>

namespace position {
namespace {

// g: the radius of a circle at distance d that just fills the half-width angle a is d·sin(a).
// Sine rather than tangent because the finger is round and the sight lines are tangents to it.
double SizeEstimate(double distance, double width) {
    return distance * std::sin(width / 2.0);
}

// h: the natural logarithm of the ratio, so that sB = sA gives 0 and the measure is symmetric.
double Mismatch(double sizeA, double sizeB) {
    const double m = std::fabs(std::log(sizeB / sizeA));
    return std::isfinite(m) ? std::fmin(m, kMismatchLimit) : kMismatchLimit;
}

// Harmonic mean: a shadow widened by a second finger behind it inflates only one camera's
// estimate, and the smaller estimate dominates.
double CombinedSize(double sizeA, double sizeB) {
    const double size = 2.0 / (1.0 / sizeA + 1.0 / sizeB);
    return std::isfinite(size) ? size : 0.0;
}

}  // namespace

SolvedPoint Triangulate(const AngleSpan& spanA, const AngleSpan& spanB) {
    const double tA = std::tan(spanA.center);
    const double tB = std::tan(spanB.center);
    const double sum = tA + tB;
    // Parallel sight lines meet nowhere; a broken lens model can yield non-finite angles.
    if (sum == 0.0 || !std::isfinite(sum)) {
        return kNoPoint;
    }
    SolvedPoint p{};
    p.y = 1.0 / sum;
    p.x = tA * p.y;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        return kNoPoint;
    }
    // Each sight line is a ray from its camera: a point behind either camera is where only the
    // lines' backward extensions meet, so nothing touches there.
    if (!(p.y / std::cos(spanA.center) > 0.0) || !(p.y / std::cos(spanB.center) > 0.0)) {
        return kNoPoint;
    }
    const double sizeA = SizeEstimate(std::hypot(p.x, p.y), spanA.width);
    const double sizeB = SizeEstimate(std::hypot(1.0 - p.x, p.y), spanB.width);
    p.size = CombinedSize(sizeA, sizeB);
    p.mismatch = Mismatch(sizeA, sizeB);
    p.valid = 1;
    return p;
}

double Distance(const SolvedPoint& p, const SolvedPoint& q) {
    return std::hypot(p.x - q.x, p.y - q.y);
}

double Cost(const SolvedPoint* p, const SolvedPoint& q, double maxStep) {
    const bool havePoint = p != nullptr && p->valid != 0;
    const bool haveReference = q.valid != 0;
    if (havePoint && haveReference) {
        return Distance(*p, q) * (p->mismatch + 1.0);
    }
    if (havePoint || haveReference) {
        return (maxStep + kUnmatchedCost) / 2.0;
    }
    return kUnmatchedCost;
}

}  // namespace position
