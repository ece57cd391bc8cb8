#include "device/stream_device.h"

namespace {

BYTE* BufferOf(std::span<BYTE> bytes) {
    return bytes.empty() ? nullptr : bytes.data();
}

}  // namespace

LPCWSTR StreamDeviceFor(const ots::DeviceIdentity* pIdentity) {
    if (pIdentity == nullptr) {
        return ots::StreamNameFor(ots::ControllerFamily::Coordinate);
    }
    return ots::StreamNameFor(ots::FamilyOf(pIdentity->idVendor, pIdentity->idProduct));
}

bool IsCameraIdentity(const ots::DeviceIdentity* pIdentity) {
    return pIdentity != nullptr &&
           ots::IsCameraGeneration(pIdentity->idVendor, pIdentity->idProduct);
}

StreamDevice::StreamDevice(LPCWSTR lpDeviceName)
    : hDevice_(CreateFile(lpDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, 0, 0, nullptr)) {}

StreamDevice::~StreamDevice() {
    if (IsOpen()) {
        CloseHandle(hDevice_);
    }
}

BOOL StreamDevice::Control(DWORD dwCode, std::span<BYTE> input, std::span<BYTE> output) const {
    DWORD dwReturned = 0;  // not looked at: the sizes are fixed per code
    return DeviceIoControl(hDevice_, dwCode, BufferOf(input), static_cast<DWORD>(input.size()),
                           BufferOf(output), static_cast<DWORD>(output.size()), &dwReturned,
                           nullptr);
}
