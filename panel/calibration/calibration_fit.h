// Least-squares fits of the calibration polynomials: raw touch positions to screen coordinates
// in 1/32768 units. Four targets give an affine polynomial, 25 the full bivariate cubic. Pure
// computation: no device, window or global state.
#pragma once

#include "ce/types.h"
#include "protocol/calib_para.h"

// Fits both axes (the second even when the first fails) and writes the coefficients of each
// successful fit; TRUE only when both fits succeeded.
BOOL GetCalibrateData(const float* TargetX, const float* TargetY, const float* RawX,
                      const float* RawY, INT32 n, ots::CalibPara* pCalibX, ots::CalibPara* pCalibY,
                      BOOL bCubic);

// z ~ c0 + c1*y + c2*x. S_OK, E_INVALIDARG (n < 3) or E_UNEXPECTED (zero determinant); a failed
// fit writes nothing.
HRESULT FitAffine(const float* TargetZ, const float* RawX, const float* RawY, INT32 n,
                  ots::CalibPara* pCalib);

// z ~ sum of Aij x^i y^j over i + j <= 3. S_OK, E_INVALIDARG (n < 10) or E_UNEXPECTED (no
// non-zero pivot); a failed fit writes nothing.
HRESULT FitCubic(const float* TargetZ, const float* RawX, const float* RawY, INT32 n,
                 ots::CalibPara* pCalib);

// 1 multiplied k times by v (1 when k <= 0), kept in double precision.
double IntPower(float v, INT32 k);

// The value of a fitted polynomial at a raw position (x, y), in double precision.
double Evaluate(const ots::CalibPara& calib, double x, double y);
