// Attach, detach and teardown of a device context on the fake function table.
#include <gtest/gtest.h>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"
#include "touch/touch_data.h"

namespace ots::test {
namespace {

using AttachTest = DriverCoreTest;

TEST_F(AttachTest, OnlyVendorSpecificInterfacesAreAccepted) {
    usb_.deviceInfoFails = true;  // stops attach right after acceptance
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    const struct {
        BYTE cls, subclass, protocol;
        bool accepted;
    } rows[] = {{0xFF, 0, 0, true},        {0xFF, 0xFF, 0xFF, true},  {0xFF, 1, 2, true},
                {0x00, 0xFF, 0xFF, false}, {0x03, 0xFF, 0xFF, false}, {0xFE, 0xFF, 0xFF, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cls);
        usb_.SetInterfaceClass(row.cls, row.subclass, row.protocol);
        BOOL accepted = 0x55;
        EXPECT_FALSE(otsusb::USBDeviceAttach(usb_.Device(), usb_.Funcs(), usb_.Interface(),
                                             L"OtsUSB_Class", &accepted, nullptr, 0));
        EXPECT_EQ(accepted, row.accepted ? TRUE : FALSE);
    }
    BOOL accepted = TRUE;
    EXPECT_FALSE(otsusb::USBDeviceAttach(usb_.Device(), usb_.Funcs(), nullptr, nullptr, &accepted,
                                         nullptr, 0));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(usb_.getDeviceInfoCalls.load(), 3) << "only the accepted ones go on";
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations) << "nothing allocated without device info";
}

TEST_F(AttachTest, ReportPipeIsTheFirstInEndpointThatIsNotControl) {
    const struct {
        const char* name;
        std::vector<USB_ENDPOINT_DESCRIPTOR> endpoints;
        bool openFails;
        std::vector<BYTE> opened;
        DWORD maxPacket;
    } rows[] = {
        {"control, bulk out, interrupt in, bulk in",
         {Endpoint(0x80, 0x00, 64), Endpoint(0x02, 0x02, 64), Endpoint(0x83, 0x03, 16),
          Endpoint(0x84, 0x02, 64)},
         false,
         {0x83},
         16},
        {"a failed open ends the walk",
         {Endpoint(0x81, 0x03, 8), Endpoint(0x82, 0x03, 8)},
         true,
         {0x81},
         0},
        {"no endpoints", {}, false, {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUsb usb;
        usb.SetEndpoints(row.endpoints);
        usb.openPipeFails = row.openFails;
        DEVICE_CONTEXT* pDevice = Create(usb);
        ASSERT_NE(pDevice, nullptr) << "attach goes on without a report pipe";
        EXPECT_EQ(usb.openedEndpoints, row.opened);
        EXPECT_EQ(pDevice->hInterruptPipe, row.maxPacket != 0 ? usb.Pipe() : nullptr);
        EXPECT_EQ(pDevice->bEndpointAddress, row.maxPacket != 0 ? row.opened[0] : 0);
        EXPECT_EQ(pDevice->dwMaxPacketSize, row.maxPacket);
        Detach(pDevice);
    }
}

TEST_F(AttachTest, NewContextIsSignedAndBoundToItsDevice) {
    DEVICE_CONTEXT* pDevice = Create(usb_);  // the fake's own layout: OUT 0x01, IN 0x82
    ASSERT_NE(pDevice, nullptr);
    EXPECT_EQ(usb_.openedEndpoints, (std::vector<BYTE>{FakeUsb::kInEndpoint}));
    EXPECT_EQ(pDevice->dwMaxPacketSize, 8u);
    EXPECT_EQ(pDevice->dwSig, DEVICE_SIG);
    EXPECT_EQ(ResolveContext(pDevice->dwCookie), pDevice);
    EXPECT_EQ(pDevice->lpDeviceInfo->Descriptor.idVendor, 0x1234);
    // No stream driver is configured here: activation fails, so no detach notification.
    EXPECT_EQ(pDevice->hStreamDevice, nullptr);
    EXPECT_EQ(usb_.notifyRoutine, nullptr);
}

TEST_F(AttachTest, CameraControllerLoadsNoRegistryCalibrationAndSettlesFiveSeconds) {
    ce::host::ScopedTimeScale fast(0.001);
    FakeUsb camera(0x7E21, 0x0C20, 0x0100);
    DEVICE_CONTEXT* pDevice = Create(camera);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_TRUE(KeyExists(ots::kDriverConfigKey));
    EXPECT_TRUE(KeyExists(ots::kScreenConfigKey));
    EXPECT_FALSE(KeyExists(ots::kCalibParaXKey));
    EXPECT_FALSE(KeyExists(ots::kCalibParaYKey));
    EXPECT_FALSE(KeyExists(ots::kDeviceConfigKey));
    const double before = ce::host::PlatformNowMs();
    StartDevice(pDevice);
    EXPECT_GE(ce::host::PlatformNowMs() - before, 5000.0);
    EXPECT_FALSE(camera.VendorTransfers().empty()) << "the camera is initialised over USB";
    Detach(pDevice);
}

TEST_F(AttachTest, CoordinateControllerIsInitialisedWithoutUsbTraffic) {
    WriteDword(ots::kScreenConfigKey, L"width", 800);
    WriteDword(ots::kScreenConfigKey, L"hight", 600);
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    StartDevice(pDevice);
    EXPECT_TRUE(usb_.VendorTransfers().empty());
    // Not calibrated: the device configuration takes the screen size as its bounds.
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxX, 800);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxY, 600);
    EXPECT_NE(pDevice->hReaderThread, nullptr);
}

TEST_F(AttachTest, DetachTearsDownOnceAndOtherNotificationsAreIgnored) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    StartDevice(pDevice);
    const DWORD cookie = pDevice->dwCookie;
    EXPECT_FALSE(UsbDeviceNotify(CookieToParameter(cookie), 2, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(UsbDeviceNotify(nullptr, USB_CLOSE_DEVICE, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ResolveContext(cookie), pDevice);
    Detach(pDevice);
    EXPECT_GE(usb_.abortCalls.load(), 1) << "again while the reader lingers";
    EXPECT_EQ(usb_.closePipeCalls.load(), 1);
    EXPECT_EQ(ResolveContext(cookie), nullptr);
    SetLastError(0);
    EXPECT_EQ(otsusb::OTS_Open(cookie, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_FALSE(UsbDeviceNotify(CookieToParameter(cookie), USB_CLOSE_DEVICE, nullptr, nullptr,
                                 nullptr, nullptr))
        << "a second notification finds nothing";
}

TEST_F(AttachTest, NoClientCanOpenOnceAnUnopenedDeviceIsBeingDetached) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    const DWORD cookie = pDevice->dwCookie;
    EXPECT_FALSE(MarkClosing(pDevice)) << "nobody had it open";
    // A client racing the unplug, before the stream device is deactivated.
    SetLastError(0);
    EXPECT_EQ(otsusb::OTS_Open(cookie, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), 5u);
    FreeDeviceContext(pDevice);
    EXPECT_EQ(ResolveContext(cookie), nullptr) << "the context was freed, not held open";
}

TEST_F(AttachTest, OpenContextIsNeverFreed) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    ASSERT_NE(otsusb::OTS_Open(pDevice->dwCookie, 0, 0), 0u);
    FreeDeviceContext(pDevice);
    EXPECT_EQ(ResolveContext(pDevice->dwCookie), pDevice);
    EXPECT_EQ(usb_.closePipeCalls.load(), 0);
    EXPECT_TRUE(otsusb::OTS_Close(pDevice->dwCookie));
    FreeDeviceContext(pDevice);
    EXPECT_EQ(usb_.closePipeCalls.load(), 1);
}

}  // namespace
}  // namespace ots::test
