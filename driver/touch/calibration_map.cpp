#include "touch/calibration_map.h"

#include <algorithm>
#include <cstdint>

#include "touch/panel_params.h"
#include "touch/touch_data.h"
#include "touch/truncate.h"

namespace {

// Aij multiplies x^i * y^j.
double EvaluateCubic(const ots::CalibPara& c, double x, double y) {
    return c.A03 * y * y * y + c.A12 * x * y * y + c.A21 * x * x * y + c.A30 * x * x * x +
           c.A02 * y * y + c.A11 * x * y + c.A20 * x * x + c.A01 * y + c.A10 * x + c.A00;
}

// bound * factor / panelSize, in 64 bits so that no stored value can overflow it; the result
// fits INT32 because bound < 2^16 and factor <= 2^15.
INT32 ScaledBound(UINT16 bound, INT32 factor, INT32 panelSize) {
    return static_cast<INT32>(static_cast<std::int64_t>(bound) * factor / panelSize);
}

}  // namespace

void MapCalibrated(const ots::TouchPoint& point, INT32* x, INT32* y, const OpticalContext& oc) {
    const double px = static_cast<float>(point.x);
    const double py = static_cast<float>(point.y);
    *x = TruncateToInt32(EvaluateCubic(oc.CalibX, px, py));
    *y = TruncateToInt32(EvaluateCubic(oc.CalibY, px, py));
}

void ClampToScreen(INT32* x, INT32* y, const TOUCH_DATA& td, ScreenScale scale) {
    *x = std::clamp(*x, 0, scale.fullScale);
    *y = std::clamp(*y, 0, scale.fullScale);
    if (td.DeviceConfig.IsCalibrated == 0) {
        return;
    }
    const INT32 width = PanelWidth(td);
    const INT32 height = PanelHeight(td);
    // A negative panel size is as unusable as none: the bounds would flip sign.
    if (width <= 0 || height <= 0) {
        return;
    }
    const ots::DeviceConfig& dc = td.DeviceConfig;
    *x = std::max(*x, ScaledBound(dc.MinX, scale.boundFactor, width));
    *y = std::max(*y, ScaledBound(dc.MinY, scale.boundFactor, height));
    *x = std::min(*x, ScaledBound(dc.MaxX, scale.boundFactor, width));
    *y = std::min(*y, ScaledBound(dc.MaxY, scale.boundFactor, height));
}

void LoadActiveCalibration(const ots::CalibPara& x, const ots::CalibPara& y, OpticalContext* oc) {
    oc->CalibX = x;
    oc->CalibY = y;
}
