// Initialisation of a coordinate controller: nothing is sent; the registry copies decide
// whether the calibration is in force.
#include "touch/calibration_map.h"
#include "touch/sensor_init.h"
#include "touch/touch_data.h"
#include "touch/touch_lock.h"

DWORD InitCoordinateController(DEVICE_CONTEXT* pDevice) {
    if (pDevice == nullptr || pDevice->pTouchData == nullptr) {
        return kVendorCommandFailed;
    }
    const TouchLock lock(*pDevice);
    TOUCH_DATA* td = pDevice->pTouchData;
    if (td->DeviceConfig.IsCalibrated != 1) {
        td->DeviceConfig = ots::DeviceConfig{};
        td->DeviceConfig.MaxX = static_cast<UINT16>(pDevice->ScreenConfig.width);
        td->DeviceConfig.MaxY = static_cast<UINT16>(pDevice->ScreenConfig.hight);
    } else {
        LoadActiveCalibration(td->CalibParaX, td->CalibParaY, &td->Optical);
    }
    return ERROR_SUCCESS;
}
