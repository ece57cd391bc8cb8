#include "touch/spline.h"

#include <algorithm>
#include <cmath>

#include "touch/truncate.h"

namespace {

struct Vec3 {
    double x, y, z;
};

Vec3 ToVec(const ots::TouchPoint& p) {
    return {static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z)};
}
Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(double s, Vec3 a) {
    return {s * a.x, s * a.y, s * a.z};
}

bool Touching(const ots::TouchPoint& p) {
    return p.valid != 0;
}

// x and y only.
double PlanarLength(Vec3 v) {
    return std::sqrt(v.x * v.x + v.y * v.y);
}

ots::TouchPoint RoundedPoint(Vec3 v) {
    ots::TouchPoint p{};
    p.x = TruncateToInt32(v.x + 0.5);
    p.y = TruncateToInt32(v.y + 0.5);
    p.z = std::max(TruncateToInt32(v.z + 0.5), 0);
    p.valid = 1;
    return p;
}

}  // namespace

int InterpolateSpline(const PointHistory& history, int n, ots::TouchPoint* output) {
    n = std::clamp(n, 1, kMaxPoints);
    const ots::TouchPoint* e = history.E;
    if (!Touching(e[2])) {
        for (int k = 0; k < n; ++k) {
            output[k].valid = 0;
        }
        return n;
    }
    const Vec3 p2 = ToVec(e[2]);
    Vec3 p1 = p2;
    Vec3 c1 = p2;
    Vec3 c2 = p2;
    if (Touching(e[1])) {
        p1 = ToVec(e[1]);
        c1 = Touching(e[0]) ? p1 + 0.125 * (p2 - ToVec(e[0])) : p1;
        c2 = Touching(e[3]) ? p2 + 0.125 * (p1 - ToVec(e[3])) : p2;
    }
    for (int k = 1; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        const double s = 1.0 - t;
        const Vec3 b =
            (s * s * s) * p1 + (3.0 * s * s * t) * c1 + (3.0 * s * t * t) * c2 + (t * t * t) * p2;
        output[k - 1] = RoundedPoint(b);
    }
    return n;
}

int EstimateStepCount(const PointHistory& history) {
    const ots::TouchPoint* e = history.E;
    if (!Touching(e[1]) || !Touching(e[2])) {
        return 0;
    }
    const Vec3 e1 = ToVec(e[1]);
    const Vec3 e2 = ToVec(e[2]);
    const Vec3 before = Touching(e[0]) ? ToVec(e[0]) : e1;
    const Vec3 next = Touching(e[3]) ? ToVec(e[3]) : e2;
    const double d1 = PlanarLength(before - e2);
    const double d2 = PlanarLength(next - e1);
    const double d3 = PlanarLength(before + 5.0 * (e2 - e1) - next);
    return TruncateToInt32(static_cast<float>(d1 + d2 + d3));
}
