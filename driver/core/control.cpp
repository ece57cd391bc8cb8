// OTS_IOControl: the control codes of the stream device. Records are assembled in local
// buffers and copied with CeSafeCopyMemory; the live copies are read and replaced under
// csTouch, which the report path holds for each report.
//
// Buffers shorter than their record, and command packets outside 6..64 bytes, are refused with
// ERROR_INVALID_PARAMETER instead of being read or written past their end.
#include <array>
#include <span>

#include "ce/kernel.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "core/registry_store.h"
#include "protocol/calib_para.h"
#include "protocol/control_codes.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/touch_point.h"
#include "protocol/vendor_command.h"
#include "touch/sensor_init.h"
#include "touch/touch_data.h"
#include "touch/touch_lock.h"

namespace {

constexpr DWORD kMinVendorCommand = 6;  // framing without payload

BOOL Refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

bool Failed(DWORD dwStatus) {
    return static_cast<LONG>(dwStatus) < 0;
}

// Get codes: assemble the record under csTouch, then copy it out.
template <std::size_t N, class Assemble>
BOOL CopyRecordOut(DEVICE_CONTEXT* pDevice, PBYTE pBufOut, DWORD dwLenOut, Assemble assemble) {
    if (pBufOut == nullptr || dwLenOut < N) {
        return Refuse();
    }
    std::array<std::uint8_t, N> record{};
    {
        const TouchLock lock(*pDevice);
        assemble(std::span<std::uint8_t, N>(record));
    }
    return CeSafeCopyMemory(pBufOut, record.data(), N);
}

// Set codes: copy the caller's record in, then replace the live copy under csTouch. A failed
// copy leaves the live record as it was.
template <std::size_t N, class Store>
BOOL CopyRecordIn(DEVICE_CONTEXT* pDevice, PBYTE pBufIn, DWORD dwLenIn, Store store) {
    if (pBufIn == nullptr || dwLenIn < N) {
        return Refuse();
    }
    std::array<std::uint8_t, N> record{};
    if (!CeSafeCopyMemory(record.data(), pBufIn, N)) {
        return FALSE;
    }
    const TouchLock lock(*pDevice);
    store(std::span<const std::uint8_t, N>(record));
    return TRUE;
}

BOOL SetCalibPara(DEVICE_CONTEXT* pDevice, PBYTE pBufIn, DWORD dwLenIn, DWORD dwAxis) {
    ots::CalibPara& live =
        dwAxis == 0 ? pDevice->pTouchData->CalibParaX : pDevice->pTouchData->CalibParaY;
    const BOOL fResult = CopyRecordIn<ots::kCalibParaSize>(
        pDevice, pBufIn, dwLenIn, [&live](auto bytes) { live = ots::DecodeCalibPara(bytes); });
    if (fResult) {
        SaveCalibPara(pDevice, dwAxis);
    }
    return fResult;
}

// The caller's packet goes to the controller as it is; its reply comes back only when the
// exchange succeeded.
BOOL PassVendorCommand(DEVICE_CONTEXT* pDevice, PBYTE pBufIn, DWORD dwLenIn, PBYTE pBufOut,
                       DWORD dwLenOut) {
    if (pBufIn == nullptr || dwLenIn < kMinVendorCommand || dwLenIn > ots::kVendorPacketSize ||
        pBufOut == nullptr || dwLenOut < ots::kVendorPacketSize) {
        return Refuse();
    }
    BYTE command[ots::kVendorPacketSize] = {};
    if (!CeSafeCopyMemory(command, pBufIn, dwLenIn)) {
        return FALSE;
    }
    BYTE reply[ots::kVendorPacketSize] = {};
    if (Failed(SendVendorCommand(pDevice, command, dwLenIn, reply))) {
        return FALSE;
    }
    return CeSafeCopyMemory(pBufOut, reply, sizeof(reply));
}

BOOL ReinitialiseSensor(DEVICE_CONTEXT* pDevice) {
    const DWORD dwStatus = IsCameraController(pDevice) ? ReinitCameraController(pDevice)
                                                       : InitCoordinateController(pDevice);
    return Failed(dwStatus) ? FALSE : TRUE;
}

// Under csTouch. A touch that is down when calibration mode begins (the one that pressed
// "Calibrate" in click on touch) must not give the first sample when it lifts.
void TakeDriverConfig(DEVICE_CONTEXT* pDevice, const ots::DriverConfig& record) {
    const bool wasCalibrating = pDevice->DriverConfig.IsCalibrating != 0;
    pDevice->DriverConfig = record;
    if (record.IsCalibrating == 0) {
        pDevice->fHeldOverTouch = 0;
    } else if (!wasCalibrating) {
        pDevice->fHeldOverTouch = pDevice->fButtonDown;
    }
}

BOOL ClearMouseUpData(DEVICE_CONTEXT* pDevice) {
    TOUCH_DATA* pTouchData = pDevice->pTouchData;
    const TouchLock lock(*pDevice);
    pTouchData->LastClickPoint.x = 0;
    pTouchData->LastClickPoint.y = 0;
    pTouchData->LastTouchX = 0;
    pTouchData->LastTouchY = 0;
    return TRUE;
}

BOOL ServeControlCode(DEVICE_CONTEXT* pDevice, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                      PBYTE pBufOut, DWORD dwLenOut) {
    TOUCH_DATA* pTouchData = pDevice->pTouchData;
    switch (dwCode) {
        case IOCTL_GET_MOUSE_UP_DATA:
            return CopyRecordOut<ots::kTouchPointSize>(
                pDevice, pBufOut, dwLenOut, [pTouchData](auto bytes) {
                    ots::EncodeTouchPoint(pTouchData->LastClickPoint, bytes);
                });
        case IOCTL_CLEAR_MOUSE_UP_DATA:
            return ClearMouseUpData(pDevice);
        case IOCTL_GET_COMMAND:
        case IOCTL_SET_COMMAND:
            return PassVendorCommand(pDevice, pBufIn, dwLenIn, pBufOut, dwLenOut);
        case IOCTL_REINIT_OPTCORE:
            return ReinitialiseSensor(pDevice);
        case IOCTL_GET_DRIVER_CONFIG:
            return CopyRecordOut<ots::kDriverConfigSize>(
                pDevice, pBufOut, dwLenOut,
                [pDevice](auto bytes) { ots::EncodeDriverConfig(pDevice->DriverConfig, bytes); });
        case IOCTL_SET_DRIVER_CONFIG: {
            const BOOL fResult = CopyRecordIn<ots::kDriverConfigSize>(
                pDevice, pBufIn, dwLenIn, [pDevice](auto bytes) {
                    TakeDriverConfig(pDevice, ots::DecodeDriverConfig(bytes));
                });
            // Calibration mode is a session, not a setting: the registry keeps the user's own
            // record, so that a panel that dies mid-calibration leaves nothing stale behind.
            if (fResult && pDevice->DriverConfig.IsCalibrating == 0) {
                SaveDriverConfig(pDevice);
            }
            return fResult;
        }
        case IOCTL_GET_DEVICE_ID:
            return CopyRecordOut<ots::kDeviceIdentitySize>(
                pDevice, pBufOut, dwLenOut, [pDevice](auto bytes) {
                    const USB_DEVICE_DESCRIPTOR& descriptor = pDevice->lpDeviceInfo->Descriptor;
                    ots::EncodeDeviceIdentity(
                        {descriptor.idVendor, descriptor.idProduct, descriptor.bcdDevice}, bytes);
                });
        case IOCTL_SET_CALIB_PARA_X:
            return SetCalibPara(pDevice, pBufIn, dwLenIn, 0);
        case IOCTL_SET_CALIB_PARA_Y:
            return SetCalibPara(pDevice, pBufIn, dwLenIn, 1);
        case IOCTL_GET_DEVICE_CONFIG:
            return CopyRecordOut<ots::kDeviceConfigSize>(
                pDevice, pBufOut, dwLenOut, [pTouchData](auto bytes) {
                    ots::EncodeDeviceConfig(pTouchData->DeviceConfig, bytes);
                });
        case IOCTL_SET_DEVICE_CONFIG: {
            const BOOL fResult = CopyRecordIn<ots::kDeviceConfigSize>(
                pDevice, pBufIn, dwLenIn, [pTouchData](auto bytes) {
                    pTouchData->DeviceConfig = ots::DecodeDeviceConfig(bytes);
                });
            if (fResult) {
                SaveDeviceConfig(pDevice);
            }
            return fResult;
        }
        default:
            return TRUE;  // not served
    }
}

}  // namespace

namespace otsusb {

BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn, PBYTE pBufOut,
                   DWORD dwLenOut, PDWORD /*pdwActualOut*/) {
    // Served only while open and not pulled out. Otherwise nothing is done, and the caller
    // must not take an untouched buffer for a record: the call fails.
    DEVICE_CONTEXT* pDevice = ResolveContext(hOpenContext);
    const BYTE flags = pDevice != nullptr ? pDevice->Flags.load() : BYTE{0};
    if ((flags & DEVICE_FLAG_CLOSING) != 0) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if ((flags & DEVICE_FLAG_OPEN) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return ServeControlCode(pDevice, dwCode, pBufIn, dwLenIn, pBufOut, dwLenOut);
}

}  // namespace otsusb
