// The USB stack as a client driver sees it: which drivers a device is offered to and what they
// are handed, the keys the USBD registration calls write, checked handles, interrupt transfers
// completed by the device's reports, vendor transfers on the default pipe, and unplugging.
// The client is the test driver; the device a simulated controller or a bare descriptor model.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ce/host/debug_sink.h"
#include "ce/host/registry_store.h"
#include "ce/host/usb_host.h"
#include "ce/kernel.h"
#include "support/bus.h"
#include "support/fake_usb.h"
#include "support/golden.h"
#include "support/registry_probe.h"
#include "support/test_driver.h"

namespace {

using ce::host::ScopedUsbDevice;
using ce::host::UsbInterfaceModel;
using ots::test::TestDriver;
constexpr BYTE kInEndpoint = ots::sim::CoordinateController::kInEndpoint;
constexpr WORD kReportSize = 8;
using Buffer = std::array<BYTE, kReportSize>;
using Result = std::pair<DWORD, DWORD>;  // USB error, bytes
const std::wstring kDriverPathW(ots::test::kTestDriverPath.begin(),
                                ots::test::kTestDriverPath.end());

// A vendor-specific (or, with class USB_NO_INFO, whole-device) registration.
USB_DRIVER_SETTINGS Settings(DWORD vendor = USB_NO_INFO, DWORD cls = 0xFF) {
    const DWORD any = USB_NO_INFO;
    return {sizeof(USB_DRIVER_SETTINGS), vendor, any, any, any, any, any, cls, cls, cls};
}

// A completion routine that writes "completed <parameter>" into the test driver's transcript.
DWORD LogCompletion(LPVOID parameter) {
    TestDriver().Log("completed " + std::to_string(reinterpret_cast<std::intptr_t>(parameter)),
                     true);
    return 0;
}

// A device of the given interfaces (vendor 0x1111) that stalls every request and keeps the
// last data its OUT endpoints and its requests' OUT stages got.
class Descriptors final : public ce::host::UsbDeviceModel {
  public:
    explicit Descriptors(std::vector<UsbInterfaceModel> interfaces) : interfaces_(interfaces) {}
    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override {
        return {18, 1, 0x0200, 0, 0, 0, 8, 0x1111, 0x2222, 0x0105, 0, 0, 0, 1};
    }
    std::vector<UsbInterfaceModel> Interfaces() const override { return interfaces_; }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST&, std::span<BYTE> data) override {
        received.assign(data.begin(), data.end());
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

class UsbStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::ResetRegistry();
        TestDriver().Reset();
    }
    void TearDown() override { SetUp(); }
    static void RegisterTestDriver(const USB_DRIVER_SETTINGS& settings = Settings(),
                                   const wchar_t* id = L"UsbTest_Class",
                                   const std::wstring& dll = kDriverPathW) {
        ASSERT_TRUE(RegisterClientDriverID(id));
        ASSERT_TRUE(RegisterClientSettings(dll.c_str(), id, nullptr, &settings));
    }
};

