#include "protocol/device_identity.h"

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::device_identity;

constexpr std::array<codec::Field<DeviceIdentity>, 3> kFields{{
    {at::idVendor, &DeviceIdentity::idVendor},
    {at::idProduct, &DeviceIdentity::idProduct},
    {at::bcdDevice, &DeviceIdentity::bcdDevice},
}};

DeviceIdentity DecodeDeviceIdentity(std::span<const std::uint8_t, kDeviceIdentitySize> bytes) {
    return codec::Decode(bytes, kFields);
}

void EncodeDeviceIdentity(const DeviceIdentity& id,
                          std::span<std::uint8_t, kDeviceIdentitySize> bytes) {
    codec::Encode(id, kFields, bytes);
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
