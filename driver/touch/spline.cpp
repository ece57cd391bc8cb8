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

// The control points of one touch's curve; none when E2 is not touching.
struct Curve {
    bool touching;
    Vec3 p1, c1, c2, p2;
};

Curve CurveOf(const PointHistory& history) {
    const ots::TouchPoint* e = history.E;
    if (!Touching(e[2])) {
        return Curve{false, {}, {}, {}, {}};
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
    return Curve{true, p1, c1, c2, p2};
}

// Bernstein weights of the cubic at step k of n.
struct Weights {
    double w0, w1, w2, w3;
};

Weights WeightsAt(int k, int n) {
    const double t = static_cast<double>(k) / n;
    const double s = 1.0 - t;
    return {s * s * s, 3.0 * s * s * t, 3.0 * s * t * t, t * t * t};
}

void Emit(const Curve& curve, const Weights* weights, int n, ots::TouchPoint* output) {
    if (!curve.touching) {
        for (int k = 0; k < n; ++k) {
            output[k].valid = 0;  // the positions are left as they were
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        const Weights& w = weights[k];
        output[k] =
            RoundedPoint(w.w0 * curve.p1 + w.w1 * curve.c1 + w.w2 * curve.c2 + w.w3 * curve.p2);
    }
}

}  // namespace

int InterpolateSpline(const PointHistory& history, int n, ots::TouchPoint* output) {
    return InterpolateSplinePair(history, history, n, output, nullptr);
}

int InterpolateSplinePair(const PointHistory& first, const PointHistory& second, int n,
                          ots::TouchPoint* firstOutput, ots::TouchPoint* secondOutput) {
    n = std::clamp(n, 1, kMaxPoints);
    Weights weights[kMaxPoints];
    for (int k = 1; k <= n; ++k) {
        weights[k - 1] = WeightsAt(k, n);
    }
    Emit(CurveOf(first), weights, n, firstOutput);
    if (secondOutput != nullptr) {
        Emit(CurveOf(second), weights, n, secondOutput);
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
