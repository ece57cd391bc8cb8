// Plugging and client registration: which drivers a device is offered to, what they are
// handed, the keys the USBD registration calls write, and handles that are checked.
#include <algorithm>

#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "ce/registry.h"
#include "support/fake_usb.h"
#include "support/registry_probe.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

using ce::host::ScopedUsbDevice;
using ce::host::UsbInterfaceModel;

// A device of the given interfaces (vendor 0x1111) that stalls every request and keeps what
// its OUT endpoints get.
class Descriptors final : public ce::host::UsbDeviceModel {
  public:
    explicit Descriptors(std::vector<UsbInterfaceModel> interfaces) : interfaces_(interfaces) {}
    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override {
        return {18, 1, 0x0200, 0, 0, 0, 8, 0x1111, 0x2222, 0x0105, 0, 0, 0, 1};
    }
    std::vector<UsbInterfaceModel> Interfaces() const override { return interfaces_; }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST&, std::span<BYTE>) override {
        return {USB_STALL_ERROR, 0};
    }

    ce::host::ControlResult DataOut(BYTE, std::span<const BYTE> data) override {
        received.assign(data.begin(), data.end());
        return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
    }
    std::vector<BYTE> received;

  private:
    std::vector<UsbInterfaceModel> interfaces_;
};

TEST_F(UsbStackTest, ADeviceIsOfferedToTheMatchingDriversMostSpecificFirst) {
    const DWORD any = USB_NO_INFO;
    struct Registration {
        const wchar_t* id;
        DWORD vendor;  // USB_NO_INFO: any
        DWORD cls;     // interface class; USB_NO_INFO: a driver for the whole device
    };
    struct Case {
        const char* name;
        std::vector<Registration> registrations;
        std::vector<UsbInterfaceModel> interfaces;
        bool acceptDevices;
        std::string offers;  // the test driver's transcript
    };
    const auto If = [](BYTE cls, BYTE sub = 0, BYTE protocol = 0, BYTE n = 0) {
        return UsbInterfaceModel{{9, 4, n, 0, 0, cls, sub, protocol, 0},
                                 {ots::test::Endpoint(0x81, 0x03, 8)}};
    };
    const std::vector<UsbInterfaceModel> one = {If(0xFF)};
    const Registration anyVendor{L"Any", any, 0xFF}, whole{L"Whole", 0x1111, any};
    const std::string anyTakes = "Any 0 taken vendor=0xffffffff\n";
    // clang-format off
    const Case cases[] = {
        {"vendor-specific, any subclass and protocol", {anyVendor}, {If(0xFF, 7, 0x3C)}, false, anyTakes},
        {"other classes are not offered", {anyVendor}, {If(3, 0xFF, 0xFF), If(0xFE, 0xFF, 0xFF, 1)}, false, ""},
        {"the vendor-specific interface of a composite device", {anyVendor}, {If(3, 1, 2), If(0xFF, 0, 0, 1)}, false, "Any 1 taken vendor=0xffffffff\n"},
        {"the vendor's registration first", {{L"Generic", any, 0xFF}, {L"Exact", 0x1111, 0xFF}}, one, false, "Exact 0 taken vendor=0x1111\n"},
        {"another vendor's registration is not offered", {{L"Other", 0x7E21, 0xFF}}, one, false, ""},
        {"a declining device driver, then the interface", {whole, anyVendor}, one, false, "Whole device declined vendor=0x1111\n" + anyTakes},
        {"a device driver that takes it", {whole, anyVendor}, one, true, "Whole device taken vendor=0x1111\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (const Registration& r : c.registrations) {
            RegisterTestDriver(Settings(r.vendor, r.cls), r.id);
        }
        TestDriver().acceptDevices = c.acceptDevices;
        ScopedUsbDevice plugged(std::make_shared<Descriptors>(c.interfaces));
        EXPECT_EQ(TestDriver().Trace(), c.offers);
        EXPECT_EQ(ce::host::IsUsbDeviceClaimed(plugged.id()),
                  c.offers.find("taken") != std::string::npos);
        EXPECT_EQ(ce::host::PluggedUsbDevices(), std::vector{plugged.id()})
            << "on the bus all the same";
    }
}

