// Registration with the USB stack: every vendor-specific interface (class 0xFF) is offered to us.
#include "core/entry_points.h"
#include "protocol/registry_form.h"

namespace {

constexpr BYTE kVendorSpecificClass = 0xFF;

constexpr USB_DRIVER_SETTINGS kMatchingSettings = {
    sizeof(USB_DRIVER_SETTINGS),
    USB_NO_INFO,  // vendor
    USB_NO_INFO,  // product
    USB_NO_INFO,  // release
    USB_NO_INFO,  // device class
    USB_NO_INFO,  // device subclass
    USB_NO_INFO,  // device protocol
    kVendorSpecificClass,
    kVendorSpecificClass,
    kVendorSpecificClass,
};

}  // namespace

namespace otsusb {

BOOL USBInstallDriver(LPCWSTR szDriverLibFile) {
    if (!RegisterClientDriverID(ots::kClientDriverId)) {
        return FALSE;
    }
    return RegisterClientSettings(szDriverLibFile, ots::kClientDriverId, nullptr,
                                  &kMatchingSettings);
}

BOOL USBUnInstallDriver() {
    const BOOL fSettingsRemoved =
        UnRegisterClientSettings(ots::kClientDriverId, nullptr, &kMatchingSettings);
    const BOOL fIdRemoved = UnRegisterClientDriverID(ots::kClientDriverId);
    return fSettingsRemoved && fIdRemoved ? TRUE : FALSE;
}

}  // namespace otsusb
