// The stack's test fixture: a small device model, the test client driver registered for
// vendor-specific interfaces, and helpers to plug a device and reach its report pipe.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/host/usb_host.h"
#include "usb/test_driver_api.h"

namespace usbtest {

inline constexpr BYTE kInEndpoint = 0x81;
inline constexpr BYTE kOutEndpoint = 0x02;
inline constexpr WORD kReportSize = 8;
inline constexpr BYTE kVendorOut = 0x40;
inline constexpr BYTE kVendorIn = 0xC0;
inline constexpr BYTE kStoreRequest = 1;  // OUT: keep the data; IN: give it back
inline const std::string kDriverPath = USB_TEST_DRIVER_PATH;
inline const std::wstring kDriverPathW(kDriverPath.begin(), kDriverPath.end());

inline USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD size) {
    return USB_ENDPOINT_DESCRIPTOR{7, 5, address, attributes, size, 10};
}

// An OUT bulk endpoint first, then the interrupt IN report endpoint.
inline ce::host::UsbInterfaceModel ReportInterface(BYTE cls = 0xFF, BYTE subClass = 0x01,
                                                   BYTE protocol = 0x02, BYTE number = 0) {
    return {{9, 4, number, 0, 0, cls, subClass, protocol, 0},
            {Endpoint(kOutEndpoint, 0x02, 64), Endpoint(kInEndpoint, 0x03, kReportSize)}};
}

// A vendor-specific (or, with class USB_NO_INFO, whole-device) registration.
inline USB_DRIVER_SETTINGS Settings(DWORD vendor = USB_NO_INFO, DWORD cls = 0xFF) {
    const DWORD any = USB_NO_INFO;
    return {sizeof(USB_DRIVER_SETTINGS), vendor, any, any, any, any, any, cls, cls, cls};
}

// Descriptors as given, a vendor request that stores what it is sent and one that hands it
// back, and a STALL for everything else.
class TestDevice final : public ce::host::UsbDeviceModel {
  public:
    explicit TestDevice(std::vector<ce::host::UsbInterfaceModel> interfaces = {ReportInterface()})
        : interfaces_(std::move(interfaces)) {}
    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override {
        return {18, 1, 0x0200, 0, 0, 0, 8, 0x1111, 0x2222, 0x0105, 0, 0, 0, 1};
    }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override { return interfaces_; }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup,
                                    std::span<BYTE> data) override {
        std::lock_guard lock(mutex_);
        ++controls;
        if (setup.bRequest != kStoreRequest) {
            return {USB_STALL_ERROR, 0};
        }
        if (setup.bmRequestType == kVendorOut) {
            stored_.assign(data.begin(), data.end());
        }
        const std::size_t n = std::min(stored_.size(), data.size());
        std::copy_n(stored_.begin(), n, data.begin());
        return {USB_NO_ERROR, static_cast<DWORD>(n)};
    }
    ce::host::ControlResult DataOut(BYTE, std::span<const BYTE> data) override {
        std::lock_guard lock(mutex_);
        outData.emplace_back(data.begin(), data.end());
        return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
    }
    void Connected(ce::host::UsbPort* port) override { port_ = port; }
    void Disconnected() override {
        port_ = nullptr;
        ++disconnects;
    }
    ce::host::UsbPort* port() { return port_; }
    std::atomic<int> controls{0};
    std::atomic<int> disconnects{0};
    std::vector<std::vector<BYTE>> outData;

  private:
    std::vector<ce::host::UsbInterfaceModel> interfaces_;
    std::mutex mutex_;
    std::atomic<ce::host::UsbPort*> port_{nullptr};
    std::vector<BYTE> stored_;
};

// The test driver's record, reached the way the stack reaches the driver: by loading it.
inline TestDriverRecord& DriverRecord() {
    static TestDriverRecord* record = [] {
        void* library = dlopen(kDriverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        return reinterpret_cast<TestDriverRecord* (*)()>(dlsym(library, kTestDriverRecordSymbol))();
    }();
    return *record;
}

// Completion routines record here: the routine's parameter, in the order they ran, and the
// thread they ran on.
struct CompletionLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
};
inline CompletionLog gCompletions;