TEST_F(UsbStackTest, AnOutPipeHandsTheDeviceTheClientsBytes) {
    RegisterTestDriver();
    const auto device = std::make_shared<Descriptors>(std::vector<UsbInterfaceModel>{
        {{9, 4, 0, 0, 0, 0xFF, 0, 0, 0}, {ots::test::Endpoint(0x02, 0x02, 64)}}});
    ScopedUsbDevice plugged(device);
    const LPCUSB_FUNCS funcs = TestDriver().funcs;
    const USB_PIPE out =
        funcs->lpOpenPipe(TestDriver().device, &TestDriver().interface->lpEndpoints[0].Descriptor);
    BYTE data[] = {1, 2, 3};
    funcs->lpCloseTransfer(
        funcs->lpIssueInterruptTransfer(out, nullptr, nullptr, USB_OUT_TRANSFER, 3, data, 0));
    EXPECT_EQ(device->received, (std::vector<BYTE>{1, 2, 3}));
    funcs->lpClosePipe(out);
}

// Resolving a relative library name through the search path is the integration suite's
// (it installs the driver as "libotsusb.so").
TEST_F(UsbStackTest, TheDriverLibraryIsLoadedOnceOrReportedAndSkipped) {
    ce::host::DebugCapture capture;
    RegisterTestDriver(Settings(), L"Missing", L"/nonexistent/libmissing.so");
    RegisterTestDriver(Settings(), L"Present");
    {
        ots::test::PluggedController first;
        ots::test::PluggedController second;
        EXPECT_TRUE(ce::host::IsUsbDeviceClaimed(second.id()));
    }
    EXPECT_TRUE(capture.Contains("cannot load client driver /nonexistent/libmissing.so"));
    EXPECT_EQ(TestDriver().Trace(),
              "Present 0 taken vendor=0xffffffff\nPresent 0 taken vendor=0xffffffff\n"
              "notify 0x1\nnotify 0x1\n");
    EXPECT_EQ(TestDriver().dllMainAttaches, 1);

    const auto device = std::make_shared<ots::sim::CoordinateController>();
    const ce::host::UsbDeviceId id = ce::host::PlugUsbDevice(device);
    EXPECT_EQ(ce::host::PluggedUsbDevices(), std::vector{id});
    EXPECT_TRUE(ce::host::UnplugUsbDevice(id));
    EXPECT_FALSE(ce::host::UnplugUsbDevice(id));
    EXPECT_FALSE(device->IsConnected());
    EXPECT_EQ(ce::host::PlugUsbDevice(nullptr), ce::host::kNoUsbDevice);
}

