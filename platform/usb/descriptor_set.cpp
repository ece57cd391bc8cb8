#include "descriptor_set.h"

namespace ce::usb {

namespace {

constexpr BYTE kConfigurationDescriptorType = 2;
constexpr BYTE kInterfaceDescriptorType = 4;
constexpr BYTE kEndpointDescriptorType = 5;
constexpr BYTE kConfigurationLength = 9;
constexpr BYTE kInterfaceLength = 9;
constexpr BYTE kEndpointLength = 7;
constexpr BYTE kBusPowered = 0x80;
constexpr BYTE kMaxPower100mA = 50;  // in 2 mA units

}  // namespace

DescriptorSet::DescriptorSet(const USB_DEVICE_DESCRIPTOR& device,
                             const std::vector<host::UsbInterfaceModel>& interfaces) {
    unsigned totalLength = kConfigurationLength;
    endpoints_.reserve(interfaces.size());
    for (const auto& model : interfaces) {
        auto& list = endpoints_.emplace_back();
        for (const auto& endpoint : model.endpoints) {
            USB_ENDPOINT_DESCRIPTOR d = endpoint;
            d.bLength = kEndpointLength;
            d.bDescriptorType = kEndpointDescriptorType;
            list.push_back(USB_ENDPOINT{sizeof(USB_ENDPOINT), d, nullptr});
        }
        totalLength += kInterfaceLength + kEndpointLength * static_cast<unsigned>(list.size());
    }
    interfaces_.reserve(interfaces.size());
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        USB_INTERFACE_DESCRIPTOR d = interfaces[i].descriptor;
        d.bLength = kInterfaceLength;
        d.bDescriptorType = kInterfaceDescriptorType;
        d.bNumEndpoints = static_cast<BYTE>(endpoints_[i].size());
        interfaces_.push_back(
            USB_INTERFACE{sizeof(USB_INTERFACE), d, nullptr,
                          endpoints_[i].empty() ? nullptr : endpoints_[i].data()});
    }
    config_.dwCount = sizeof(USB_CONFIGURATION);
    config_.Descriptor = USB_CONFIGURATION_DESCRIPTOR{kConfigurationLength,
                                                      kConfigurationDescriptorType,
                                                      static_cast<WORD>(totalLength),
                                                      static_cast<BYTE>(interfaces_.size()),
                                                      1,
                                                      0,
                                                      kBusPowered,
                                                      kMaxPower100mA};
    config_.dwNumInterfaces = static_cast<DWORD>(interfaces_.size());
    config_.lpInterfaces = interfaces_.empty() ? nullptr : interfaces_.data();
    device_.dwCount = sizeof(USB_DEVICE);
    device_.Descriptor = device;
    device_.lpConfigs = &config_;
    device_.lpActiveConfig = &config_;
}

std::vector<USB_ENDPOINT_DESCRIPTOR> DescriptorSet::AllEndpoints() const {
    std::vector<USB_ENDPOINT_DESCRIPTOR> all;
    for (const auto& list : endpoints_) {
        for (const auto& endpoint : list) {
            all.push_back(endpoint.Descriptor);
        }
    }
    return all;
}

}  // namespace ce::usb
