// The least-squares fits of the calibration polynomials, against hand-computed cases and against
// known distortions that a fit must recover.
#include "calibration/calibration_fit.h"
#include "calibration/calibration_save.h"

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

TEST(FitAffine, ThreeNonCollinearSamplesAreFittedExactly) {
    Samples s;
    // z_x = 3 + 0.5 y + 2 x; z_y = -1 + y - 0.25 x
    for (auto [rx, ry] : {std::pair{0.0f, 0.0f}, {100.0f, 0.0f}, {0.0f, 200.0f}}) {
        s.Add(3.0f + 0.5f * ry + 2.0f * rx, -1.0f + ry - 0.25f * rx, rx, ry);
    }
    ots::CalibPara x = Sentinel(), y = Sentinel();
    ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(), s.rawY.data(),
                                 s.n(), &x, &y, FALSE));
    EXPECT_NEAR(x.A00, 3.0f, 1e-4);
    EXPECT_NEAR(x.A01, 0.5f, 1e-6);
    EXPECT_NEAR(x.A10, 2.0f, 1e-6);
    EXPECT_NEAR(y.A00, -1.0f, 1e-4);
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    EXPECT_NEAR(y.A10, -0.25f, 1e-6);
    for (const auto* rec : {&x, &y}) {  // the higher terms cleared, the reserves kept
        for (float c : {rec->A03, rec->A12, rec->A21, rec->A30, rec->A02, rec->A11, rec->A20}) {
            EXPECT_EQ(c, 0.0f);
        }
        ExpectReservesUntouched(*rec);
    }
}

TEST(Fits, RefuseTooFewSamplesSingularSystemsAndMissingArgumentsWithoutWriting) {
    const Samples corners = FourCorners();
    const Samples grid = Grid25([](float tx, float ty) { return std::pair{tx, ty}; });
    Samples line = grid;  // every sample on one line: no solution
    std::fill(line.rawY.begin(), line.rawY.end(), 0.0f);
    using Fit = HRESULT (*)(const float*, const float*, const float*, INT32, ots::CalibPara*);
    const struct {
        const char* name;
        Fit fit;
        const Samples& s;
        INT32 n;
        bool targets;
        HRESULT want;
    } rows[] = {
        {"affine, 2 samples", &FitAffine, corners, 2, true, E_INVALIDARG},
        {"affine, collinear", &FitAffine, line, 25, true, E_UNEXPECTED},
        {"affine, no targets", &FitAffine, corners, 4, false, E_INVALIDARG},
        {"cubic, 9 samples", &FitCubic, grid, 9, true, E_INVALIDARG},
        {"cubic, collinear", &FitCubic, line, 25, true, E_UNEXPECTED},
        {"cubic, no targets", &FitCubic, grid, 25, false, E_INVALIDARG},
    };
    const ots::CalibPara untouched = Sentinel();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ots::CalibPara x = Sentinel();
        const float* targets = row.targets ? row.s.targetX.data() : nullptr;
        EXPECT_EQ(row.fit(targets, row.s.rawX.data(), row.s.rawY.data(), row.n, &x), row.want);
        EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
        EXPECT_EQ(
            row.fit(row.s.targetX.data(), row.s.rawX.data(), row.s.rawY.data(), row.n, nullptr),
            E_INVALIDARG);
    }
    // Both axes are fitted even when the first fails.
    ots::CalibPara x = Sentinel(), y = Sentinel();
    EXPECT_FALSE(GetCalibrateData(nullptr, corners.targetY.data(), corners.rawX.data(),
                                  corners.rawY.data(), corners.n(), &x, &y, FALSE));
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
}

TEST(FitCubic, RecoversAKnownCubicDistortion) {
    // The panel's raw reading of a target is a mildly cubic function of where it is; the fit must
    // give the exact inverse mapping back on the samples and between them. Targets are built from
    // raw positions through a known cubic P, so P is what the fit must find.
    auto P = [](double x, double y) {
        const double u = x / 4096.0, v = y / 4096.0;
        return std::pair{
            32768.0 * (0.02 + 0.9 * u + 0.03 * v + 0.05 * u * u * u - 0.02 * u * v * v),
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

// Each controller family stores its samples in its own units and evaluates the polynomial in
// its own: the camera on stored samples into 1/32768 units, the coordinate generation on the
// unscaled raw value into 1/4096 units. After ToDriverUnits the driver's reading must land on
// the targets for every family.
TEST(ToDriverUnits, DriverReadingHitsTheTargetsForEveryFamily) {
    struct Family {
        ots::DeviceIdentity identity;
        double logicalPerOutput;  // 1/32768 units per unit of the driver's result
    };
    const Family families[] = {{{0x7E21, 0x0C20, 0}, 1.0},   // camera
                               {{0x7E21, 0x0012, 0}, 8.0},   // second stream, unscaled samples
                               {{0x5A17, 0x0101, 0}, 8.0}};  // coordinate, samples times 8
    auto target = [](double rx, double ry) {
        return std::pair{2000.0 + 7.1 * rx + 0.2 * ry + 4e-5 * rx * rx + 1e-8 * rx * ry * ry,
                         1500.0 - 0.1 * rx + 7.3 * ry - 3e-5 * ry * ry + 2e-9 * ry * ry * ry};
    };
    for (const Family& family : families) {
        const float scale = SampleScale(family.identity.idVendor, family.identity.idProduct);
        Samples s;
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 5; ++col) {
                const double rx = 200.0 + 900.0 * col, ry = 250.0 + 880.0 * row;
                const auto [tx, ty] = target(rx, ry);
                s.Add(static_cast<float>(tx), static_cast<float>(ty),
                      static_cast<float>(rx) * scale, static_cast<float>(ry) * scale);
            }
        }
        ots::CalibPara x{}, y{};
        ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(),
                                     s.rawY.data(), s.n(), &x, &y, TRUE));
        ToDriverUnits(&x, family.identity);
        ToDriverUnits(&y, family.identity);
        for (double rx = 300.0; rx <= 3800.0; rx += 700.0) {
            const double ry = 4000.0 - rx;
            const auto [tx, ty] = target(rx, ry);
            EXPECT_NEAR(Evaluate(x, rx, ry) * family.logicalPerOutput, tx, 2.0)
                << std::hex << family.identity.idProduct;
            EXPECT_NEAR(Evaluate(y, rx, ry) * family.logicalPerOutput, ty, 2.0)
                << std::hex << family.identity.idProduct;
        }
    }
}

}  // namespace