TEST_F(UsbStackTest, RegistrationKeysNameTheFieldsUpToTheFirstUnnamedOne) {
    const std::wstring root = L"Drivers\\USB\\LoadClients\\";
    const std::wstring defaults = root + L"Default\\Default\\255_255_255\\";
    USB_DRIVER_SETTINGS named = Settings(0x1234, 3);
    named.dwProductId = 0x5678;
    named.dwDeviceClass = 2;
    named.dwInterfaceSubClass = 1;
    named.dwInterfaceProtocol = USB_NO_INFO;
    USB_DRIVER_SETTINGS productOnly = Settings();
    productOnly.dwProductId = 0x0012;  // after an unnamed vendor: does not count
    RegisterTestDriver(named, L"Named", L"a.so");
    RegisterTestDriver(productOnly, L"First", L"b.so");
    RegisterTestDriver(Settings(), L"Second", L"c.so");
    EXPECT_EQ(ots::test::ReadString(root + L"4660_22136\\2\\3_1\\Named", L"DLL"), L"a.so");
    EXPECT_EQ(ots::test::ReadString(defaults + L"First", L"DLL"), L"b.so");

    // What others stored in a driver's key stays.
    ots::test::WriteString(L"Drivers\\USB\\ClientDrivers\\First\\Stored", L"DLL", L"x");
    const auto settings = Settings();
    EXPECT_TRUE(UnRegisterClientSettings(L"First", nullptr, &settings));
    EXPECT_TRUE(UnRegisterClientDriverID(L"First"));
    EXPECT_FALSE(ots::test::KeyExists(defaults + L"First"));
    EXPECT_EQ(ots::test::ReadString(defaults + L"Second", L"DLL"), L"c.so");
    EXPECT_TRUE(ots::test::KeyExists(L"Drivers\\USB\\ClientDrivers\\First\\Stored"));
    EXPECT_TRUE(UnRegisterClientSettings(L"Second", nullptr, &settings));
    EXPECT_FALSE(ots::test::KeyExists(root + L"Default")) << "an emptied group key goes too";
    EXPECT_FALSE(UnRegisterClientSettings(L"Never", nullptr, &settings));
    EXPECT_FALSE(UnRegisterClientDriverID(L"Never"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    USB_DRIVER_SETTINGS truncated = settings;
    truncated.dwCount = sizeof(USB_DRIVER_SETTINGS) - 1;
    EXPECT_FALSE(RegisterClientDriverID(nullptr));
    EXPECT_FALSE(RegisterClientDriverID(L""));
    EXPECT_FALSE(RegisterClientDriverID(L"a\\b"));
    EXPECT_FALSE(RegisterClientSettings(nullptr, L"Id", nullptr, &settings));
    EXPECT_FALSE(RegisterClientSettings(L"", L"Id", nullptr, &settings));
    EXPECT_FALSE(RegisterClientSettings(L"x.so", L"Id", nullptr, nullptr));
    EXPECT_FALSE(UnRegisterClientSettings(L"Id", nullptr, nullptr));
    EXPECT_FALSE(RegisterClientSettings(L"x.so", L"Id", nullptr, &truncated));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ots::test::KeyExists(defaults + L"Id"));
}

TEST_F(AttachedDeviceTest, DeviceInfoDescribesTheModelAndStaleHandlesAreRefused) {
    const LPCUSB_DEVICE info = funcs_->lpGetDeviceInfo(device_);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Descriptor.idVendor, panel_->Options().idVendor);
    EXPECT_EQ(info->Descriptor.bcdDevice, panel_->Options().bcdDevice);
    EXPECT_EQ(info->lpActiveConfig->Descriptor.wTotalLength, 9 + 9 + 2 * 7);
    EXPECT_EQ(interface_, &info->lpActiveConfig->lpInterfaces[0]);
    EXPECT_EQ(Endpoint(1)->bEndpointAddress, kInEndpoint);

    BYTE buffer[kReportSize] = {};
    const USB_TRANSFER closed = IssueIn(buffer);
    ASSERT_TRUE(funcs_->lpCloseTransfer(closed));
    const USB_TRANSFER reused = IssueIn(buffer);
    EXPECT_NE(reused, closed);
    const auto asTransfer = [](auto h) { return reinterpret_cast<USB_TRANSFER>(h); };
    DWORD bytes = 0;
    EXPECT_FALSE(funcs_->lpGetTransferStatus(asTransfer(pipe_), &bytes, &bytes));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(funcs_->lpIssueInterruptTransfer(reinterpret_cast<USB_PIPE>(device_), nullptr,
                                               nullptr, USB_IN_TRANSFER, kReportSize, buffer, 0),
              nullptr);
    EXPECT_EQ(funcs_->lpGetDeviceInfo(reinterpret_cast<USB_HANDLE>(reused)), nullptr);
    for (std::uintptr_t value :
         {std::uintptr_t{0}, std::uintptr_t{1}, std::uintptr_t{0x7FFF1234ABCD},
          reinterpret_cast<std::uintptr_t>(&buffer), reinterpret_cast<std::uintptr_t>(closed)}) {
        EXPECT_FALSE(funcs_->lpIsTransferComplete(asTransfer(value)));
        EXPECT_FALSE(funcs_->lpAbortTransfer(asTransfer(value), 0));
        EXPECT_FALSE(funcs_->lpCloseTransfer(asTransfer(value)));
        EXPECT_FALSE(funcs_->lpResetPipe(reinterpret_cast<USB_PIPE>(value)));
        EXPECT_FALSE(funcs_->lpAbortPipeTransfers(reinterpret_cast<USB_PIPE>(value), 0));
    }
    ASSERT_TRUE(Send({1}));
    EXPECT_EQ(Error(reused), USB_NO_ERROR) << "not aborted through the stale handle";
    const USB_ENDPOINT_DESCRIPTOR absent = ots::test::Endpoint(0x85, 0x03, 8);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, &absent), nullptr);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, nullptr), nullptr);
    EXPECT_EQ(IssueIn(nullptr), nullptr);
    EXPECT_FALSE(funcs_->lpIsPipeHalted(pipe_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace usbtest
