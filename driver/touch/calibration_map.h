// From controller units to the system's pointer range: the calibration polynomials and the
// clamping to the calibrated screen area.
#pragma once

#include "ce/types.h"
#include "protocol/calib_para.h"
#include "protocol/touch_point.h"
#include "touch/optical_context.h"

struct TOUCH_DATA;

// The pointer range of a generation and the factor its DeviceConfig bounds are scaled by.
struct ScreenScale {
    INT32 fullScale;    // largest coordinate
    INT32 boundFactor;  // MinX..MaxY are multiplied by it and divided by the panel size
};
inline constexpr ScreenScale kCameraScale{32767, 32768};  // 1/32768 panel units
inline constexpr ScreenScale kCoordinateScale{4096, 4096};

// Evaluates the active x and y polynomials at the point's x and y, truncating toward zero. A
// result that is NaN (from stored coefficients) gives 0, one beyond INT32 the nearest INT32
// bound; clamping then brings either onto the screen.
void MapCalibrated(const ots::TouchPoint& point, INT32* x, INT32* y, const OpticalContext& oc);

// Clamps to 0..fullScale, then, when the panel size is known and a calibration is in force,
// to the DeviceConfig bounds (upper bounds last, so they win).
void ClampToScreen(INT32* x, INT32* y, const TOUCH_DATA& td, ScreenScale scale);

void LoadActiveCalibration(const ots::CalibPara& x, const ots::CalibPara& y, OpticalContext* oc);