// A simulated controller plugged in and attached to the test driver, with its report pipe
// (the second endpoint) open; the transcript of a case starts after the attach.
class AttachedDeviceTest : public UsbStackTest {
  protected:
    void SetUp() override {
        UsbStackTest::SetUp();
        RegisterTestDriver();
        plugged_.emplace();
        funcs_ = TestDriver().funcs;
        device_ = TestDriver().device;
        interface_ = TestDriver().interface;
        TestDriver().Reset();
        pipe_ = funcs_->lpOpenPipe(device_, Endpoint(1));
        ASSERT_NE(pipe_, nullptr);
    }
    void TearDown() override {
        plugged_.reset();
        if (funcs_ != nullptr) {
            funcs_->lpClosePipe(pipe_);
        }
        UsbStackTest::TearDown();
    }
    LPCUSB_ENDPOINT_DESCRIPTOR Endpoint(int i) { return &interface_->lpEndpoints[i].Descriptor; }
    ce::host::UsbPort* port() { return plugged_->port(); }
    // An IN transfer of one report; with log >= 0 its completion routine logs that number.
    USB_TRANSFER IssueIn(BYTE* buffer, int log = -1,
                         DWORD flags = USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK) {
        return funcs_->lpIssueInterruptTransfer(pipe_, log >= 0 ? &LogCompletion : nullptr,
                                                reinterpret_cast<LPVOID>(std::intptr_t{log}), flags,
                                                kReportSize, buffer, 0);
    }
    // A request on the default pipe; with log >= 0 it runs asynchronously.
    USB_TRANSFER Control(USB_DEVICE_REQUEST setup, BYTE* data, int log = -1) {
        const DWORD flags = (setup.bmRequestType & 0x80) != 0 ? USB_IN_TRANSFER : 0;
        return funcs_->lpIssueVendorTransfer(device_, log >= 0 ? &LogCompletion : nullptr,
                                             reinterpret_cast<LPVOID>(std::intptr_t{log}),
                                             flags | USB_SHORT_TRANSFER_OK, &setup, data, 0);
    }
    // The error and byte count of a transfer, which is then closed.
    Result Finish(USB_TRANSFER transfer) {
        DWORD bytes = 0xDEAD;
        DWORD error = 0xDEAD;
        EXPECT_TRUE(funcs_->lpGetTransferStatus(transfer, &bytes, &error));
        funcs_->lpCloseTransfer(transfer);
        return {error, bytes};
    }
    DWORD Error(USB_TRANSFER transfer) { return Finish(transfer).first; }
    bool Send(std::vector<BYTE> report) { return port()->SendInterrupt(kInEndpoint, report); }

