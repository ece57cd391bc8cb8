// The descriptors of a plugged device in the form a client driver reads them (USB_DEVICE with
// its configuration, interfaces and endpoints), built once and kept for the device's life.
#pragma once

#include <vector>

#include "ce/host/usb_host.h"
#include "ce/usbd.h"

namespace ce::usb {

class DescriptorSet {
  public:
    DescriptorSet(const USB_DEVICE_DESCRIPTOR& device,
                  const std::vector<host::UsbInterfaceModel>& interfaces);
    DescriptorSet(const DescriptorSet&) = delete;  // the records point into each other
    DescriptorSet& operator=(const DescriptorSet&) = delete;

    LPCUSB_DEVICE Device() const { return &device_; }
    const std::vector<USB_INTERFACE>& Interfaces() const { return interfaces_; }
    // Every endpoint of every interface, in order.
    std::vector<USB_ENDPOINT_DESCRIPTOR> AllEndpoints() const;

  private:
    std::vector<std::vector<USB_ENDPOINT>> endpoints_;
    std::vector<USB_INTERFACE> interfaces_;
    USB_CONFIGURATION config_{};
    USB_DEVICE device_{};
};

}  // namespace ce::usb
