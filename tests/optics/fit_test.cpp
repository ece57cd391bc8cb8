#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "touch/position_fit.h"

namespace {

using position::EliminateGauss;
using position::FitCurve;
using position::FitDegree;
using position::FitSample;
using position::FitSums;
using position::NormalSystem;

NormalSystem System3(const double (&a)[3][3], const double (&x)[3]) {
    NormalSystem s{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            s.a[r][c] = a[r][c];
        }
        // Three right-hand sides: A·x, A·2x, A·(-x).
        double b = 0;
        for (int c = 0; c < 3; ++c) {
            b += a[r][c] * x[c];
        }
        s.rhs[r][0] = b;
        s.rhs[r][1] = 2 * b;
        s.rhs[r][2] = -b;
    }
    return s;
}

TEST(EliminateGauss, SolvesThreeRightHandSides) {
    const double x[3] = {1.5, -2.0, 0.25};
    NormalSystem s = System3({{4, 1, 2}, {1, 5, 1}, {2, 1, 6}}, x);
    ASSERT_TRUE(EliminateGauss(s, 3));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.rhs[i][0], x[i], 1e-12);
        EXPECT_NEAR(s.rhs[i][1], 2 * x[i], 1e-12);
        EXPECT_NEAR(s.rhs[i][2], -x[i], 1e-12);
    }
}

TEST(EliminateGauss, ExchangesRowsAtAZeroPivot) {
    const double x[3] = {3.0, 1.0, -1.0};
    // The first pivot is 0, and after eliminating the first column the second is 0 too.
    NormalSystem s = System3({{0, 0, 1}, {1, 1, 1}, {2, 3, 1}}, x);
    ASSERT_TRUE(EliminateGauss(s, 3));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.rhs[i][0], x[i], 1e-12);
    }
}

TEST(EliminateGauss, SingularOrOverflowingSystemsFail) {
    const double x[3] = {1, 1, 1};
    NormalSystem equalRows = System3({{1, 2, 3}, {1, 2, 3}, {0, 1, 1}}, x);
    EXPECT_FALSE(EliminateGauss(equalRows, 3));

    NormalSystem zero{};
    zero.rhs[0][0] = 1;
    EXPECT_FALSE(EliminateGauss(zero, 1));

    NormalSystem tiny{};
    tiny.a[0][0] = 1e-320;
    tiny.rhs[0][0] = 1e10;  // the solution would be infinite
    EXPECT_FALSE(EliminateGauss(tiny, 1));

    NormalSystem nan{};
    nan.a[0][0] = 1;
    nan.rhs[0][1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(EliminateGauss(nan, 1));
}

TEST(FitDegree, RecoversAPolynomialFromItsSamples) {
    FitSums sums{};
    FitSample samples[7];
    for (int i = 0; i < 7; ++i) {
        const double t = 2 - i;
        samples[i] = FitSample{t, 0.5 + 0.01 * t - 0.002 * t * t, 0.3 - 0.004 * t,
                               0.02 + 0.0001 * t * t * t};
        position::AddSample(sums, samples[i]);
    }
    FitCurve fit{};
    ASSERT_TRUE(FitDegree(sums, 3, fit));
    EXPECT_NEAR(fit.x[0], 0.5, 1e-12);
    EXPECT_NEAR(fit.x[1], 0.01, 1e-12);
    EXPECT_NEAR(fit.x[2], -0.002, 1e-12);
    EXPECT_NEAR(fit.y[1], -0.004, 1e-12);
    EXPECT_NEAR(fit.size[3], 0.0001, 1e-12);
    EXPECT_EQ(fit.x[4], 0.0);  // coefficients above the degree stay 0
    EXPECT_NEAR(position::FitError(samples, 7, fit), 0.0, 1e-12);

    ASSERT_TRUE(FitDegree(sums, 1, fit));
    EXPECT_GT(position::FitError(samples, 7, fit), 0.001);  // a line misses the bend
}

TEST(FitDegree, SamplesAtOneTimeCannotGiveASlope) {
    FitSums sums{};
    for (int i = 0; i < 3; ++i) {
        position::AddSample(sums, FitSample{0.0, 0.1 * i, 0.0, 0.0});
    }
    FitCurve fit{};
    EXPECT_TRUE(FitDegree(sums, 0, fit));
    EXPECT_NEAR(fit.x[0], 0.1, 1e-15);
    EXPECT_FALSE(FitDegree(sums, 1, fit));
}

TEST(FitError, IsTheLargestDistanceAndNeverHidesANaN) {
    FitCurve fit{};
    fit.x[0] = 1.0;
    const FitSample samples[] = {{0, 1.0, 0.0, 0}, {1, 1.3, 0.4, 0}, {2, 0.9, 0.0, 0}};
    EXPECT_NEAR(position::FitError(samples, 3, fit), 0.5, 1e-15);

    // A distance that is not a number, followed by finite ones, must not be lost.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const FitSample mixed[] = {{0, nan, 0.0, 0}, {1, 1.0, 0.0, 0}, {2, 1.0, 0.0, 0}};
    EXPECT_FALSE(position::FitError(mixed, 3, fit) <= 0.001);
}

}  // namespace
