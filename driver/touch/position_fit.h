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

// The normal equations' matrix, Σt^(j+k), depends on nothing but which t the samples have.
// For the samples at t = 0, 1, .. forward - 1 followed by t = -1, -2, .. -backward (forward
// 0..kNewestSampleT + 1, backward 0..-kOldestSampleT) it is eliminated once, at load, degree by
// degree: each degree adds a row and a column, and Gaussian elimination never changes a leading
// block for the rows added after it.
struct MatrixElimination {
    int degrees;  // the degrees 0 .. degrees - 1 have a nonzero pivot; the next is singular
    // At and above the diagonal the eliminated matrix; below it the multiple of row col that
    // the elimination took from row row.
    double lu[kFitTerms][kFitTerms];
};

const MatrixElimination& ContiguousElimination(int forward, int backward);

// The coefficients of one power of t; also the moments and right-hand sides of that order.
struct FitTerm {
    double x;
    double y;
    double size;
};

// Polynomial coefficients, lowest power first, up to the fitted degree; the next one up, when
// there is one, is 0 and those above it are not read. A power's three coefficients lie
// together, so that they are worked on together.
struct FitCurve {
    FitTerm of[kFitTerms];
};

// The fits of rising degree over one set of samples: each degree sums the moments of its order
// and eliminates its right-hand side with the matrix's multipliers.
struct FitState {
    int size = 0;               // degrees fitted
    FitTerm moment[kFitTerms];  // Σx·t^k, Σy·t^k and Σsize·t^k
    FitTerm rhs[kFitTerms];     // the right-hand sides, eliminated
};

// Fits the next degree (state.size, starting from a new state, then each time with the state
// and curve the previous degree left) to the samples, whose matrix is
// given. False when the degree's pivot is 0, and so the system singular, or the solution is
// not finite; the state is then of no further use.
bool FitNextDegree(const FitSample* samples, int count, const MatrixElimination& matrix,
                   FitState& state, FitCurve& curve);

// Whether the largest x, y distance between a sample and the curve at the sample's t is at
// most the tolerance.
bool FitsWithin(const FitSample* samples, int count, const FitCurve& curve, int degree,
                double tolerance);

}  // namespace position
