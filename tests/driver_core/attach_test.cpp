// Attach, detach and teardown of a device context on the fake function table.
#include <gtest/gtest.h>

#include <thread>

#include "ce/host/clock.h"
#include "ce/host/heap_stats.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "support/driver_fixture.h"
#include "protocol/control_codes.h"
#include "protocol/registry_form.h"
#include "touch/touch_data.h"

namespace {

USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD maxPacket) {
    return {7, 5, address, attributes, maxPacket, 1};
}

class AttachTest : public ots::test::DriverCoreTest {
  protected:
    BOOL Attach(ots::test::FakeUsb& usb, BOOL* accepted) {
        *accepted = 0x55;
        return otsusb::USBDeviceAttach(usb.Device(), usb.Funcs(), usb.Interface(), L"OtsUSB_Class",
                                       accepted, nullptr, 0);
    }
    ots::test::FakeUsb usb_;
};

TEST_F(AttachTest, VendorSpecificInterfaceIsAcceptedWhateverItsSubclassAndProtocol) {
    usb_.deviceInfoFails = true;  // stops attach right after acceptance
    const std::uint64_t allocations = ce::host::LocalAllocCount();
    for (const auto& [subclass, protocol] : {std::pair{0, 0}, {0xFF, 0xFF}, {1, 2}}) {
        usb_.SetInterfaceClass(0xFF, static_cast<BYTE>(subclass), static_cast<BYTE>(protocol));
        BOOL accepted = FALSE;
        EXPECT_FALSE(Attach(usb_, &accepted)) << "no device info";
        EXPECT_TRUE(accepted) << subclass << "/" << protocol;
    }
    EXPECT_EQ(usb_.getDeviceInfoCalls.load(), 3);
    EXPECT_EQ(ce::host::LocalAllocCount(), allocations) << "nothing allocated without device info";
}

TEST_F(AttachTest, OtherInterfacesAreRefused) {
    for (int interfaceClass : {0x00, 0x03, 0xFE}) {
        usb_.SetInterfaceClass(static_cast<BYTE>(interfaceClass), 0xFF, 0xFF);
        BOOL accepted = TRUE;
        EXPECT_FALSE(Attach(usb_, &accepted));
        EXPECT_FALSE(accepted) << interfaceClass;
    }
    BOOL accepted = TRUE;
    EXPECT_FALSE(otsusb::USBDeviceAttach(usb_.Device(), usb_.Funcs(), nullptr, nullptr, &accepted,
                                         nullptr, 0));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(usb_.getDeviceInfoCalls.load(), 0);
}

TEST_F(AttachTest, ReportPipeIsTheFirstInEndpointThatIsNotControl) {
    usb_.SetEndpoints({Endpoint(0x80, 0x00, 64), Endpoint(0x02, 0x02, 64), Endpoint(0x83, 0x03, 16),
                       Endpoint(0x84, 0x02, 64)});
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_EQ(usb_.openedEndpoints, (std::vector<BYTE>{0x83}));
    EXPECT_EQ(pDevice->hInterruptPipe, usb_.Pipe());
    EXPECT_EQ(pDevice->bEndpointAddress, 0x83);
    EXPECT_EQ(pDevice->dwMaxPacketSize, 16u);
}

TEST_F(AttachTest, OutThenInterruptInOpensTheSecond) {
    DEVICE_CONTEXT* pDevice = Create(usb_);  // the fake's own layout: OUT 0x01, IN 0x82
    ASSERT_NE(pDevice, nullptr);
    EXPECT_EQ(usb_.openedEndpoints, (std::vector<BYTE>{ots::test::FakeUsb::kInEndpoint}));
    EXPECT_EQ(pDevice->dwMaxPacketSize, 8u);
}

TEST_F(AttachTest, FailedOpenEndsTheWalkButNotTheAttach) {
    usb_.openPipeFails = true;
    usb_.SetEndpoints({Endpoint(0x81, 0x03, 8), Endpoint(0x82, 0x03, 8)});
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_EQ(usb_.openedEndpoints, (std::vector<BYTE>{0x81}));
    EXPECT_EQ(pDevice->hInterruptPipe, nullptr);
    EXPECT_EQ(pDevice->dwMaxPacketSize, 0u);
}

