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

// Σt^k, k = 0..2·kMaxFitDegree, added sample by sample in the order the samples are taken.
struct PowerSums {
    double of[kPowerTerms];
};

PowerSums ContiguousPowerSums(int forward, int backward) {
    PowerSums sums{};
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
    return sums;
}

// Eliminates the matrix's row and column m against the rows above them, in the order a whole
// elimination of the (m+1) x (m+1) system takes them. False when the new pivot is 0.
bool EliminateNewest(const PowerSums& powers, int m, MatrixElimination& e) {
    for (int row = 0; row < m; ++row) {
        double value = powers.of[row + m];
        for (int col = 0; col < row; ++col) {
            value -= e.lu[row][col] * e.lu[col][m];
        }
        e.lu[row][m] = value;
    }
    double newRow[kFitTerms];
    for (int k = 0; k <= m; ++k) {
        newRow[k] = powers.of[m + k];
    }
    for (int col = 0; col < m; ++col) {
        const double factor = newRow[col] / e.lu[col][col];
        e.lu[m][col] = factor;
        for (int k = col; k <= m; ++k) {
            newRow[k] -= factor * e.lu[col][k];
        }
    }
    e.lu[m][m] = newRow[m];
    return newRow[m] != 0.0;
}

MatrixElimination Eliminate(const PowerSums& powers) {
    MatrixElimination e{};
    while (e.degrees < kFitTerms && EliminateNewest(powers, e.degrees, e)) {
        ++e.degrees;
    }
    return e;
}

struct EliminationTable {
    MatrixElimination of[kMaxForward + 1][kMaxBackward + 1];
};

EliminationTable MakeEliminationTable() {
    EliminationTable table{};
    for (int forward = 0; forward <= kMaxForward; ++forward) {
        for (int backward = 0; backward <= kMaxBackward; ++backward) {
            table.of[forward][backward] = Eliminate(ContiguousPowerSums(forward, backward));
        }
    }
    return table;
}

const EliminationTable kEliminations = MakeEliminationTable();

inline constexpr int kMomentBlock = 3;
static_assert(kFitTerms % kMomentBlock == 0, "the blocks cover every degree");

// The moments of orders first, first + 1 and first + 2 of x, y and size, each summed in sample
// order. Summed together in one pass, the nine sums do not wait for each other.
void SumMoments(const FitSample* samples, int count, int first, FitTerm* moment) {
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
    moment[first] = {x0, y0, s0};
    moment[first + 1] = {x1, y1, s1};
    moment[first + 2] = {x2, y2, s2};
}

bool BackSubstitute(const MatrixElimination& e, const FitState& state, FitCurve& curve) {
    const int n = state.size;
    // The curve evaluated from the top reads one coefficient above the degree.
    if (n < kFitTerms) {
        curve.of[n] = FitTerm{};
    }
    for (int row = n - 1; row >= 0; --row) {
        FitTerm term = state.rhs[row];
        for (int k = row + 1; k < n; ++k) {
            const double a = e.lu[row][k];
            term.x -= a * curve.of[k].x;
            term.y -= a * curve.of[k].y;
            term.size -= a * curve.of[k].size;
        }
        const double pivot = e.lu[row][row];
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

const MatrixElimination& ContiguousElimination(int forward, int backward) {
    return kEliminations
        .of[std::clamp(forward, 0, kMaxForward)][std::clamp(backward, 0, kMaxBackward)];
}

bool FitNextDegree(const FitSample* samples, int count, const MatrixElimination& matrix,
                   FitState& state, FitCurve& curve) {
    const int m = state.size;
    if (m >= matrix.degrees) {
        return false;
    }
    if (m % kMomentBlock == 0) {
        SumMoments(samples, count, m, state.moment);
    }
    // The new right-hand side, eliminated with the multipliers of row m.
    FitTerm rhs = state.moment[m];
    for (int col = 0; col < m; ++col) {
        const double factor = matrix.lu[m][col];
        rhs.x -= factor * state.rhs[col].x;
        rhs.y -= factor * state.rhs[col].y;
        rhs.size -= factor * state.rhs[col].size;
    }
    state.rhs[m] = rhs;
    state.size = m + 1;
    return BackSubstitute(matrix, state, curve);
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
