#include "touch/coordinate_report.h"

#include "protocol/bytes.h"
#include "touch/calibration_map.h"
#include "touch/mouse_modes.h"
#include "touch/touch_data.h"

std::optional<CoordinateReport> DecodeCoordinateReport(std::span<const BYTE> report) {
    if (report.size() < kCoordinateReportSize) {
        return std::nullopt;
    }
    return CoordinateReport{report[1], ots::LoadU16(report, 2), ots::LoadU16(report, 4)};
}

bool HandleCoordinateReport(DEVICE_CONTEXT& device, const ots::DriverConfig& config,
                            std::span<const BYTE> report) {
    const std::optional<CoordinateReport> decoded = DecodeCoordinateReport(report);
    if (!decoded || (decoded->status & kStatusIgnore) != 0) {
        return false;
    }
    TOUCH_DATA& td = *device.pTouchData;
    INT32 x = decoded->x;
    INT32 y = decoded->y;
    // While the panel calibrates, or before a calibration exists, the raw position is wanted.
    if (config.IsCalibrating == 0 && td.DeviceConfig.IsCalibrated != 0) {
        td.CurrentPoint.x = x;
        td.CurrentPoint.y = y;
        MapCalibrated(td.CurrentPoint, &x, &y, td.Optical);
        ClampToScreen(&x, &y, td, kCoordinateScale);
    }
    const PointState state{(decoded->status & kStatusTouching) != 0,
                           (decoded->status & kStatusReleased) != 0};
    RunCoordinateMode(device, config.Mode, state, x, y);
    return true;
}
