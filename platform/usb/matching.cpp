#include "matching.h"

#include <algorithm>

namespace ce::usb {

namespace {

constexpr DWORD kAnyInInterfaceGroup = 0xFF;

bool FieldMatches(DWORD wanted, DWORD actual) {
    return wanted == USB_NO_INFO || wanted == actual;
}

bool InterfaceFieldMatches(DWORD wanted, DWORD actual) {
    return wanted == kAnyInInterfaceGroup || FieldMatches(wanted, actual);
}

int NamedFields(const USB_DRIVER_SETTINGS& s) {
    const DWORD exact[] = {s.dwVendorId,      s.dwProductId,      s.dwReleaseNumber,
                           s.dwDeviceClass,   s.dwDeviceSubClass, s.dwDeviceProtocol,
                           s.dwInterfaceClass};
    const DWORD open[] = {s.dwInterfaceSubClass, s.dwInterfaceProtocol};
    int named = 0;
    for (DWORD f : exact) {
        named += f != USB_NO_INFO ? 1 : 0;
    }
    for (DWORD f : open) {
        named += f != USB_NO_INFO && f != kAnyInInterfaceGroup ? 1 : 0;
    }
    return named;
}

}  // namespace

bool IsDeviceDriver(const USB_DRIVER_SETTINGS& settings) {
    return settings.dwInterfaceClass == USB_NO_INFO;
}

bool Matches(const USB_DRIVER_SETTINGS& s, const USB_DEVICE_DESCRIPTOR& device,
             const USB_INTERFACE_DESCRIPTOR* interface) {
    const bool deviceMatches = FieldMatches(s.dwVendorId, device.idVendor) &&
                               FieldMatches(s.dwProductId, device.idProduct) &&
                               FieldMatches(s.dwReleaseNumber, device.bcdDevice) &&
                               FieldMatches(s.dwDeviceClass, device.bDeviceClass) &&
                               FieldMatches(s.dwDeviceSubClass, device.bDeviceSubClass) &&
                               FieldMatches(s.dwDeviceProtocol, device.bDeviceProtocol);
    if (!deviceMatches) {
        return false;
    }
    if (interface == nullptr) {
        return IsDeviceDriver(s);
    }
    return !IsDeviceDriver(s) && FieldMatches(s.dwInterfaceClass, interface->bInterfaceClass) &&
           InterfaceFieldMatches(s.dwInterfaceSubClass, interface->bInterfaceSubClass) &&
           InterfaceFieldMatches(s.dwInterfaceProtocol, interface->bInterfaceProtocol);
}

std::vector<ClientRegistration> Candidates(const std::vector<ClientRegistration>& registrations,
                                           const USB_DEVICE_DESCRIPTOR& device,
                                           const USB_INTERFACE_DESCRIPTOR* interface) {
    std::vector<ClientRegistration> matching;
    for (const auto& r : registrations) {
        if (Matches(r.settings, device, interface)) {
            matching.push_back(r);
        }
    }
    std::stable_sort(matching.begin(), matching.end(), [](const auto& a, const auto& b) {
        return NamedFields(a.settings) > NamedFields(b.settings);
    });
    return matching;
}

}  // namespace ce::usb
