// The standard requests of the default pipe, answered from a device's descriptors: the first
// of the two handlers every simulated device runs (standard, then its vendor requests; a
// request neither serves is answered with a STALL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ce/host/usb_host.h"

namespace ots::sim {

// nullopt when the request is not a standard one (request type bits 5-6 not 0).
std::optional<ce::host::ControlResult> HandleStandardRequest(
    const USB_DEVICE_REQUEST& setup, std::span<BYTE> data, const USB_DEVICE_DESCRIPTOR& device,
    const std::vector<ce::host::UsbInterfaceModel>& interfaces);

// The wire form of a device's descriptors: the device descriptor, and the configuration
// descriptor followed by each interface and its endpoints.
std::vector<std::uint8_t> DeviceDescriptorBytes(const USB_DEVICE_DESCRIPTOR& device);
std::vector<std::uint8_t> ConfigurationBytes(
    const std::vector<ce::host::UsbInterfaceModel>& interfaces);

inline constexpr ce::host::ControlResult kStall{USB_STALL_ERROR, 0};

// Descriptor types and lengths, as the USB standard numbers them.
inline constexpr BYTE kDeviceDescriptorType = 1;
inline constexpr BYTE kConfigurationDescriptorType = 2;
inline constexpr BYTE kInterfaceDescriptorType = 4;
inline constexpr BYTE kEndpointDescriptorType = 5;
inline constexpr std::size_t kDeviceDescriptorLength = 18;
inline constexpr std::size_t kConfigurationLength = 9;
inline constexpr std::size_t kInterfaceLength = 9;
inline constexpr std::size_t kEndpointLength = 7;

}  // namespace ots::sim
