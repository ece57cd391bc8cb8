#include "touch/position_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace position {
namespace {

// Finds a row at or below `column` with a nonzero entry there and moves it up.
bool EnsurePivot(NormalSystem& s, int column, int n) {
    if (s.a[column][column] != 0.0) {
        return true;
    }
    for (int row = column + 1; row < n; ++row) {
        if (s.a[row][column] != 0.0) {
            std::swap(s.a[row], s.a[column]);
            std::swap(s.rhs[row], s.rhs[column]);
            return true;
        }
    }
    return false;
}

}  // namespace

void AddSample(FitSums& sums, const FitSample& sample) {
    double power = 1.0;  // t^k
    for (int k = 0; k <= 2 * kMaxFitDegree; ++k) {
        sums.powers[k] += power;
        if (k < kFitTerms) {
            sums.x[k] += sample.x * power;
            sums.y[k] += sample.y * power;
            sums.size[k] += sample.size * power;
        }
        power *= sample.t;
    }
}

bool EliminateGauss(NormalSystem& s, int n) {
    for (int col = 0; col < n; ++col) {
        if (!EnsurePivot(s, col, n)) {
            return false;
        }
        for (int row = col + 1; row < n; ++row) {
            const double factor = s.a[row][col] / s.a[col][col];
            for (int k = col; k < n; ++k) {
                s.a[row][k] -= factor * s.a[col][k];
            }
            for (int r = 0; r < 3; ++r) {
                s.rhs[row][r] -= factor * s.rhs[col][r];
            }
        }
    }
    for (int row = n - 1; row >= 0; --row) {
        for (int r = 0; r < 3; ++r) {
            double value = s.rhs[row][r];
            for (int k = row + 1; k < n; ++k) {
                value -= s.a[row][k] * s.rhs[k][r];
            }
            value /= s.a[row][row];
            if (!std::isfinite(value)) {
                return false;
            }
            s.rhs[row][r] = value;
        }
    }
    return true;
}

bool FitDegree(const FitSums& sums, int degree, FitCurve& curve) {
    const int n = std::clamp(degree, 0, kMaxFitDegree) + 1;
    NormalSystem system{};
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            system.a[row][col] = sums.powers[row + col];
        }
        system.rhs[row][0] = sums.x[row];
        system.rhs[row][1] = sums.y[row];
        system.rhs[row][2] = sums.size[row];
    }
    if (!EliminateGauss(system, n)) {
        return false;
    }
    curve = FitCurve{};
    for (int k = 0; k < n; ++k) {
        curve.x[k] = system.rhs[k][0];
        curve.y[k] = system.rhs[k][1];
        curve.size[k] = system.rhs[k][2];
    }
    return true;
}

double Evaluate(const double (&coefficients)[kFitTerms], double t) {
    double value = coefficients[kFitTerms - 1];
    for (int k = kFitTerms - 2; k >= 0; --k) {
        value = value * t + coefficients[k];
    }
    return value;
}

double FitError(const FitSample* samples, int count, const FitCurve& curve) {
    // The largest squared distance first and one square root at the end: the same maximum,
    // without a library hypot per sample on the report path.
    double worstSq = 0.0;
    for (int i = 0; i < count; ++i) {
        const FitSample& s = samples[i];
        const double dx = s.x - Evaluate(curve.x, s.t);
        const double dy = s.y - Evaluate(curve.y, s.t);
        const double distanceSq = dx * dx + dy * dy;
        // A curve that cannot be evaluated at a sample fits it worst of all.
        if (std::isnan(distanceSq)) {
            return std::numeric_limits<double>::infinity();
        }
        worstSq = std::max(worstSq, distanceSq);
    }
    return std::sqrt(worstSq);
}

}  // namespace position
