// Plugging: which drivers a device is offered to, how their library is loaded, and what
// they are handed.
#include <filesystem>

#include "ce/host/debug_sink.h"
#include "ce/host/devmgr_host.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

using ce::host::ScopedUsbDevice;

TEST_F(UsbStackTest, VendorSpecificInterfaceIsOfferedWhateverItsSubclassAndProtocol) {
    RegisterTestDriver();
    const auto device =
        std::make_shared<TestDevice>(std::vector{ReportInterface(0xFF, 0x07, 0x3C)});
    ScopedUsbDevice plugged(device);

    const auto attaches = Attaches();
    ASSERT_EQ(attaches.size(), 1u);
    const AttachCall& call = attaches[0];
    EXPECT_TRUE(call.accepted);
    EXPECT_EQ(call.interfaceDescriptor.bInterfaceSubClass, 0x07);
    EXPECT_EQ(call.interfaceDescriptor.bInterfaceProtocol, 0x3C);
    EXPECT_EQ(call.driverId, kDriverId);
    EXPECT_EQ(call.settings.dwInterfaceClass, 0xFFu);
    EXPECT_EQ(call.settings.dwVendorId, USB_NO_INFO);
    EXPECT_EQ(call.funcs->dwCount, sizeof(USB_FUNCS));
    EXPECT_NE(call.thread, std::this_thread::get_id());
    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(plugged.id()));
    EXPECT_EQ(device->connects(), 1);
}

TEST_F(UsbStackTest, InterfacesOfOtherClassesAreNotOffered) {
    RegisterTestDriver();
    const auto device = std::make_shared<TestDevice>(
        std::vector{ReportInterface(0x03, 0xFF, 0xFF), ReportInterface(0xFE, 0xFF, 0xFF)});
    ScopedUsbDevice plugged(device);

    EXPECT_TRUE(Attaches().empty());
    EXPECT_FALSE(ce::host::IsUsbDeviceClaimed(plugged.id()));
    EXPECT_EQ(device->connects(), 1);  // on the bus all the same
}

TEST_F(UsbStackTest, OnlyTheVendorSpecificInterfaceOfACompositeDeviceIsOffered) {
    RegisterTestDriver();
    auto hid = ReportInterface(0x03, 0x01, 0x02);
    auto vendor = ReportInterface(0xFF, 0x00, 0x00);
    vendor.descriptor.bInterfaceNumber = 1;
    vendor.endpoints = {Endpoint(0x03, 0x02, 64), Endpoint(0x84, 0x03, 8)};
    ScopedUsbDevice plugged(std::make_shared<TestDevice>(std::vector{hid, vendor}));

    const auto attaches = Attaches();
    ASSERT_EQ(attaches.size(), 1u);
    EXPECT_EQ(attaches[0].interfaceDescriptor.bInterfaceNumber, 1);
    EXPECT_EQ(attaches[0].interface->lpEndpoints[1].Descriptor.bEndpointAddress, 0x84);
}

TEST_F(UsbStackTest, MoreSpecificRegistrationIsOfferedFirst) {
    RegisterTestDriver(VendorSpecificSettings(), L"Generic");
    USB_DRIVER_SETTINGS exact = VendorSpecificSettings();
    exact.dwVendorId = 0x1111;
    exact.dwProductId = 0x2222;
    RegisterTestDriver(exact, L"Exact");
    ScopedUsbDevice plugged(std::make_shared<TestDevice>());

    const auto attaches = Attaches();
    ASSERT_EQ(attaches.size(), 1u);  // the first one accepted
    EXPECT_EQ(attaches[0].driverId, L"Exact");
    EXPECT_EQ(attaches[0].settings.dwProductId, 0x2222u);
}

TEST_F(UsbStackTest, RegistrationForAnotherVendorIsNotOffered) {
    USB_DRIVER_SETTINGS other = VendorSpecificSettings();
    other.dwVendorId = 0x7E21;
    RegisterTestDriver(other, L"Other");
    ScopedUsbDevice plugged(std::make_shared<TestDevice>());

    EXPECT_TRUE(Attaches().empty());
}

TEST_F(UsbStackTest, DeviceDriverIsOfferedTheWholeDeviceBeforeItsInterfaces) {
    USB_DRIVER_SETTINGS whole = VendorSpecificSettings();
    whole.dwVendorId = 0x1111;
    whole.dwInterfaceClass = whole.dwInterfaceSubClass = whole.dwInterfaceProtocol = USB_NO_INFO;
    RegisterTestDriver(whole, L"WholeDevice");
    RegisterTestDriver(VendorSpecificSettings(), L"PerInterface");

    {
        ScopedUsbDevice declined(std::make_shared<TestDevice>());
        const auto attaches = Attaches();
        ASSERT_EQ(attaches.size(), 2u);
        EXPECT_EQ(attaches[0].driverId, L"WholeDevice");
        EXPECT_EQ(attaches[0].interface, nullptr);
        EXPECT_FALSE(attaches[0].accepted);
        EXPECT_EQ(attaches[1].driverId, L"PerInterface");
        EXPECT_TRUE(attaches[1].accepted);
    }

    DriverRecord().Reset();
    {
        std::lock_guard lock(DriverRecord().mutex);
        DriverRecord().acceptDevices = true;
    }
    ScopedUsbDevice taken(std::make_shared<TestDevice>());
    const auto attaches = Attaches();
    ASSERT_EQ(attaches.size(), 1u);
    EXPECT_EQ(attaches[0].interface, nullptr);
    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(taken.id()));
}