TEST_F(AttachTest, InterfaceWithoutEndpointsOpensNothing) {
    usb_.SetEndpoints({});
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_TRUE(usb_.openedEndpoints.empty());
}

TEST_F(AttachTest, NewContextIsSignedClearAndBoundToItsDevice) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_EQ(pDevice->dwSig, DEVICE_SIG);
    EXPECT_EQ(ResolveContext(pDevice->dwCookie), pDevice);
    EXPECT_EQ(pDevice->Flags.load(), 0);
    EXPECT_EQ(pDevice->fButtonDown, 0u);
    EXPECT_EQ(pDevice->hUsbDevice, usb_.Device());
    EXPECT_EQ(pDevice->lpUsbFuncs, usb_.Funcs());
    EXPECT_EQ(pDevice->lpInterface, usb_.Interface());
    ASSERT_NE(pDevice->lpDeviceInfo, nullptr);
    EXPECT_EQ(pDevice->lpDeviceInfo->Descriptor.idVendor, 0x1234);
    EXPECT_NE(pDevice->pTouchData, nullptr);
    EXPECT_EQ(pDevice->lpActivePath, nullptr);
    // No stream driver is configured here: activation fails, so no detach notification.
    EXPECT_EQ(pDevice->hStreamDevice, nullptr);
    EXPECT_EQ(usb_.notifyRoutine, nullptr);
}

TEST_F(AttachTest, CameraControllerLoadsNoRegistryCalibrationAndSettlesFiveSeconds) {
    ce::host::ScopedTimeScale fast(0.001);
    ots::test::FakeUsb camera(0x7E21, 0x0C20, 0x0100);
    DEVICE_CONTEXT* pDevice = Create(camera);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_TRUE(ots::test::KeyExists(ots::kDriverConfigKey));
    EXPECT_TRUE(ots::test::KeyExists(ots::kScreenConfigKey));
    EXPECT_FALSE(ots::test::KeyExists(ots::kCalibParaXKey));
    EXPECT_FALSE(ots::test::KeyExists(ots::kCalibParaYKey));
    EXPECT_FALSE(ots::test::KeyExists(ots::kDeviceConfigKey));

    const double before = ce::host::PlatformNowMs();
    StartDevice(pDevice);
    EXPECT_GE(ce::host::PlatformNowMs() - before, 5000.0);
    EXPECT_FALSE(camera.VendorTransfers().empty()) << "the camera is initialised over USB";
    Detach(pDevice);
}

TEST_F(AttachTest, CoordinateControllerIsInitialisedWithoutUsbTraffic) {
    ots::test::WriteDword(ots::kScreenConfigKey, L"width", 800);
    ots::test::WriteDword(ots::kScreenConfigKey, L"hight", 600);
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    StartDevice(pDevice);
    EXPECT_TRUE(usb_.VendorTransfers().empty());
    // Not calibrated: the device configuration takes the screen size as its bounds.
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxX, 800);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxY, 600);
    EXPECT_NE(pDevice->hReaderThread, nullptr);
}

TEST_F(AttachTest, DetachTearsDownAndRefusesTheCookieAfterwards) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    StartDevice(pDevice);
    const DWORD cookie = pDevice->dwCookie;
    Detach(pDevice);
    EXPECT_EQ(usb_.abortCalls.load(), 1);
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

TEST_F(AttachTest, OtherNotificationsAreIgnored) {
    DEVICE_CONTEXT* pDevice = Create(usb_);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_FALSE(UsbDeviceNotify(CookieToParameter(pDevice->dwCookie), 2, nullptr, nullptr, nullptr,
                                 nullptr));
    EXPECT_EQ(ResolveContext(pDevice->dwCookie), pDevice);
    EXPECT_FALSE(UsbDeviceNotify(nullptr, USB_CLOSE_DEVICE, nullptr, nullptr, nullptr, nullptr));
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
