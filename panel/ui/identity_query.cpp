#include "ui/identity_query.h"

#include "device/device_access.h"

ots::DeviceIdentity QueryDeviceIdentity(CWnd& dialog) {
    ots::DeviceIdentity identity{};
    if (!GetDeviceID(&identity)) {
        dialog.MessageBox(L"GetDeviceID Failed.", L"ERROR", MB_OK);
        identity = ots::DeviceIdentity{};
    }
    return identity;
}