inline DWORD LogCompletion(LPVOID parameter) {
    std::lock_guard lock(gCompletions.mutex);
    gCompletions.order.push_back(static_cast<int>(reinterpret_cast<std::intptr_t>(parameter)));
    gCompletions.threads.push_back(std::this_thread::get_id());
    gCompletions.changed.notify_all();
    return 0;
}

// The order of the completions once `count` have run (or after 5 s, whatever ran by then).
inline std::vector<int> Completions(std::size_t count) {
    std::unique_lock lock(gCompletions.mutex);
    gCompletions.changed.wait_for(lock, std::chrono::seconds(5),
                                  [&] { return gCompletions.order.size() >= count; });
    return gCompletions.order;
}

class UsbStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::ResetRegistry();
        DriverRecord().Reset();
        std::lock_guard lock(gCompletions.mutex);
        gCompletions.order.clear();
        gCompletions.threads.clear();
    }
    void TearDown() override { SetUp(); }
    static void RegisterTestDriver(const USB_DRIVER_SETTINGS& settings = Settings(),
                                   const wchar_t* id = L"UsbTest_Class",
                                   const std::wstring& dll = kDriverPathW) {
        ASSERT_TRUE(RegisterClientDriverID(id));
        ASSERT_TRUE(RegisterClientSettings(dll.c_str(), id, nullptr, &settings));
    }
    static std::vector<AttachCall> Attaches() {
        std::lock_guard lock(DriverRecord().mutex);
        return DriverRecord().attaches;
    }
};

// A test device plugged in and attached to the test driver, with its report pipe open.
class AttachedDeviceTest : public UsbStackTest {
  protected:
    void SetUp() override {
        UsbStackTest::SetUp();
        RegisterTestDriver();
        device_ = std::make_shared<TestDevice>();
        plugged_.emplace(device_);
        ASSERT_EQ(Attaches().size(), 1u);
        attach_ = Attaches()[0];
        funcs_ = attach_.funcs;
        pipe_ = funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[1].Descriptor);
        ASSERT_NE(pipe_, nullptr);
    }
    void TearDown() override {
        plugged_.reset();
        if (funcs_ != nullptr) {
            funcs_->lpClosePipe(pipe_);
        }
        UsbStackTest::TearDown();
    }
    // An IN transfer of one report; with log >= 0 its completion routine logs that number.
    USB_TRANSFER IssueIn(BYTE* buffer, int log = -1,
                         DWORD flags = USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK) {
        return funcs_->lpIssueInterruptTransfer(pipe_, log >= 0 ? &LogCompletion : nullptr,
                                                reinterpret_cast<LPVOID>(std::intptr_t{log}), flags,
                                                kReportSize, buffer, 0);
    }
    USB_TRANSFER Vendor(BYTE requestType, BYTE* data, WORD length, int log = -1,
                        BYTE request = kStoreRequest) {
        const USB_DEVICE_REQUEST setup{requestType, request, 0, 0, length};
        const DWORD flags = (requestType & 0x80) != 0 ? USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK : 0;
        return funcs_->lpIssueVendorTransfer(attach_.device, log >= 0 ? &LogCompletion : nullptr,
                                             reinterpret_cast<LPVOID>(std::intptr_t{log}), flags,
                                             &setup, data, 0);
    }
    // The error and byte count of a transfer, which is then closed.
    std::pair<DWORD, DWORD> Finish(USB_TRANSFER transfer) {
        DWORD bytes = 0xDEAD;
        DWORD error = 0xDEAD;
        EXPECT_TRUE(funcs_->lpGetTransferStatus(transfer, &bytes, &error));
        funcs_->lpCloseTransfer(transfer);
        return {error, bytes};
    }
    DWORD Error(USB_TRANSFER transfer) { return Finish(transfer).first; }
    bool Send(std::vector<BYTE> report) {
        return device_->port()->SendInterrupt(kInEndpoint, report);
    }

    std::shared_ptr<TestDevice> device_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
    AttachCall attach_;
    LPCUSB_FUNCS funcs_ = nullptr;
    USB_PIPE pipe_ = nullptr;
};

}  // namespace usbtest
