// The least-squares fits of the calibration polynomials, against hand-computed cases and against
// known distortions that a fit must recover.
#include "calibration/calibration_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Samples {
    std::vector<float> targetX, targetY, rawX, rawY;
    INT32 n() const { return static_cast<INT32>(rawX.size()); }
    void Add(float tx, float ty, float rx, float ry) {
        targetX.push_back(tx);
        targetY.push_back(ty);
        rawX.push_back(rx);
        rawY.push_back(ry);
    }
};

// A record whose every byte is a sentinel, so that untouched fields show.
ots::CalibPara Sentinel() {
    ots::CalibPara rec;
    std::memset(&rec, 0x5A, sizeof rec);
    return rec;
}

double Evaluate(const ots::CalibPara& p, double x, double y) {
    return p.A03 * y * y * y + p.A12 * x * y * y + p.A21 * x * x * y + p.A30 * x * x * x +
           p.A02 * y * y + p.A11 * x * y + p.A20 * x * x + p.A01 * y + p.A10 * x + p.A00;
}

void ExpectReservesUntouched(const ots::CalibPara& rec) {
    EXPECT_EQ(rec.reserve0, 0x5A5A5A5Au);
    EXPECT_EQ(rec.reserve1, 0x5A5A5A5Au);
    EXPECT_EQ(rec.reserve2, 0x5A5A5A5Au);
    EXPECT_EQ(rec.reserve3, 0x5A5A5A5Au);
    EXPECT_EQ(rec.reserve4, 0x5A);
    EXPECT_EQ(rec.reserve5, 0x5A);
}

Samples FourCorners() {
    Samples s;
    for (float y : {2048.0f, 30720.0f}) {
        for (float x : {2048.0f, 30720.0f}) {
            s.Add(x, y, x, y);
        }
    }
    return s;
}

// The 5 x 5 target grid of a 25-point calibration, in 1/32768 units.
template <class RawOf>
Samples Grid25(RawOf rawOf) {
    Samples s;
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 5; ++col) {
            const float tx = 2048.0f + 7168.0f * static_cast<float>(col);
            const float ty = 2048.0f + 7168.0f * static_cast<float>(row);
            const auto [rx, ry] = rawOf(tx, ty);
            s.Add(tx, ty, rx, ry);
        }
    }
    return s;
}

TEST(FitAffine, IdentityCornersGiveIdentityPolynomials) {
    Samples s = FourCorners();
    ots::CalibPara x = Sentinel(), y = Sentinel();
    ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(), s.rawY.data(),
                                 s.n(), &x, &y, FALSE));
    EXPECT_NEAR(x.A10, 1.0f, 1e-6);
    EXPECT_NEAR(x.A01, 0.0f, 1e-6);
    EXPECT_NEAR(x.A00, 0.0f, 0.02);
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    EXPECT_NEAR(y.A10, 0.0f, 1e-6);
    EXPECT_NEAR(y.A00, 0.0f, 0.02);
    for (const auto* rec : {&x, &y}) {
        for (float c : {rec->A03, rec->A12, rec->A21, rec->A30, rec->A02, rec->A11, rec->A20}) {
            EXPECT_EQ(c, 0.0f);
        }
        ExpectReservesUntouched(*rec);
    }
}

TEST(FitAffine, ThreeNonCollinearSamplesAreFittedExactly) {
    Samples s;
    // z_x = 3 + 0.5 y + 2 x; z_y = -1 + y - 0.25 x
    for (auto [rx, ry] : {std::pair{0.0f, 0.0f}, {100.0f, 0.0f}, {0.0f, 200.0f}}) {
        s.Add(3.0f + 0.5f * ry + 2.0f * rx, -1.0f + ry - 0.25f * rx, rx, ry);
    }
    ots::CalibPara x{}, y{};
    ASSERT_EQ(FitAffine(s.targetX.data(), s.rawX.data(), s.rawY.data(), s.n(), &x), S_OK);
    ASSERT_EQ(FitAffine(s.targetY.data(), s.rawX.data(), s.rawY.data(), s.n(), &y), S_OK);
    EXPECT_NEAR(x.A00, 3.0f, 1e-4);
    EXPECT_NEAR(x.A01, 0.5f, 1e-6);
    EXPECT_NEAR(x.A10, 2.0f, 1e-6);
    EXPECT_NEAR(y.A00, -1.0f, 1e-4);
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    EXPECT_NEAR(y.A10, -0.25f, 1e-6);
}

TEST(FitAffine, RefusesTooFewSamplesAndSingularSystemsWithoutWriting) {
    Samples s = FourCorners();
    ots::CalibPara x = Sentinel(), y = Sentinel();
    EXPECT_EQ(FitAffine(s.targetX.data(), s.rawX.data(), s.rawY.data(), 2, &x), E_INVALIDARG);

    for (auto& ry : s.rawY) {
        ry = 0.0f;  // every sample on one line: zero determinant
    }
    EXPECT_EQ(FitAffine(s.targetX.data(), s.rawX.data(), s.rawY.data(), s.n(), &x), E_UNEXPECTED);
    EXPECT_FALSE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(),
                                  s.rawY.data(), s.n(), &x, &y, FALSE));
    const ots::CalibPara untouched = Sentinel();
    EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
    EXPECT_EQ(std::memcmp(&y, &untouched, sizeof y), 0);
}

