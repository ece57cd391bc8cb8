#include "calibration/sample_check.h"

#include <array>
#include <cmath>

#include "calibration/calibration_fit.h"
#include "calibration/target_grid.h"

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPixelsPerInch = 96.0;
constexpr INT32 kMaxSamples = 25;

double DistanceMm(const SampleSet& s, double dxLogical, double dyLogical) {
    return std::hypot(dxLogical * s.MmPerLogicalX, dyLogical * s.MmPerLogicalY);
}

// Whether the targets before `index` span more than one row and more than one column.
bool SpansRowsAndColumns(const SampleSet& s, INT32 index) {
    bool rows = false;
    bool columns = false;
    for (INT32 k = 1; k < index; ++k) {
        rows = rows || s.TargetY[k] != s.TargetY[0];
        columns = columns || s.TargetX[k] != s.TargetX[0];
    }
    return rows && columns;
}

}  // namespace

BOOL FitsTheLayout(const SampleSet& s, INT32 index) {
    const double x = s.X[index] * s.ToLogical;
    const double y = s.Y[index] * s.ToLogical;
    if (index == 0) {
        return DistanceMm(s, x - s.TargetX[0], y - s.TargetY[0]) <= kFirstSampleMm;
    }
    double expectedX = s.X[0] * s.ToLogical + (s.TargetX[index] - s.TargetX[0]);
    double expectedY = s.Y[0] * s.ToLogical + (s.TargetY[index] - s.TargetY[0]);
    ots::CalibPara byX{};
    ots::CalibPara byY{};
    // Raw position as an affine function of the target: where the samples so far put this one.
    if (SpansRowsAndColumns(s, index) &&
        FitAffine(s.X, s.TargetX, s.TargetY, index, &byX) == S_OK &&
        FitAffine(s.Y, s.TargetX, s.TargetY, index, &byY) == S_OK) {
        expectedX = Evaluate(byX, s.TargetX[index], s.TargetY[index]) * s.ToLogical;
        expectedY = Evaluate(byY, s.TargetX[index], s.TargetY[index]) * s.ToLogical;
    }
    return DistanceMm(s, x - expectedX, y - expectedY) <= kLayoutMm;
}

INT32 OutlierAgainstTheOthers(const SampleSet& s, INT32 count) {
    if (count > kMaxSamples) {
        return -1;
    }
    INT32 worst = -1;
    double worstMm = kResidualMm;
    for (INT32 left = 0; left < count; ++left) {
        std::array<float, kMaxSamples> tx{}, ty{}, x{}, y{};
        INT32 n = 0;
        for (INT32 k = 0; k < count; ++k) {
            if (k != left) {
                tx[n] = s.TargetX[k];
                ty[n] = s.TargetY[k];
                x[n] = s.X[k];
                y[n] = s.Y[k];
                ++n;
            }
        }
        ots::CalibPara fitX{};
        ots::CalibPara fitY{};
        if (!GetCalibrateData(tx.data(), ty.data(), x.data(), y.data(), n, &fitX, &fitY, TRUE)) {
            continue;
        }
        const double mm = DistanceMm(s, Evaluate(fitX, s.X[left], s.Y[left]) - s.TargetX[left],
                                     Evaluate(fitY, s.X[left], s.Y[left]) - s.TargetY[left]);
        if (mm > worstMm) {
            worst = left;
            worstMm = mm;
        }
    }
    return worst;
}

double MmPerLogical(INT32 extentPx) {
    return extentPx * kMmPerInch / kPixelsPerInch / kLogicalFullScale;
}
