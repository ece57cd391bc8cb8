// Least-squares polynomial fit of a touch's recent trajectory over frame time t, for x, y and
// size together.
#pragma once

namespace position {

inline constexpr int kMaxFitDegree = 8;
inline constexpr int kMaxFitSamples = 50;
inline constexpr int kFitTerms = kMaxFitDegree + 1;
// Samples lie at whole frames relative to the smoothed entry, within this range.
inline constexpr int kOldestSampleT = -30;
inline constexpr int kNewestSampleT = 2;

inline constexpr int kPowerTerms = 2 * kMaxFitDegree + 1;

struct FitSample {
    int t;  // frames relative to the smoothed entry, kOldestSampleT..kNewestSampleT
    double x;
    double y;
    double size;
};

// Σt^k over a sample set, k = 0..2·kMaxFitDegree.
struct PowerSums {
    double of[kPowerTerms];
};

// The power sums of the sample set at t = 0, 1, .. forward - 1 followed by t = -1, -2, ..
// -backward, added in that order (forward 0..kNewestSampleT + 1, backward 0..-kOldestSampleT).
const PowerSums& ContiguousPowerSums(int forward, int backward);

// Sums of the normal equations: powers[k] = Σt^k, x[k] = Σx·t^k, and so on.
struct FitSums {
    double powers[kPowerTerms];
    double x[kFitTerms];
    double y[kFitTerms];
    double size[kFitTerms];
};

// The coefficients of one power of t.
struct FitTerm {
    double x;
    double y;
    double size;
};

// Polynomial coefficients, lowest power first; those above the fitted degree are 0. A power's
// three coefficients lie together, so that they are worked on together.
struct FitCurve {
    FitTerm of[kFitTerms];
};

// The fits of rising degree over one set of samples. They share their leading rows and
// columns of the normal equations, and Gaussian elimination never changes a leading block for
// the rows added after it, so each degree only sums and eliminates its new row and column.
struct FitState {
    int size;                             // equations eliminated: the last fitted degree + 1
    FitSums sums;                         // the moments the fitted degrees needed
    double a[kFitTerms][kFitTerms];       // upper triangle of the eliminated system
    double factor[kFitTerms][kFitTerms];  // the multiple of row col taken from row row
    double rhs[kFitTerms][3];             // x, y and size right-hand sides, eliminated
};

// Fits the next degree (state.size, starting from a zero-filled state and curve, then each
// time with the state and curve the previous degree left) to the samples, whose power sums are
// given. False when the new pivot is 0, and so the system singular, or the
// solution is not finite; the state is then of no further use.
bool FitNextDegree(const FitSample* samples, int count, const PowerSums& powers, FitState& state,
                   FitCurve& curve);

// Whether the largest x, y distance between a sample and the curve at the sample's t is at
// most the tolerance.
bool FitsWithin(const FitSample* samples, int count, const FitCurve& curve, int degree,
                double tolerance);

}  // namespace position
