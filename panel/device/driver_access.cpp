// The operations that always go to the driver on "OTS1:".
#include <array>

#include "device/control_calls.h"
#include "device/device_access.h"
#include "device/stream_device.h"
#include "protocol/control_codes.h"

namespace {

constexpr LPCWSTR kDriverDevice = L"OTS1:";

}  // namespace

BOOL SetDriverConfig(const ots::DriverConfig* pConfig) {
    if (pConfig == nullptr) {
        return FALSE;
    }
    std::array<BYTE, ots::kDriverConfigSize> record{};
    ots::EncodeDriverConfig(*pConfig, record);
    const ControlCall call{IOCTL_SET_DRIVER_CONFIG,
                           record,
                           {},
                           NarrowMessage("<common><SetDriverConfig>DeviceIoControl Failed!!!!\n")};
    return IssueControlCalls(kDriverDevice,
                             NarrowMessage("<common><SetDriverConfig>CreateFile Failed!!!!\r\n"),
                             {&call, 1});
}

BOOL GetDriverConfig(ots::DriverConfig* pConfig, DWORD /*dwReserved*/) {
    if (pConfig == nullptr) {
        return FALSE;
    }
    std::array<BYTE, ots::kDriverConfigSize> record{};
    const ControlCall call{IOCTL_GET_DRIVER_CONFIG,
                           {},
                           record,
                           NarrowMessage("<common><GetDriverConfig>DeviceIoControl Failed!!!!\n")};
    if (!IssueControlCalls(kDriverDevice,
                           NarrowMessage("<common><GetDriverConfig>CreateFile Failed!!!!\r\n"),
                           {&call, 1})) {
        return FALSE;
    }
    *pConfig = ots::DecodeDriverConfig(record);
    return TRUE;
}

BOOL OptUSBReinitOptcore() {
    const ControlCall call{
        IOCTL_REINIT_OPTCORE,
        {},
        {},
        WideMessage(L"<common><OptUSBReinitOptcore>DeviceIoControl failed!\r\n")};
    return IssueControlCalls(kDriverDevice,
                             WideMessage(L"<common><OptUSBReinitOptcore>CreateFile failed!\r\n"),
                             {&call, 1});
}

BOOL GetDeviceID(ots::DeviceIdentity* pIdentity) {
    if (pIdentity == nullptr) {
        return FALSE;
    }
    std::array<BYTE, ots::kDeviceIdentitySize> record{};
    const ControlCall call{IOCTL_GET_DEVICE_ID,
                           {},
                           record,
                           WideMessage(L"<common><GetDeviceID>call deviceiocontrol failed!\r\n")};
    // The panel probes for the driver with this call, so a missing device is not logged.
    if (!IssueControlCalls(kDriverDevice, PanelMessage{}, {&call, 1})) {
        return FALSE;
    }
    *pIdentity = ots::DecodeDeviceIdentity(record);
    return TRUE;
}
