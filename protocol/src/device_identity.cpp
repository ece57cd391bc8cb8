#include "protocol/device_identity.h"

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::device_identity;

DeviceIdentity DecodeDeviceIdentity(std::span<const std::uint8_t, kDeviceIdentitySize> bytes) {
    DeviceIdentity id{};
    id.idVendor = LoadU16(bytes, at::idVendor);
    id.idProduct = LoadU16(bytes, at::idProduct);
    id.bcdDevice = LoadU16(bytes, at::bcdDevice);
    return id;
}

void EncodeDeviceIdentity(const DeviceIdentity& id,
                          std::span<std::uint8_t, kDeviceIdentitySize> bytes) {
    StoreU16(bytes, at::idVendor, id.idVendor);
    StoreU16(bytes, at::idProduct, id.idProduct);
    StoreU16(bytes, at::bcdDevice, id.bcdDevice);
}

ControllerFamily FamilyOf(std::uint16_t idVendor, std::uint16_t idProduct) {
    if (idVendor != kCameraVendorId) {
        return ControllerFamily::Coordinate;
    }
    if (idProduct == kCameraProductId) {
        return ControllerFamily::Camera;
    }
    if (idProduct == kSecondStreamProductId) {
        return ControllerFamily::SecondStream;
    }
    return ControllerFamily::Coordinate;
}

const wchar_t* StreamNameFor(ControllerFamily family) {
    return family == ControllerFamily::SecondStream ? L"OTS2:" : L"OTS1:";
}

}  // namespace ots
