// The stack's test fixture: the test client driver registered for vendor-specific interfaces,
// a simulated controller plugged and attached with its report pipe open, and a log of
// completion routines.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/host/usb_host.h"
#include "support/bus.h"
#include "usb/test_driver_api.h"

namespace usbtest {

inline constexpr BYTE kInEndpoint = ots::sim::CoordinateController::kInEndpoint;
inline constexpr WORD kReportSize = 8;
inline const std::string kDriverPath = USB_TEST_DRIVER_PATH;
inline const std::wstring kDriverPathW(kDriverPath.begin(), kDriverPath.end());

// A vendor-specific (or, with class USB_NO_INFO, whole-device) registration.
inline USB_DRIVER_SETTINGS Settings(DWORD vendor = USB_NO_INFO, DWORD cls = 0xFF) {
    const DWORD any = USB_NO_INFO;
    return {sizeof(USB_DRIVER_SETTINGS), vendor, any, any, any, any, any, cls, cls, cls};
}

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
};

// A simulated controller plugged in and attached to the test driver, with its report pipe
// (the second endpoint) open.
class AttachedDeviceTest : public UsbStackTest {
  protected:
    void SetUp() override {
        UsbStackTest::SetUp();
        RegisterTestDriver();
        plugged_.emplace();
        funcs_ = DriverRecord().funcs;
        device_ = DriverRecord().device;
        ASSERT_NE(funcs_, nullptr);
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
    LPCUSB_ENDPOINT_DESCRIPTOR Endpoint(int i) {
        return &DriverRecord().interface->lpEndpoints[i].Descriptor;
    }
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
    std::pair<DWORD, DWORD> Finish(USB_TRANSFER transfer) {
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
    LPCUSB_FUNCS funcs_ = nullptr;
    USB_PIPE pipe_ = nullptr;
};

}  // namespace usbtest
