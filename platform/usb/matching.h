// Which registered client drivers a device or one of its interfaces is offered to.
#pragma once

#include <vector>

#include "ce/usbd.h"
#include "client_registration.h"

namespace ce::usb {

// A registration whose interface group is "Default" drives a whole device.
bool IsDeviceDriver(const USB_DRIVER_SETTINGS& settings);

// Every field the settings name equals the device's (and, for an interface driver, the
// interface's; subclass or protocol 255 there matches any value).
bool Matches(const USB_DRIVER_SETTINGS& settings, const USB_DEVICE_DESCRIPTOR& device,
             const USB_INTERFACE_DESCRIPTOR* interface);

// The device drivers (interface null) or interface drivers that match, most specific first;
// registrations equally specific keep their registry order.
std::vector<ClientRegistration> Candidates(const std::vector<ClientRegistration>& registrations,
                                           const USB_DEVICE_DESCRIPTOR& device,
                                           const USB_INTERFACE_DESCRIPTOR* interface);

}  // namespace ce::usb
