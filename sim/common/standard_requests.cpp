#include "sim/standard_requests.h"

#include <algorithm>
#include <cstdint>

#include "protocol/bytes.h"

namespace ots::sim {

namespace {

// Standard request codes and descriptor types of the USB specification.
constexpr BYTE kGetStatus = 0;
constexpr BYTE kClearFeature = 1;
constexpr BYTE kSetFeature = 3;
constexpr BYTE kSetAddress = 5;
constexpr BYTE kGetDescriptor = 6;
constexpr BYTE kGetConfiguration = 8;
constexpr BYTE kSetConfiguration = 9;
constexpr BYTE kGetInterface = 10;
constexpr BYTE kSetInterface = 11;

constexpr BYTE kRequestTypeMask = 0x60;

ce::host::ControlResult Answer(std::span<BYTE> data, const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = std::min(data.size(), bytes.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return {USB_NO_ERROR, static_cast<DWORD>(n)};
}

}  // namespace

std::vector<std::uint8_t> DeviceDescriptorBytes(const USB_DEVICE_DESCRIPTOR& d) {
    std::vector<std::uint8_t> b(kDeviceDescriptorLength);
    b[0] = static_cast<std::uint8_t>(kDeviceDescriptorLength);
    b[1] = kDeviceDescriptorType;
    StoreU16(b, 2, d.bcdUSB);
    b[4] = d.bDeviceClass;
    b[5] = d.bDeviceSubClass;
    b[6] = d.bDeviceProtocol;
    b[7] = d.bMaxPacketSize0;
    StoreU16(b, 8, d.idVendor);
    StoreU16(b, 10, d.idProduct);
    StoreU16(b, 12, d.bcdDevice);
    b[14] = d.iManufacturer;
    b[15] = d.iProduct;
    b[16] = d.iSerialNumber;
    b[17] = d.bNumConfigurations;
    return b;
}

std::vector<std::uint8_t> ConfigurationBytes(
    const std::vector<ce::host::UsbInterfaceModel>& interfaces) {
    std::vector<std::uint8_t> b(kConfigurationLength);
    for (const auto& interface : interfaces) {
        const auto& d = interface.descriptor;
        b.insert(b.end(), {static_cast<std::uint8_t>(kInterfaceLength), kInterfaceDescriptorType,
                           d.bInterfaceNumber, d.bAlternateSetting,
                           static_cast<std::uint8_t>(interface.endpoints.size()), d.bInterfaceClass,
                           d.bInterfaceSubClass, d.bInterfaceProtocol, d.iInterface});
        for (const auto& e : interface.endpoints) {
            b.insert(b.end(), {static_cast<std::uint8_t>(kEndpointLength), kEndpointDescriptorType,
                               e.bEndpointAddress, e.bmAttributes,
                               static_cast<std::uint8_t>(e.wMaxPacketSize & 0xFF),
                               static_cast<std::uint8_t>(e.wMaxPacketSize >> 8), e.bInterval});
        }
    }
    b[0] = static_cast<std::uint8_t>(kConfigurationLength);
    b[1] = kConfigurationDescriptorType;
    StoreU16(b, 2, static_cast<std::uint16_t>(b.size()));
    b[4] = static_cast<std::uint8_t>(interfaces.size());
    b[5] = 1;     // bConfigurationValue
    b[6] = 0;     // iConfiguration
    b[7] = 0x80;  // bus powered
    b[8] = 50;    // 100 mA
    return b;
}

std::optional<ce::host::ControlResult> HandleStandardRequest(
    const USB_DEVICE_REQUEST& setup, std::span<BYTE> data, const USB_DEVICE_DESCRIPTOR& device,
    const std::vector<ce::host::UsbInterfaceModel>& interfaces) {
    if ((setup.bmRequestType & kRequestTypeMask) != 0) {
        return std::nullopt;
    }
    switch (setup.bRequest) {
        case kGetStatus:
            return Answer(data, {0, 0});
        case kGetConfiguration:
            return Answer(data, {1});
        case kGetInterface:
            return Answer(data, {0});
        case kClearFeature:
        case kSetFeature:
        case kSetAddress:
        case kSetConfiguration:
        case kSetInterface:
            return ce::host::ControlResult{USB_NO_ERROR, 0};
        case kGetDescriptor:
            switch (setup.wValue >> 8) {
                case kDeviceDescriptorType:
                    return Answer(data, DeviceDescriptorBytes(device));
                case kConfigurationDescriptorType:
                    return Answer(data, ConfigurationBytes(interfaces));
                default:
                    return kStall;  // no string or other descriptors
            }
        default:
            return kStall;
    }
}

}  // namespace ots::sim
