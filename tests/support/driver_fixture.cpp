#include "support/driver_fixture.h"

#include <algorithm>

#include "ce/host/registry_store.h"
#include "ce/registry.h"
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
    cookies_.clear();
}

DEVICE_CONTEXT* DriverCoreTest::Create(ots::test::FakeUsb& usb) {
    DEVICE_CONTEXT* pDevice = CreateDeviceContext(usb.Device(), usb.Funcs(), usb.Interface());
    if (pDevice != nullptr) {
        SetEvent(pDevice->hAttachDone);  // as StartDevice would: attach is done with it
        cookies_.push_back(pDevice->dwCookie);
    }
    return pDevice;
}

void DriverCoreTest::Detach(DEVICE_CONTEXT* pDevice) {
    const DWORD cookie = pDevice->dwCookie;
    EXPECT_TRUE(UsbDeviceNotify(CookieToParameter(cookie), USB_CLOSE_DEVICE, nullptr, nullptr,
                                nullptr, nullptr));
    cookies_.erase(std::remove(cookies_.begin(), cookies_.end(), cookie), cookies_.end());
}

}  // namespace ots::test
