// The stream device as the panel uses it: opened for one operation and closed again, since the
// driver admits one open handle at a time.
#pragma once

#include <span>

#include "ce/stream.h"
#include "protocol/device_identity.h"

// The instance a controller is reached as: "OTS2:" for the 0x0012 controller, else "OTS1:".
// No identity counts as an unknown controller.
LPCWSTR StreamDeviceFor(const ots::DeviceIdentity* pIdentity);

// Whether the identity is the camera controller's, whose settings travel as vendor commands.
bool IsCameraIdentity(const ots::DeviceIdentity* pIdentity);

class StreamDevice {
  public:
    explicit StreamDevice(LPCWSTR lpDeviceName);
    ~StreamDevice();
    StreamDevice(const StreamDevice&) = delete;
    StreamDevice& operator=(const StreamDevice&) = delete;

    bool IsOpen() const { return hDevice_ != INVALID_HANDLE_VALUE; }

    // One control code; an empty span passes a null buffer of length 0.
    BOOL Control(DWORD dwCode, std::span<BYTE> input, std::span<BYTE> output) const;

  private:
    HANDLE hDevice_;
};
