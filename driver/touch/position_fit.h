// Least-squares polynomial fit of a touch's recent trajectory over frame time t, for x, y and
// size together.
#pragma once

namespace position {

inline constexpr int kMaxFitDegree = 8;
inline constexpr int kMaxFitSamples = 50;
inline constexpr int kFitTerms = kMaxFitDegree + 1;

struct FitSample {
    double t;  // frames relative to the smoothed entry
    double x;
    double y;
    double size;
};

// Sums of the normal equations: powers[k] = Σt^k, x[k] = Σx·t^k, and so on.
struct FitSums {
    double powers[2 * kMaxFitDegree + 1];
    double x[kFitTerms];
    double y[kFitTerms];
    double size[kFitTerms];
};

// Polynomial coefficients, lowest power first; those above the fitted degree are 0.
struct FitCurve {
    double x[kFitTerms];
    double y[kFitTerms];
    double size[kFitTerms];
};

// An n x n system with the three right-hand sides x, y and size.
struct NormalSystem {
    double a[kFitTerms][kFitTerms];
    double rhs[kFitTerms][3];
};

void AddSample(FitSums& sums, const FitSample& sample);

// Gaussian elimination; a row is exchanged with a lower one when its pivot is 0. Leaves the
// solutions in rhs. False when the system is singular or the solution is not finite.
bool EliminateGauss(NormalSystem& system, int n);

// The fit of the given degree (0..kMaxFitDegree); false when it has no finite solution.
bool FitDegree(const FitSums& sums, int degree, FitCurve& curve);

double Evaluate(const double (&coefficients)[kFitTerms], double t);

// The largest x, y distance between a sample and the curve at the sample's t.
double FitError(const FitSample* samples, int count, const FitCurve& curve);

}  // namespace position
