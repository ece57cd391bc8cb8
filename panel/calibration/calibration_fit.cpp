#include "calibration/calibration_fit.h"

#include <cmath>

namespace {

constexpr int kCubicTerms = 10;

// Exponents (i of x, j of y) of the cubic basis, power of x first, then power of y.
constexpr int kCubicExpX[kCubicTerms] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 3};
constexpr int kCubicExpY[kCubicTerms] = {0, 1, 2, 3, 0, 1, 2, 0, 1, 0};

bool ArgumentsPresent(const float* z, const float* x, const float* y, const ots::CalibPara* rec) {
    return z != nullptr && x != nullptr && y != nullptr && rec != nullptr;
}

void ClearCoefficients(ots::CalibPara* rec) {
    rec->A03 = rec->A12 = rec->A21 = rec->A30 = 0.0f;
    rec->A02 = rec->A11 = rec->A20 = 0.0f;
    rec->A01 = rec->A10 = rec->A00 = 0.0f;
}

}  // namespace

double IntPower(float v, INT32 k) {
    double result = 1.0;
    for (INT32 i = 0; i < k; ++i) {
        result *= v;
    }
    return result;
}

HRESULT FitAffine(const float* TargetZ, const float* RawX, const float* RawY, INT32 n,
                  ots::CalibPara* pCalib) {
    if (!ArgumentsPresent(TargetZ, RawX, RawY, pCalib) || n < 3) {
        return E_INVALIDARG;
    }
    // Moments S(i, j) for i + j <= 2 and R(i, j) for i + j <= 1.
    double S[3][3] = {};
    double R[2][2] = {};
    for (INT32 k = 0; k < n; ++k) {
        const double x = RawX[k];
        const double y = RawY[k];
        const double z = TargetZ[k];
        for (int i = 0; i <= 2; ++i) {
            for (int j = 0; i + j <= 2; ++j) {
                const double term = std::pow(x, i) * std::pow(y, j);
                S[i][j] += term;
                if (i + j <= 1) {
                    R[i][j] += z * term;
                }
            }
        }
    }
    // Basis 1, y, x.
    const double N[3][3] = {
        {S[0][0], S[0][1], S[1][0]}, {S[0][1], S[0][2], S[1][1]}, {S[1][0], S[1][1], S[2][0]}};
    const double b[3] = {R[0][0], R[0][1], R[1][0]};

    const double det = N[0][0] * N[1][1] * N[2][2] + N[0][1] * N[1][2] * N[2][0] +
                       N[0][2] * N[1][0] * N[2][1] - N[0][0] * N[1][2] * N[2][1] -
                       N[0][1] * N[1][0] * N[2][2] - N[0][2] * N[1][1] * N[2][0];
    if (det == 0.0) {
        return E_UNEXPECTED;
    }
    const double inv = 1.0 / det;
    const double M[3][3] = {{(N[1][1] * N[2][2] - N[1][2] * N[2][1]) * inv,
                             (N[0][2] * N[2][1] - N[0][1] * N[2][2]) * inv,
                             (N[0][1] * N[1][2] - N[0][2] * N[1][1]) * inv},
                            {(N[1][2] * N[2][0] - N[1][0] * N[2][2]) * inv,
                             (N[0][0] * N[2][2] - N[0][2] * N[2][0]) * inv,
                             (N[0][2] * N[1][0] - N[0][0] * N[1][2]) * inv},
                            {(N[1][0] * N[2][1] - N[1][1] * N[2][0]) * inv,
                             (N[0][1] * N[2][0] - N[0][0] * N[2][1]) * inv,
                             (N[0][0] * N[1][1] - N[0][1] * N[1][0]) * inv}};

    float c[3];
    for (int r = 0; r < 3; ++r) {
        // Accumulated in the 32-bit slot: two products, rounded, then the third, rounded.
        c[r] = static_cast<float>(M[r][0] * b[0] + M[r][1] * b[1]);
        c[r] = static_cast<float>(c[r] + M[r][2] * b[2]);
    }
    ClearCoefficients(pCalib);
    pCalib->A00 = c[0];
    pCalib->A01 = c[1];
    pCalib->A10 = c[2];
    return S_OK;
}

