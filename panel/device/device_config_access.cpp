// Device configuration and calibration: kept in the camera controller itself, or in the driver
// for every other controller.
#include <array>

#include "device/camera_sequence.h"
#include "device/control_calls.h"
#include "device/device_access.h"
#include "device/stream_device.h"
#include "protocol/control_codes.h"
#include "protocol/vendor_command.h"

namespace {

using RecordBytes = std::array<BYTE, ots::kDeviceConfigSize>;
static_assert(ots::kCalibParaSize == ots::kDeviceConfigSize);
static_assert(ots::kVendorBlockSize == ots::kDeviceConfigSize);

constexpr BYTE kDeviceConfigIndex = 1;  // block 0x30 index 0 is PanelParams
constexpr BYTE kUnassignedDeviceId = 0xFF;

RecordBytes Encoded(const ots::DeviceConfig& config) {
    RecordBytes bytes{};
    ots::EncodeDeviceConfig(config, bytes);
    return bytes;
}

RecordBytes Encoded(const ots::CalibPara& calib) {
    RecordBytes bytes{};
    ots::EncodeCalibPara(calib, bytes);
    return bytes;
}

BOOL GetCameraDeviceConfig(ots::DeviceConfig* pConfig) {
    BOOL fRead = FALSE;
    const CameraSequenceResult result = RunCameraSequence([&] {
        VendorBlock block{};
        fRead = ReadCameraBlock(ots::kCodePanelBlock, kDeviceConfigIndex, block);
        if (fRead) {
            ots::DeviceConfig config = ots::DecodeDeviceConfig(block);
            if (config.DeviceID == kUnassignedDeviceId) {
                config.DeviceID = 0;
            }
            *pConfig = config;
        }
        return fRead;
    });
    // A record that could not be read is not reported as read: the caller would otherwise
    // write its stale copy back into the controller.
    return result.fCompleted && fRead && result.fClosed;
}

BOOL SetCameraDeviceConfig(const ots::DeviceConfig& config) {
    const RecordBytes bytes = Encoded(config);
    const CameraSequenceResult result = RunCameraSequence([&] {
        return WriteCameraCommand(ots::kCodeStoreDeviceConfig, kDeviceConfigIndex, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
    });
    return result.fCompleted && result.fBody;
}

BOOL SetCameraCalibration(const ots::CalibPara& calibX, const ots::CalibPara& calibY) {
    const RecordBytes bytesX = Encoded(calibX);
    const RecordBytes bytesY = Encoded(calibY);
    const CameraSequenceResult result = RunCameraSequence([&] {
        const BOOL fX = WriteCameraCommand(ots::kCodeStoreCalibration, 0, bytesX.data(),
                                           static_cast<DWORD>(bytesX.size()));
        Sleep(kCameraCommandPauseMs);
        const BOOL fY = WriteCameraCommand(ots::kCodeStoreCalibration, 1, bytesY.data(),
                                           static_cast<DWORD>(bytesY.size()));
        return fX && fY ? TRUE : FALSE;
    });
    return result.fCompleted && result.fBody;
}

}  // namespace

BOOL GetDeviceConfig(ots::DeviceConfig* pConfig, DWORD /*dwReserved*/,
                     const ots::DeviceIdentity* pIdentity) {
    if (pConfig == nullptr) {
        return FALSE;
    }
    if (IsCameraIdentity(pIdentity)) {
        return GetCameraDeviceConfig(pConfig);
    }
    RecordBytes record{};
    const ControlCall call{IOCTL_GET_DEVICE_CONFIG,
                           {},
                           record,
                           WideMessage(L"<Commmon><GetDeviceConfig>DeviceIoControl Failed!\r\n")};
    if (!IssueControlCalls(StreamDeviceFor(pIdentity),
                           WideMessage(L"<Commmon><GetDeviceConfig>CreateFile Failed!\r\n"),
                           {&call, 1})) {
        return FALSE;
    }
    *pConfig = ots::DecodeDeviceConfig(record);
    return TRUE;
}

BOOL SetDeviceConfig(const ots::DeviceConfig* pConfig, DWORD /*dwReserved*/,
                     const ots::DeviceIdentity* pIdentity) {
    if (pConfig == nullptr) {
        return FALSE;
    }
    if (IsCameraIdentity(pIdentity)) {
        return SetCameraDeviceConfig(*pConfig);
    }
    RecordBytes record = Encoded(*pConfig);
    const ControlCall call{IOCTL_SET_DEVICE_CONFIG,
                           record,
                           {},
                           WideMessage(L"<Commmon><SetDeviceConfig>DeviceIoControl Failed!\r\n")};
    return IssueControlCalls(StreamDeviceFor(pIdentity),
                             WideMessage(L"<Commmon><SetDeviceConfig>CreateFile Failed!\r\n"),
                             {&call, 1});
}

BOOL SetCalibratePara(ots::CalibPara calibX, ots::CalibPara calibY, DWORD /*dwReserved*/,
                      const ots::DeviceIdentity* pIdentity) {
    if (IsCameraIdentity(pIdentity)) {
        return SetCameraCalibration(calibX, calibY);
    }
    RecordBytes recordX = Encoded(calibX);
    RecordBytes recordY = Encoded(calibY);
    const ControlCall calls[] = {
        {IOCTL_SET_CALIB_PARA_X,
         recordX,
         {},
         WideMessage(L"<Commmon><SetCalibratePara>DeviceIoControl_X Failed!\r\n")},
        {IOCTL_SET_CALIB_PARA_Y,
         recordY,
         {},
         WideMessage(L"<Commmon><SetCalibratePara>DeviceIoControl_Y Failed!\r\n")},
    };
    return IssueControlCalls(StreamDeviceFor(pIdentity),
                             WideMessage(L"<Commmon><SetCalibratePara>CreateFile Failed!\r\n"),
                             calls);
}
