#include "calibration/calibration_save.h"

#include "calibration/calibration_fit.h"
#include "device/device_access.h"
#include "device/panel_message.h"
#include "protocol/bytes.h"

namespace {

constexpr float kScaledSampleFactor = 8.0f;
constexpr float kCoordinateUnitsPerLogical = 8.0f;  // 32768 / 4096
constexpr INT32 kAffinePointCount = 4;
constexpr std::size_t kPanelWidthOffset = 2;
constexpr std::size_t kPanelHeightOffset = 6;

// scale^(i+j) / 8 for the coefficient of x^i y^j.
float CoefficientFactor(float scale, int order) {
    float factor = 1.0f / kCoordinateUnitsPerLogical;
    for (int k = 0; k < order; ++k) {
        factor *= scale;
    }
    return factor;
}

void Log(LPCWSTR line) {
    WriteMessage(WideMessage(line));
}

// The screen bounds in the panel's units: the camera controller's panel size, or zeros for a
// controller without PanelParams. FALSE when the block could not be read.
BOOL WriteCalibratedArea(const ots::DeviceIdentity& identity, ots::DeviceConfig* pDeviceCfg) {
    VendorBlock panelParams{};
    if (!GetScreenProperty(&panelParams, 0, &identity)) {
        Log(L"<GetMouseUpData>GetScreenProperty Failed!\r\n");
        return FALSE;
    }
    ots::DeviceConfig stored{};
    if (GetDeviceConfig(&stored, 0, &identity)) {
        *pDeviceCfg = stored;  // the fields the calibration does not set keep their values
    }
    pDeviceCfg->MinX = 0;
    pDeviceCfg->MinY = 0;
    pDeviceCfg->MaxX = ots::LoadU16(panelParams, kPanelWidthOffset);
    pDeviceCfg->MaxY = ots::LoadU16(panelParams, kPanelHeightOffset);
    pDeviceCfg->IsCalibrated = 1;
    if (!SetDeviceConfig(pDeviceCfg, 0, &identity)) {
        Log(L"<GetMouseUpData>SetDeviceConfig Failed!\r\n");
        return FALSE;
    }
    return TRUE;
}

}  // namespace

float SampleScale(UINT16 vendorId, UINT16 productId) {
    return ots::FamilyOf(vendorId, productId) == ots::ControllerFamily::Coordinate
               ? kScaledSampleFactor
               : 1.0f;
}

void ToDriverUnits(ots::CalibPara* pCalib, const ots::DeviceIdentity& identity) {
    if (ots::IsCameraGeneration(identity.idVendor, identity.idProduct)) {
        return;
    }
    const float s = SampleScale(identity.idVendor, identity.idProduct);
    ots::CalibPara& c = *pCalib;
    c.A00 *= CoefficientFactor(s, 0);
    c.A10 *= CoefficientFactor(s, 1);
    c.A01 *= CoefficientFactor(s, 1);
    for (float* second : {&c.A20, &c.A11, &c.A02}) {
        *second *= CoefficientFactor(s, 2);
    }
    for (float* third : {&c.A30, &c.A21, &c.A12, &c.A03}) {
        *third *= CoefficientFactor(s, 3);
    }
}

BOOL SaveCalibration(const CalibrationRun& run, const ots::DeviceIdentity& identity,
                     ots::DeviceConfig* pDeviceCfg) {
    ots::CalibPara calibX{};
    ots::CalibPara calibY{};
    if (run.SampleCount != run.PointCount) {
        return FALSE;
    }
    // Without a fit, or with the polynomials not stored, marking the device calibrated would
    // put zero or stale polynomials in force.
    if (!GetCalibrateData(run.TargetX, run.TargetY, run.RawX, run.RawY, run.PointCount, &calibX,
                          &calibY, run.PointCount != kAffinePointCount)) {
        Log(L"<GetMouseUpData>GetCalibrateData Failed!\r\n");
        return FALSE;
    }
    ToDriverUnits(&calibX, identity);
    ToDriverUnits(&calibY, identity);
    if (!SetCalibratePara(calibX, calibY, 0, &identity)) {
        Log(L"<GetMouseUpData>SetCalibratePara Failed!\r\n");
        return FALSE;
    }
    const BOOL marked = WriteCalibratedArea(identity, pDeviceCfg);
    if (!OptUSBReinitOptcore()) {
        Log(L"<GetMouseUpData>OptUSBReinitOptcore Failed!\r\n");
    }
    return marked;
}