TEST_F(UsbStackTest, DriverLibraryIsLoadedOnceAndItsDllMainCalledOnce) {
    RegisterTestDriver();
    ScopedUsbDevice first(std::make_shared<TestDevice>());
    ScopedUsbDevice second(std::make_shared<TestDevice>());

    EXPECT_EQ(Attaches().size(), 2u);
    std::lock_guard lock(DriverRecord().mutex);
    EXPECT_EQ(DriverRecord().dllMainAttaches, 1);
}

TEST_F(UsbStackTest, RelativeLibraryNameIsFoundOnTheDriverSearchPath) {
    const std::filesystem::path driver(kDriverPath);
    const std::string exeFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string before = ce::host::DriverSearchPath();
    EXPECT_EQ(before, exeFolder);  // nobody set it: the program's folder

    ce::host::SetDriverSearchPath(driver.parent_path().string());
    const std::string name = driver.filename().string();
    RegisterTestDriver(VendorSpecificSettings(), kDriverId, std::wstring(name.begin(), name.end()));
    ScopedUsbDevice plugged(std::make_shared<TestDevice>());
    ce::host::SetDriverSearchPath(before);

    EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(plugged.id()));
}

TEST_F(UsbStackTest, LibraryThatDoesNotLoadIsReportedAndSkipped) {
    ce::host::DebugCapture capture;
    RegisterTestDriver(VendorSpecificSettings(), L"Missing", L"/nonexistent/libmissing.so");
    RegisterTestDriver(VendorSpecificSettings(), L"Present");
    ScopedUsbDevice plugged(std::make_shared<TestDevice>());

    EXPECT_TRUE(capture.Contains("cannot load client driver /nonexistent/libmissing.so"));
    ASSERT_EQ(Attaches().size(), 1u);
    EXPECT_EQ(Attaches()[0].driverId, L"Present");
}

TEST_F(UsbStackTest, DeviceWithoutADriverComesAndGoesQuietly) {
    const auto device = std::make_shared<TestDevice>();
    const ce::host::UsbDeviceId id = ce::host::PlugUsbDevice(device);

    EXPECT_NE(id, ce::host::kNoUsbDevice);
    EXPECT_EQ(ce::host::PluggedUsbDevices(), std::vector{id});
    EXPECT_FALSE(ce::host::IsUsbDeviceClaimed(id));
    EXPECT_TRUE(ce::host::UnplugUsbDevice(id));
    EXPECT_FALSE(ce::host::UnplugUsbDevice(id));
    EXPECT_TRUE(ce::host::PluggedUsbDevices().empty());
    EXPECT_EQ(device->disconnects(), 1);
    EXPECT_EQ(ce::host::PlugUsbDevice(nullptr), ce::host::kNoUsbDevice);
}

TEST_F(AttachedDeviceTest, DeviceInfoDescribesTheModel) {
    const LPCUSB_DEVICE info = funcs_->lpGetDeviceInfo(attach_.device);
    ASSERT_NE(info, nullptr);

    EXPECT_EQ(info->Descriptor.idVendor, 0x1111);
    EXPECT_EQ(info->Descriptor.idProduct, 0x2222);
    EXPECT_EQ(info->Descriptor.bcdDevice, 0x0105);
    const LPCUSB_CONFIGURATION config = info->lpActiveConfig;
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->dwNumInterfaces, 1u);
    EXPECT_EQ(config->Descriptor.wTotalLength, 9 + 9 + 2 * 7);
    EXPECT_EQ(attach_.interface, &config->lpInterfaces[0]);
    EXPECT_EQ(attach_.interface->Descriptor.bNumEndpoints, 2);
    const USB_ENDPOINT_DESCRIPTOR& in = attach_.interface->lpEndpoints[1].Descriptor;
    EXPECT_EQ(in.bEndpointAddress, kInEndpoint);
    EXPECT_EQ(in.bmAttributes, 0x03);
    EXPECT_EQ(in.wMaxPacketSize, kReportSize);
    EXPECT_EQ(attach_.interface->lpEndpoints[0].Descriptor.bEndpointAddress, kOutEndpoint);
}

}  // namespace
}  // namespace usbtest
