#include "touch/input_emulation.h"

#include "touch/calibration_map.h"
#include "touch/mouse_modes.h"
#include "touch/touch_data.h"

void HandlePoint(DEVICE_CONTEXT& device, const ots::DriverConfig& config) {
    TOUCH_DATA& td = *device.pTouchData;
    INT32 x = td.CurrentPoint.x;
    INT32 y = td.CurrentPoint.y;
    // The calibration screen samples raw positions, unmapped and unclamped.
    if (config.IsCalibrating == 0) {
        if (td.DeviceConfig.IsCalibrated != 0) {
            MapCalibrated(td.CurrentPoint, &x, &y, td.Optical);
        }
        ClampToScreen(&x, &y, td, kCameraScale);
    }
    RunCameraMode(device, config.Mode, td.CurrentPoint.valid != 0, x, y);
}
