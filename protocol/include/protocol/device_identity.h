// The 6-byte device identity (control code 0x8000201C) and the controller families that both
// deliverables tell apart by it. The family is decided here, once; everything else branches on
// ControllerFamily.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kDeviceIdentitySize = 6;

struct DeviceIdentity {
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
};

DeviceIdentity DecodeDeviceIdentity(std::span<const std::uint8_t, kDeviceIdentitySize> bytes);
void EncodeDeviceIdentity(const DeviceIdentity& id, std::span<std::uint8_t, kDeviceIdentitySize> bytes);

inline constexpr std::uint16_t kCameraVendorId = 0x7E21;
inline constexpr std::uint16_t kCameraProductId = 0x0C20;
inline constexpr std::uint16_t kSecondStreamProductId = 0x0012;

enum class ControllerFamily {
    Camera,        // 0x7E21 / 0x0C20: line images, the driver triangulates; reached as "OTS1:"
    SecondStream,  // 0x7E21 / 0x0012: coordinate reports; reached as "OTS2:"
    Coordinate,    // everything else: coordinate reports; reached as "OTS1:"
};

ControllerFamily FamilyOf(std::uint16_t idVendor, std::uint16_t idProduct);
inline bool IsCameraGeneration(std::uint16_t idVendor, std::uint16_t idProduct) {
    return FamilyOf(idVendor, idProduct) == ControllerFamily::Camera;
}

// The stream device name a client opens for a family: L"OTS1:" or L"OTS2:".
const wchar_t* StreamNameFor(ControllerFamily family);

}  // namespace ots
