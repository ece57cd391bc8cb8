#include "support/driver_fixture.h"

#include "ce/host/registry_store.h"
#include "core/context_table.h"
#include "core/lifecycle.h"
#include "core/transport.h"

namespace ots::test {

void DriverCoreTest::SetUp() {
    ce::host::ResetRegistry();
    gQueuedTransferCount = 2;
}

void DriverCoreTest::TearDown() {
    for (DWORD cookie : cookies_) {
        if (DEVICE_CONTEXT* pDevice = ResolveContext(cookie)) {
            pDevice->Flags.store(0);
            FreeDeviceContext(pDevice);
        }
    }
}

DEVICE_CONTEXT* DriverCoreTest::Create(FakeUsb& usb) {
    DEVICE_CONTEXT* pDevice = CreateDeviceContext(usb.Device(), usb.Funcs(), usb.Interface());
    if (pDevice != nullptr) {
        cookies_.push_back(pDevice->dwCookie);
        SetEvent(pDevice->hAttachDone);
    }
    return pDevice;
}

}  // namespace ots::test