TEST(FitAffine, NullArgumentsAreRefused) {
    Samples s = FourCorners();
    ots::CalibPara x{};
    EXPECT_EQ(FitAffine(nullptr, s.rawX.data(), s.rawY.data(), s.n(), &x), E_INVALIDARG);
    EXPECT_EQ(FitAffine(s.targetX.data(), s.rawX.data(), s.rawY.data(), s.n(), nullptr),
              E_INVALIDARG);
}

TEST(GetCalibrateData, FitsTheSecondAxisEvenWhenTheFirstFails) {
    Samples s = FourCorners();
    ots::CalibPara x = Sentinel(), y = Sentinel();
    EXPECT_FALSE(GetCalibrateData(nullptr, s.targetY.data(), s.rawX.data(), s.rawY.data(), s.n(),
                                  &x, &y, FALSE));
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    const ots::CalibPara untouched = Sentinel();
    EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
}

TEST(FitCubic, NineSamplesAreTooFew) {
    Samples s = Grid25([](float tx, float ty) { return std::pair{tx, ty}; });
    ots::CalibPara x = Sentinel();
    EXPECT_EQ(FitCubic(s.targetX.data(), s.rawX.data(), s.rawY.data(), 9, &x), E_INVALIDARG);
    const ots::CalibPara untouched = Sentinel();
    EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
}

TEST(FitCubic, SamplesOnOneLineHaveNoPivot) {
    Samples s = Grid25([](float tx, float) { return std::pair{tx, 100.0f}; });
    ots::CalibPara x = Sentinel();
    EXPECT_EQ(FitCubic(s.targetX.data(), s.rawX.data(), s.rawY.data(), s.n(), &x), E_UNEXPECTED);
}

TEST(FitCubic, AffineImageOfTheGridHasNoHigherOrderTerms) {
    // Raw = a rotated, scaled and shifted copy of the targets, in raw controller units.
    auto raw = [](float tx, float ty) {
        return std::pair{0.11f * tx + 0.01f * ty + 150.0f, -0.008f * tx + 0.12f * ty + 90.0f};
    };
    Samples s = Grid25(raw);
    ots::CalibPara x = Sentinel(), y = Sentinel();
    ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(), s.rawY.data(),
                                 s.n(), &x, &y, TRUE));
    for (const auto* rec : {&x, &y}) {
        // Second- and third-order terms vanish "up to rounding": their contribution over the
        // raw range (~4000 units) stays far below one logical unit.
        const double r = 4000.0;
        EXPECT_LT(std::abs(rec->A20) * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A02) * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A11) * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A30) * r * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A03) * r * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A21) * r * r * r, 0.5);
        EXPECT_LT(std::abs(rec->A12) * r * r * r, 0.5);
        ExpectReservesUntouched(*rec);
    }
    for (int k = 0; k < s.n(); ++k) {
        EXPECT_NEAR(Evaluate(x, s.rawX[k], s.rawY[k]), s.targetX[k], 0.05);
        EXPECT_NEAR(Evaluate(y, s.rawX[k], s.rawY[k]), s.targetY[k], 0.05);
    }
}

TEST(FitCubic, RecoversAKnownCubicDistortion) {
    // The panel's raw reading of a target is a mildly cubic function of where it is; the fit must
    // give the exact inverse mapping back on the samples and between them. Targets are built from
    // raw positions through a known cubic P, so P is what the fit must find.
    auto P = [](double x, double y) {
        const double u = x / 4096.0, v = y / 4096.0;
        return std::pair{32768.0 * (0.02 + 0.9 * u + 0.03 * v + 0.05 * u * u * u - 0.02 * u * v * v),
                         32768.0 * (0.01 + 0.02 * u + 0.92 * v - 0.04 * v * v * v + 0.03 * u * u * v)};
    };
    Samples s;
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 5; ++col) {
            const double rx = 200.0 + 900.0 * col, ry = 250.0 + 880.0 * row;
            const auto [tx, ty] = P(rx, ry);
            s.Add(static_cast<float>(tx), static_cast<float>(ty), static_cast<float>(rx),
                  static_cast<float>(ry));
        }
    }
    ots::CalibPara x{}, y{};
    ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(), s.rawY.data(),
                                 s.n(), &x, &y, TRUE));
    // 0.05 logical units: the float rounding of the targets (up to ~0.002 at 32768) and of the
    // stored coefficients leave far less; anything beyond it is a wrong fit.
    for (double rx = 200.0; rx <= 3800.0; rx += 450.0) {
        for (double ry = 250.0; ry <= 3770.0; ry += 440.0) {
            const auto [tx, ty] = P(rx, ry);
            EXPECT_NEAR(Evaluate(x, rx, ry), tx, 0.05) << "at raw " << rx << ", " << ry;
            EXPECT_NEAR(Evaluate(y, rx, ry), ty, 0.05) << "at raw " << rx << ", " << ry;
        }
    }
}

}  // namespace