    std::optional<ots::test::PluggedController> plugged_;
    USB_HANDLE device_ = nullptr;
    LPCUSB_INTERFACE interface_ = nullptr;
    LPCUSB_FUNCS funcs_ = nullptr;
    USB_PIPE pipe_ = nullptr;
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

// What a client hands over reaches the device: an OUT pipe's bytes, a request's OUT stage.
TEST_F(UsbStackTest, TheDeviceGetsTheClientsBytes) {
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
    const USB_DEVICE_REQUEST setup{0x40, 1, 0, 0, 2};
    BYTE sent[] = {9, 8};
    funcs->lpCloseTransfer(
        funcs->lpIssueVendorTransfer(TestDriver().device, nullptr, nullptr, 0, &setup, sent, 0));
    EXPECT_EQ(device->received, (std::vector<BYTE>{9, 8}));
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
    EXPECT_EQ(ce::host::PlugUsbDevice(nullptr), ce::host::kNoUsbDevice);
}

// The keys the registrations leave, then what unregistering leaves, as one export. After a
// deliberate change: OTS_REGOLDEN=1 build/default/bin/test_usb --gtest_filter='*Registration*'
TEST_F(UsbStackTest, RegistrationKeysNameTheFieldsUpToTheFirstUnnamedOne) {
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
    std::string keys = ce::host::ExportRegText(L"Drivers\\USB");
    // What others stored in a driver's key stays; an emptied group key goes too.
    ots::test::WriteString(L"Drivers\\USB\\ClientDrivers\\First\\Stored", L"DLL", L"x");
    const auto settings = Settings();
    EXPECT_TRUE(UnRegisterClientSettings(L"First", nullptr, &settings));
    EXPECT_TRUE(UnRegisterClientDriverID(L"First"));
    EXPECT_TRUE(UnRegisterClientSettings(L"Second", nullptr, &settings));
    const std::string unregistered = ce::host::ExportRegText(L"Drivers\\USB");
    ots::test::ExpectGolden(keys + unregistered, OTS_GOLDEN_DIR "registration_keys.reg");
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
    EXPECT_EQ(ce::host::ExportRegText(L"Drivers\\USB"), unregistered) << "refused: nothing written";
}

TEST_F(AttachedDeviceTest, DeviceInfoDescribesTheModelAndStaleHandlesAreRefused) {
    const LPCUSB_DEVICE info = funcs_->lpGetDeviceInfo(device_);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Descriptor.idVendor, plugged_->panel().Options().idVendor);
    EXPECT_EQ(info->Descriptor.bcdDevice, plugged_->panel().Options().bcdDevice);
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

// Transfers on the report pipe and the default pipe.
TEST_F(AttachedDeviceTest, ReportsCompleteQueuedTransfersInOrderWithTheirTrueLength) {
    Buffer buffers[4];
    for (Buffer& b : buffers) {
        b.fill(0xEE);
    }
    const USB_TRANSFER transfers[3] = {IssueIn(buffers[0].data(), 0), IssueIn(buffers[1].data(), 1),
                                       IssueIn(buffers[2].data(), 2)};
    EXPECT_FALSE(funcs_->lpIsTransferComplete(transfers[0])) << "queued while no report is there";
    EXPECT_EQ(port()->QueuedTransfers(kInEndpoint), 3u);
    ASSERT_TRUE(Send({0xA0, 1, 2}));
    ASSERT_TRUE(Send({0xA1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    ASSERT_TRUE(Send({0xA2, 1, 2, 3, 4, 5}));
    // In order, and never inside the call that completed them.
    EXPECT_EQ(TestDriver().Trace(3), "completed 0\ncompleted 1\ncompleted 2\n");
    const DWORD lengths[3] = {3, kReportSize, 6};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Finish(transfers[i]), Result(USB_NO_ERROR, lengths[i]));
        EXPECT_EQ(buffers[i][0], 0xA0 + i);
    }
    EXPECT_EQ(buffers[0][3], 0xEE) << "nothing written past the report";

    ASSERT_TRUE(Send({1, 2}));  // a report sent before a transfer waits for one
    ASSERT_TRUE(Send({3, 4}));
    EXPECT_EQ(port()->PendingReports(kInEndpoint), 2u);
    const USB_TRANSFER strict = IssueIn(buffers[3].data(), -1, USB_IN_TRANSFER);
    EXPECT_EQ(Finish(strict), Result(USB_DATA_UNDERRUN_ERROR, 2))
        << "short without USB_SHORT_TRANSFER_OK";
    EXPECT_EQ(buffers[3][0], 1) << "the oldest report first";
}

TEST_F(AttachedDeviceTest, StallHaltsThePipeUntilItIsReset) {
    Buffer buffers[2] = {};
    const USB_TRANSFER stalled = IssueIn(buffers[0].data(), 0);
    const USB_TRANSFER waiting = IssueIn(buffers[1].data(), 1);
    port()->Stall(kInEndpoint);
    EXPECT_EQ(TestDriver().Trace(1), "completed 0\n");
    BOOL halted = FALSE;
    ASSERT_TRUE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_TRUE(halted);
    ASSERT_TRUE(Send({9}));  // a halted pipe takes nothing
    EXPECT_FALSE(funcs_->lpIsTransferComplete(waiting));
    ASSERT_TRUE(funcs_->lpResetPipe(pipe_));
    EXPECT_EQ(TestDriver().Trace(2), "completed 0\ncompleted 1\n");
    EXPECT_EQ(Error(stalled), USB_STALL_ERROR);
    EXPECT_EQ(Error(waiting), USB_NO_ERROR);
    EXPECT_EQ(buffers[1][0], 9);
    port()->Stall(kInEndpoint);  // with nothing queued: meets the next transfer
    EXPECT_EQ(Error(IssueIn(buffers[0].data())), USB_STALL_ERROR);
}

TEST_F(AttachedDeviceTest, AbortAndCloseCancelTransfersBeforeReturning) {
    Buffer buffers[4] = {};
    auto freed = std::make_unique<BYTE[]>(kReportSize);
    const USB_TRANSFER closed = IssueIn(freed.get(), 0);
    ASSERT_TRUE(funcs_->lpCloseTransfer(closed));
    freed.reset();  // the client may free its buffer now
    const USB_TRANSFER aborted = IssueIn(buffers[1].data(), 1);
    const USB_TRANSFER kept = IssueIn(buffers[2].data(), 2);
    ASSERT_TRUE(funcs_->lpAbortTransfer(aborted, 0));
    ASSERT_TRUE(Send({3}));
    EXPECT_EQ(TestDriver().Trace(2), "completed 1\ncompleted 2\n")
        << "the closed one's routine never ran";
    EXPECT_EQ(Error(aborted), USB_CANCELED_ERROR);
    EXPECT_EQ(Error(kept), USB_NO_ERROR);
    EXPECT_EQ(buffers[2][0], 3);
    EXPECT_FALSE(funcs_->lpGetTransferStatus(closed, nullptr, nullptr));

    const USB_TRANSFER queued = IssueIn(buffers[3].data(), 3);
    ASSERT_TRUE(funcs_->lpAbortPipeTransfers(pipe_, 0));
    EXPECT_EQ(TestDriver().Trace(), "completed 1\ncompleted 2\ncompleted 3\n")
        << "every routine ran already";
    EXPECT_EQ(Error(queued), USB_CANCELED_ERROR);
}

TEST_F(AttachedDeviceTest, PipesTakeTheirEndpointsDirectionAndOpenOncePerEndpoint) {
    BYTE data[] = {1, 2, 3};
    EXPECT_EQ(funcs_->lpIssueInterruptTransfer(pipe_, nullptr, nullptr, USB_OUT_TRANSFER,
                                               sizeof(data), data, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(funcs_->lpClosePipe(pipe_));
    // A real stack would have freed the pipe: every such call is an error and a debug line.
    const ce::host::DebugCapture debug;
    EXPECT_EQ(IssueIn(data), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    BOOL halted = FALSE;
    EXPECT_FALSE(funcs_->lpIsPipeHalted(pipe_, &halted));
    EXPECT_FALSE(funcs_->lpResetPipe(pipe_));
    EXPECT_FALSE(funcs_->lpClosePipe(pipe_));
    EXPECT_EQ(debug.Lines().size(), 4u);
    EXPECT_TRUE(debug.Contains("IssueInterruptTransfer on closed pipe"));
    EXPECT_FALSE(port()->IsPipeOpen(kInEndpoint));
    pipe_ = funcs_->lpOpenPipe(device_, Endpoint(1));
    ASSERT_NE(pipe_, nullptr);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, Endpoint(1)), nullptr);
}

// Requests on the default pipe, answered by the controller from its descriptors.
TEST_F(AttachedDeviceTest, VendorTransfersRunSynchronouslyOrOnAStackThread) {
    constexpr USB_DEVICE_REQUEST kGetDevice{0x80, 6, 0x0100, 0, 64};  // GET_DESCRIPTOR
    BYTE received[64] = {};
    EXPECT_EQ(Finish(Control(kGetDevice, received)), Result(USB_NO_ERROR, 18));
    EXPECT_EQ(std::vector<BYTE>(received, received + 10),
              (std::vector<BYTE>{18, 1, 0x10, 0x01, 0, 0, 0, 8, 0x17, 0x5A}));
    const USB_TRANSFER async = Control({0x80, 6, 0x0100, 0, 8}, received, 0);
    EXPECT_EQ(TestDriver().Trace(1), "completed 0\n");
    EXPECT_EQ(Finish(async), Result(USB_NO_ERROR, 8));
    EXPECT_EQ(Finish(Control({0xC0, 0x55, 0, 0, 8}, received)), Result(USB_STALL_ERROR, 0));
    EXPECT_EQ(Error(Control({0x00, 9, 1, 0, 0}, nullptr)), USB_NO_ERROR);  // SET_CONFIGURATION
    EXPECT_EQ(Control({0x40, 1, 0, 0, 4}, nullptr), nullptr);
    EXPECT_EQ(funcs_->lpIssueVendorTransfer(device_, nullptr, nullptr, 0, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const std::size_t requests = plugged_->panel().ControlRequests().size();
    port()->SetResponding(false);
    Buffer buffer{};
    const USB_TRANSFER queued = IssueIn(buffer.data());
    EXPECT_EQ(Error(Control(kGetDevice, received)), USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(plugged_->panel().ControlRequests().size(), requests)
        << "the request never reached the device";
    EXPECT_EQ(Error(queued), USB_DEVICE_NOT_RESPONDING_ERROR);
    port()->SetResponding(true);
    const USB_TRANSFER again = IssueIn(buffer.data());
    ASSERT_TRUE(Send({4}));
    EXPECT_EQ(Error(again), USB_NO_ERROR);
}

TEST_F(AttachedDeviceTest, UnplugNotifiesOnceCancelsTheQueueAndTheGoneDeviceAnswers5) {
    Buffer buffers[2] = {};
    const USB_TRANSFER done = IssueIn(buffers[0].data(), 0);
    ASSERT_TRUE(Send({1, 2}));
    ASSERT_EQ(TestDriver().Trace(1), "completed 0\n");
    const USB_TRANSFER queued = IssueIn(buffers[1].data(), 1);
    ce::host::UsbPort* bus = port();
    bool acceptedDuringNotify = true;
    TestDriver().onClose = [&] {
        acceptedDuringNotify = bus->SendInterrupt(kInEndpoint, std::vector<BYTE>{1});
    };
    const ce::host::UsbDeviceId id = plugged_->id();
    plugged_->Unplug();
    // The queue is cancelled after the driver was told.
    EXPECT_EQ(TestDriver().Trace(3), "completed 0\nnotify 0x1\ncompleted 1\n");
    EXPECT_FALSE(acceptedDuringNotify) << "the port refuses reports once the device is gone";
    EXPECT_EQ(Error(done), USB_NO_ERROR);
    EXPECT_EQ(Error(queued), USB_CANCELED_ERROR);
    EXPECT_FALSE(plugged_->panel().IsConnected());
    EXPECT_FALSE(ce::host::UnplugUsbDevice(id));
    const USB_TRANSFER afterwards = IssueIn(buffers[0].data());
    ASSERT_NE(afterwards, nullptr) << "the pipe is still open";
    EXPECT_EQ(Error(afterwards), USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(Error(Control({0x80, 6, 0x0100, 0, 8}, buffers[0].data())),
              USB_DEVICE_NOT_RESPONDING_ERROR);
    EXPECT_EQ(funcs_->lpOpenPipe(device_, Endpoint(0)), nullptr);
    ASSERT_TRUE(funcs_->lpClosePipe(pipe_));
    pipe_ = nullptr;
    // Once the driver has let go of everything, the device handle is refused too.
    EXPECT_EQ(funcs_->lpGetDeviceInfo(device_), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Idle: every report taken, completed transfers closed, the pipe queued as deep as ever.
// (No allocation per report on the reader thread is the integration suite's.)
TEST_F(AttachedDeviceTest, WaitIdleSeesTheQueueRefilledAndNotAReportLeftOver) {
    Buffer buffers[2] = {};
    const USB_TRANSFER ring[2] = {IssueIn(buffers[0].data()), IssueIn(buffers[1].data())};
    ASSERT_TRUE(port()->WaitIdle(5000));
    ASSERT_TRUE(Send({1}));
    ASSERT_TRUE(Send({2}));
    EXPECT_FALSE(port()->WaitIdle(20)) << "completed transfers not closed, none queued";
    for (USB_TRANSFER t : ring) {
        funcs_->lpCloseTransfer(t);
    }
}

}  // namespace
