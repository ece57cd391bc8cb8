// The least-squares fits of the calibration polynomials: what they refuse, and known
// distortions that a fit must recover in every controller family's units.
#include "calibration/calibration_fit.h"
#include "calibration/calibration_save.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Samples {
    std::vector<float> targetX, targetY, rawX, rawY;
    INT32 n() const { return static_cast<INT32>(rawX.size()); }
};

using Target = std::function<std::pair<double, double>(double, double)>;

// A 5 x 5 grid of raw positions, stored times scale, and the targets they should give.
Samples Grid(const Target& target, float scale = 1.0f) {
    Samples s;
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 5; ++col) {
            const double rx = 200.0 + 900.0 * col, ry = 250.0 + 880.0 * row;
            const auto [tx, ty] = target(rx, ry);
            s.targetX.push_back(static_cast<float>(tx));
            s.targetY.push_back(static_cast<float>(ty));
            s.rawX.push_back(static_cast<float>(rx) * scale);
            s.rawY.push_back(static_cast<float>(ry) * scale);
        }
    }
    return s;
}

// A record whose every byte is a sentinel, so that untouched fields show.
ots::CalibPara Sentinel() {
    ots::CalibPara rec;
    std::memset(&rec, 0x5A, sizeof rec);
    return rec;
}

TEST(Fits, RefuseTooFewSamplesSingularSystemsAndMissingArgumentsWithoutWriting) {
    const Samples grid = Grid([](double x, double y) { return std::pair{x, y}; });
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
        {"affine, 2 samples", &FitAffine, grid, 2, true, E_INVALIDARG},
        {"affine, collinear", &FitAffine, line, 25, true, E_UNEXPECTED},
        {"affine, no targets", &FitAffine, grid, 4, false, E_INVALIDARG},
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
    // Three samples not on one line are enough for an affine fit.
    ots::CalibPara three{};
    EXPECT_EQ(
        FitAffine(grid.targetX.data() + 4, grid.rawX.data() + 4, grid.rawY.data() + 4, 3, &three),
        S_OK);
    // Both axes are fitted even when the first fails.
    ots::CalibPara x = Sentinel(), y = Sentinel();
    EXPECT_FALSE(GetCalibrateData(nullptr, grid.targetY.data(), grid.rawX.data(), grid.rawY.data(),
                                  grid.n(), &x, &y, FALSE));
    EXPECT_NEAR(y.A01, 1.0f, 1e-6);
    EXPECT_EQ(std::memcmp(&x, &untouched, sizeof x), 0);
}

// Each controller family stores its samples in its own units and evaluates the polynomial in
// its own: the camera on stored samples into 1/32768 units, the coordinate generation on the
// unscaled raw value into 1/4096 units. After ToDriverUnits the driver's reading must give back
// the known distortion on the samples and between them: an affine one from the affine fit, which
// must clear the higher terms of the records it fills, and a cubic one from the cubic fit.
TEST(Fits, DriverReadingRecoversAKnownDistortionInEveryFamily) {
    const struct {
        ots::DeviceIdentity identity;
        double logicalPerOutput;  // 1/32768 units per unit of the driver's result
        double tolerance;         // the float rounding of targets and coefficients
    } families[] = {{{0x7E21, 0x0C20, 0}, 1.0, 0.05},  // camera
                    {{0x7E21, 0x0012, 0}, 8.0, 2.0},   // second stream, unscaled samples
                    {{0x5A17, 0x0101, 0}, 8.0, 2.0}};  // coordinate, samples times 8
    for (const BOOL cubic : {FALSE, TRUE}) {
        const Target target = [cubic](double x, double y) {
            const double u = x / 4096.0, v = y / 4096.0, k = cubic ? 1.0 : 0.0;
            return std::pair{
                32768.0 * (0.02 + 0.9 * u + 0.03 * v + k * (0.05 * u * u * u - 0.02 * u * v * v)),
                32768.0 * (0.01 + 0.02 * u + 0.92 * v + k * (0.03 * u * u * v - 0.04 * v * v * v))};
        };
        for (const auto& family : families) {
            const Samples s =
                Grid(target, SampleScale(family.identity.idVendor, family.identity.idProduct));
            ots::CalibPara x = Sentinel(), y = Sentinel();
            ASSERT_TRUE(GetCalibrateData(s.targetX.data(), s.targetY.data(), s.rawX.data(),
                                         s.rawY.data(), s.n(), &x, &y, cubic));
            ToDriverUnits(&x, family.identity);
            ToDriverUnits(&y, family.identity);
            for (double rx = 200.0; rx <= 3800.0; rx += 450.0) {
                for (double ry = 250.0; ry <= 3770.0; ry += 440.0) {
                    const auto [tx, ty] = target(rx, ry);
                    SCOPED_TRACE(testing::Message()
                                 << std::hex << family.identity.idProduct << std::dec << " at "
                                 << rx << ", " << ry << (cubic ? ", cubic" : ", affine"));
                    EXPECT_NEAR(Evaluate(x, rx, ry) * family.logicalPerOutput, tx,
                                family.tolerance);
                    EXPECT_NEAR(Evaluate(y, rx, ry) * family.logicalPerOutput, ty,
                                family.tolerance);
                }
            }
        }
    }
}

}  // namespace