HRESULT FitCubic(const float* TargetZ, const float* RawX, const float* RawY, INT32 n,
                 ots::CalibPara* pCalib) {
    if (!ArgumentsPresent(TargetZ, RawX, RawY, pCalib) || n < kCubicTerms) {
        return E_INVALIDARG;
    }
    // Moments S(i, j) for i + j <= 6 and R(i, j) for i + j <= 3.
    double S[7][7] = {};
    double R[4][4] = {};
    for (INT32 k = 0; k < n; ++k) {
        for (int i = 0; i <= 6; ++i) {
            for (int j = 0; i + j <= 6; ++j) {
                const double term = IntPower(RawX[k], i) * IntPower(RawY[k], j);
                S[i][j] += term;
                if (i + j <= 3) {
                    R[i][j] += static_cast<double>(TargetZ[k]) * term;
                }
            }
        }
    }
    double N[kCubicTerms][kCubicTerms];
    double b[kCubicTerms];
    for (int r = 0; r < kCubicTerms; ++r) {
        for (int s = 0; s < kCubicTerms; ++s) {
            N[r][s] = S[kCubicExpX[r] + kCubicExpX[s]][kCubicExpY[r] + kCubicExpY[s]];
        }
        b[r] = R[kCubicExpX[r]][kCubicExpY[r]];
    }

    // Gauss-Jordan, first non-zero pivot from the diagonal down.
    for (int col = 0; col < kCubicTerms; ++col) {
        int p = col;
        while (p < kCubicTerms && N[p][col] == 0.0) {
            ++p;
        }
        if (p == kCubicTerms) {
            return E_UNEXPECTED;
        }
        if (p != col) {
            for (int j = 0; j < kCubicTerms; ++j) {
                const double t = N[p][j];
                N[p][j] = N[col][j];
                N[col][j] = t;
            }
            const double t = b[p];
            b[p] = b[col];
            b[col] = t;
        }
        for (int i = 0; i < kCubicTerms; ++i) {
            if (i == col) {
                continue;
            }
            const double f = N[i][col] / N[col][col];
            N[i][col] = 0.0;
            for (int j = col + 1; j < kCubicTerms; ++j) {
                N[i][j] -= f * N[col][j];
            }
            b[i] -= f * b[col];
        }
    }
    double c[kCubicTerms];
    for (int i = 0; i < kCubicTerms; ++i) {
        c[i] = b[i] / N[i][i];
    }
    pCalib->A00 = static_cast<float>(c[0]);
    pCalib->A01 = static_cast<float>(c[1]);
    pCalib->A02 = static_cast<float>(c[2]);
    pCalib->A03 = static_cast<float>(c[3]);
    pCalib->A10 = static_cast<float>(c[4]);
    pCalib->A11 = static_cast<float>(c[5]);
    pCalib->A12 = static_cast<float>(c[6]);
    pCalib->A20 = static_cast<float>(c[7]);
    pCalib->A21 = static_cast<float>(c[8]);
    pCalib->A30 = static_cast<float>(c[9]);
    return S_OK;
}

BOOL GetCalibrateData(const float* TargetX, const float* TargetY, const float* RawX,
                      const float* RawY, INT32 n, ots::CalibPara* pCalibX, ots::CalibPara* pCalibY,
                      BOOL bCubic) {
    const auto fit = bCubic ? FitCubic : FitAffine;
    const HRESULT hrX = fit(TargetX, RawX, RawY, n, pCalibX);
    const HRESULT hrY = fit(TargetY, RawX, RawY, n, pCalibY);
    return (hrX == S_OK && hrY == S_OK) ? TRUE : FALSE;
}

double Evaluate(const ots::CalibPara& c, double x, double y) {
    return c.A03 * y * y * y + c.A12 * x * y * y + c.A21 * x * x * y + c.A30 * x * x * x +
           c.A02 * y * y + c.A11 * x * y + c.A20 * x * x + c.A01 * y + c.A10 * x + c.A00;
}
