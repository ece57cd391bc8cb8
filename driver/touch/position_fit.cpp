#include "touch/position_fit.h"

#include <algorithm>
#include <cmath>

namespace position {
namespace {

inline constexpr int kSampleTimes = kNewestSampleT - kOldestSampleT + 1;

// t^k for every whole t a sample can have, formed by repeated multiplication as a running
// product would form it, so that the sums come out the same to the last bit.
struct PowerTable {
    double row[kSampleTimes][kPowerTerms];
};

PowerTable MakePowerTable() {
    PowerTable table{};
    for (int i = 0; i < kSampleTimes; ++i) {
        const double t = kOldestSampleT + i;
        double power = 1.0;
        for (int k = 0; k < kPowerTerms; ++k) {
            table.row[i][k] = power;
            power *= t;
        }
    }
    return table;
}

const PowerTable kPowers = MakePowerTable();

const double (&PowersAt(int t))[kPowerTerms] {
    return kPowers.row[std::clamp(t, kOldestSampleT, kNewestSampleT) - kOldestSampleT];
}

inline constexpr int kMaxForward = kNewestSampleT + 1;
inline constexpr int kMaxBackward = -kOldestSampleT;

struct ContiguousSumsTable {
    PowerSums sums[kMaxForward + 1][kMaxBackward + 1];
};

// Each entry adds t^k sample by sample, in the order the samples are taken.
ContiguousSumsTable MakeContiguousSums() {
    ContiguousSumsTable table{};
    for (int forward = 0; forward <= kMaxForward; ++forward) {
        for (int backward = 0; backward <= kMaxBackward; ++backward) {
            PowerSums& sums = table.sums[forward][backward];
            auto add = [&sums](int t) {
                for (int k = 0; k < kPowerTerms; ++k) {
                    sums.of[k] += PowersAt(t)[k];
                }
            };
            for (int t = 0; t < forward; ++t) {
                add(t);
            }
            for (int t = -1; t >= -backward; --t) {
                add(t);
            }
        }
    }
    return table;
}

const ContiguousSumsTable kContiguousSums = MakeContiguousSums();

inline constexpr int kMomentBlock = 3;
static_assert(kFitTerms % kMomentBlock == 0, "the blocks cover every degree");

// The moments of orders first, first + 1 and first + 2 of x, y and size, each summed in sample
// order. Summed together in one pass, the nine sums do not wait for each other.
void SumMoments(const FitSample* samples, int count, int first, FitSums& sums) {
    double x0 = 0.0, x1 = 0.0, x2 = 0.0;
    double y0 = 0.0, y1 = 0.0, y2 = 0.0;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0;
    for (const FitSample* s = samples; s != samples + count; ++s) {
        const double* power = PowersAt(s->t) + first;
        x0 += s->x * power[0];
        x1 += s->x * power[1];
        x2 += s->x * power[2];
        y0 += s->y * power[0];
        y1 += s->y * power[1];
        y2 += s->y * power[2];
        s0 += s->size * power[0];
        s1 += s->size * power[1];
        s2 += s->size * power[2];
    }
    const double block[3][kMomentBlock] = {{x0, x1, x2}, {y0, y1, y2}, {s0, s1, s2}};
    std::copy(block[0], block[0] + kMomentBlock, sums.x + first);
    std::copy(block[1], block[1] + kMomentBlock, sums.y + first);
    std::copy(block[2], block[2] + kMomentBlock, sums.size + first);
}

// Eliminates row m against the rows above it, and column m of the rows above it, in the order
// a whole elimination of the (m+1) x (m+1) system takes them.
bool EliminateNewest(FitState& e) {
    const int m = e.size;
    const FitSums& sums = e.sums;
    for (int row = 0; row < m; ++row) {
        double value = sums.powers[row + m];
        for (int col = 0; col < row; ++col) {
            value -= e.factor[row][col] * e.a[col][m];
        }
        e.a[row][m] = value;
    }
    double(&newRow)[kFitTerms] = e.a[m];
    for (int k = 0; k <= m; ++k) {
        newRow[k] = sums.powers[m + k];
    }
    double(&newRhs)[3] = e.rhs[m];
    newRhs[0] = sums.x[m];
    newRhs[1] = sums.y[m];
    newRhs[2] = sums.size[m];
    for (int col = 0; col < m; ++col) {
        const double factor = newRow[col] / e.a[col][col];
        e.factor[m][col] = factor;
        for (int k = col; k <= m; ++k) {
            newRow[k] -= factor * e.a[col][k];
        }
        newRhs[0] -= factor * e.rhs[col][0];
        newRhs[1] -= factor * e.rhs[col][1];
        newRhs[2] -= factor * e.rhs[col][2];
    }
    e.size = m + 1;
    return newRow[m] != 0.0;
}

bool BackSubstitute(const FitState& e, FitCurve& curve) {
    // The rows above n are those of no degree fitted yet: still 0.
    const int n = e.size;
    for (int row = n - 1; row >= 0; --row) {
        FitTerm term{e.rhs[row][0], e.rhs[row][1], e.rhs[row][2]};
        for (int k = row + 1; k < n; ++k) {
            const double a = e.a[row][k];
            term.x -= a * curve.of[k].x;
            term.y -= a * curve.of[k].y;
            term.size -= a * curve.of[k].size;
        }
        const double pivot = e.a[row][row];
        term.x /= pivot;
        term.y /= pivot;
        term.size /= pivot;
        if (!std::isfinite(term.x) || !std::isfinite(term.y) || !std::isfinite(term.size)) {
            return false;
        }
        curve.of[row] = term;
    }
    return true;
}

}  // namespace

const PowerSums& ContiguousPowerSums(int forward, int backward) {
    return kContiguousSums
        .sums[std::clamp(forward, 0, kMaxForward)][std::clamp(backward, 0, kMaxBackward)];
}

bool FitNextDegree(const FitSample* samples, int count, const PowerSums& powers, FitState& state,
                   FitCurve& curve) {
    const int m = state.size;
    if (m >= kFitTerms) {
        return false;
    }
    // Degree m adds the powers 2m - 1 and 2m of t, and the moments of order m (summed a block
    // of orders at a time).
    for (int k = std::max(2 * m - 1, 0); k <= 2 * m; ++k) {
        state.sums.powers[k] = powers.of[k];
    }
    if (m % kMomentBlock == 0) {
        SumMoments(samples, count, m, state.sums);
    }
    return EliminateNewest(state) && BackSubstitute(state, curve);
}

bool FitsWithin(const FitSample* samples, int count, const FitCurve& curve, int degree,
                double tolerance) {
    // Compared as squares, with one square root at the end. A square well above the
    // tolerance's square answers at once: its root is above the tolerance whatever the rounding.
    const double certainlyAbove = tolerance * tolerance * 1.000001;
    // Above the degree the coefficients are 0, and Horner's rule started at the top would
    // carry an exact +0 down to here: starting here gives the same values.
    const int top = std::clamp(degree + 1, 0, kFitTerms - 1);
    double worstSq = 0.0;
    for (const FitSample* s = samples; s != samples + count; ++s) {
        const double t = s->t;
        double x = curve.of[top].x;
        double y = curve.of[top].y;
        for (int k = top - 1; k >= 0; --k) {
            x = x * t + curve.of[k].x;
            y = y * t + curve.of[k].y;
        }
        const double dx = s->x - x;
        const double dy = s->y - y;
        const double distanceSq = dx * dx + dy * dy;
        // A curve that cannot be evaluated at a sample fits it worst of all.
        if (std::isnan(distanceSq) || distanceSq > certainlyAbove) {
            return false;
        }
        worstSq = std::max(worstSq, distanceSq);
    }
    return std::sqrt(worstSq) <= tolerance;
}

}  // namespace position
