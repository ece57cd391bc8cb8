// The stack's test fixture: the test driver registered for vendor-specific interfaces, and a
// simulated controller plugged and attached with its report pipe open.
#pragma once

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
#include "support/test_driver.h"

namespace usbtest {

inline constexpr BYTE kInEndpoint = ots::sim::CoordinateController::kInEndpoint;
inline constexpr WORD kReportSize = 8;
using ots::test::TestDriver;
inline const std::wstring kDriverPathW(ots::test::kTestDriverPath.begin(),
                                       ots::test::kTestDriverPath.end());

// A vendor-specific (or, with class USB_NO_INFO, whole-device) registration.
inline USB_DRIVER_SETTINGS Settings(DWORD vendor = USB_NO_INFO, DWORD cls = 0xFF) {
    const DWORD any = USB_NO_INFO;
    return {sizeof(USB_DRIVER_SETTINGS), vendor, any, any, any, any, any, cls, cls, cls};
}

// A completion routine that writes "completed <parameter>" into the test driver's transcript.
inline DWORD LogCompletion(LPVOID parameter) {
    TestDriver().Log("completed " + std::to_string(reinterpret_cast<std::intptr_t>(parameter)),
                     true);
    return 0;
}

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
// (the second endpoint) open.
class AttachedDeviceTest : public UsbStackTest {
  protected:
    void SetUp() override {
        UsbStackTest::SetUp();
        RegisterTestDriver();
        plugged_.emplace(tap_);
        funcs_ = TestDriver().funcs;
        device_ = TestDriver().device;
        interface_ = TestDriver().interface;
        ASSERT_EQ(TestDriver().Trace(), "UsbTest_Class 0 taken vendor=0xffffffff\n");
        TestDriver().Reset();  // the transcript of a case starts after the attach
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
    ce::host::UsbPort* port() { return tap_->port(); }
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

    std::shared_ptr<ots::sim::CoordinateController> panel_ =
        std::make_shared<ots::sim::CoordinateController>();
    std::shared_ptr<ots::test::BusTap> tap_ = std::make_shared<ots::test::BusTap>(panel_);
    std::optional<ce::host::ScopedUsbDevice> plugged_;
    USB_HANDLE device_ = nullptr;
    LPCUSB_INTERFACE interface_ = nullptr;
    LPCUSB_FUNCS funcs_ = nullptr;
    USB_PIPE pipe_ = nullptr;
};

}  // namespace usbtest
