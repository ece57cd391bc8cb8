#include "touch/process_report.h"

#include <span>

#include "protocol/device_identity.h"
#include "touch/coordinate_report.h"
#include "touch/image_packet.h"
#include "touch/touch_lock.h"

namespace {

bool IsCameraController(const DEVICE_CONTEXT& device) {
    const LPCUSB_DEVICE info = device.lpDeviceInfo;
    return info != nullptr &&
           ots::IsCameraGeneration(info->Descriptor.idVendor, info->Descriptor.idProduct);
}

}  // namespace

DWORD ProcessReport(const BYTE* pReport, DWORD cbTransferred, DEVICE_CONTEXT* pDevice) {
    if (pReport == nullptr || pDevice == nullptr || pDevice->dwSig != DEVICE_SIG ||
        pDevice->pTouchData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // Control calls replace records under the same lock, so a report never sees one half
    // replaced, and the settings copy holds for the whole report.
    const TouchLock lock(*pDevice);
    const ots::DriverConfig config = pDevice->DriverConfig;
    if (config.EnableTouch == 0) {
        return ERROR_SUCCESS;
    }
    const std::span<const BYTE> report(pReport, cbTransferred);
    const bool handled = IsCameraController(*pDevice)
                             ? HandleImagePacket(*pDevice, config, report)
                             : HandleCoordinateReport(*pDevice, config, report);
    return handled ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}
