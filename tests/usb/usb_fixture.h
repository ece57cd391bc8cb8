// The stack's test fixture: a clean registry, the test client driver registered for
// vendor-specific interfaces, and helpers to plug a device and reach its report pipe.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

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
#include "usb/usb_test_device.h"

namespace usbtest {

inline const std::string kDriverPath = USB_TEST_DRIVER_PATH;
inline const std::wstring kDriverPathW(kDriverPath.begin(), kDriverPath.end());
inline constexpr wchar_t kDriverId[] = L"UsbTest_Class";

inline USB_DRIVER_SETTINGS VendorSpecificSettings() {
    return USB_DRIVER_SETTINGS{sizeof(USB_DRIVER_SETTINGS),
                               USB_NO_INFO,
                               USB_NO_INFO,
                               USB_NO_INFO,
                               USB_NO_INFO,
                               USB_NO_INFO,
                               USB_NO_INFO,
                               0xFF,
                               0xFF,
                               0xFF};
}

// The test driver's record, reached the way the stack reaches the driver: by loading it.
inline TestDriverRecord& DriverRecord() {
    static TestDriverRecord* record = [] {
        void* library = dlopen(kDriverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        auto fn = reinterpret_cast<TestDriverRecordFn>(dlsym(library, kTestDriverRecordSymbol));
        return fn();
    }();
    return *record;
}

// Completion routines record here: which transfer, in which order, on which thread.
class CompletionLog {
  public:
    struct Slot {
        CompletionLog* log;
        int index;
    };

    static DWORD Routine(LPVOID parameter) {
        auto* slot = static_cast<Slot*>(parameter);
        std::lock_guard lock(slot->log->mutex_);
        slot->log->order_.push_back(slot->index);
        slot->log->threads_.push_back(std::this_thread::get_id());
        slot->log->changed_.notify_all();
        return 0;
    }

    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return order_.size() >= count; });
    }
    std::vector<int> order() {
        std::lock_guard lock(mutex_);
        return order_;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> order_;
    std::vector<std::thread::id> threads_;
};

class UsbStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::ResetRegistry();
        DriverRecord().Reset();
    }
    void TearDown() override {
        DriverRecord().Reset();
        ce::host::ResetRegistry();
    }

    static void RegisterTestDriver(const USB_DRIVER_SETTINGS& settings = VendorSpecificSettings(),
                                   const wchar_t* id = kDriverId,
                                   const std::wstring& dll = kDriverPathW) {
        ASSERT_TRUE(RegisterClientDriverID(id));
        ASSERT_TRUE(RegisterClientSettings(dll.c_str(), id, nullptr, &settings));
    }

    static std::vector<AttachCall> Attaches() {
        std::lock_guard lock(DriverRecord().mutex);
        return DriverRecord().attaches;
    }
    static std::vector<NotifyCall> Notifies() {
        std::lock_guard lock(DriverRecord().mutex);
        return DriverRecord().notifies;
    }
    static std::optional<AttachCall> Accepted() {
        for (const auto& call : Attaches()) {
            if (call.accepted) {
                return call;
            }
        }
        return std::nullopt;
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
        const auto accepted = Accepted();
        ASSERT_TRUE(accepted.has_value());
        attach_ = *accepted;
        funcs_ = attach_.funcs;
        pipe_ = funcs_->lpOpenPipe(attach_.device, &attach_.interface->lpEndpoints[1].Descriptor);
        ASSERT_NE(pipe_, nullptr);
    }
    void TearDown() override {
        plugged_.reset();
        if (funcs_ != nullptr) {
            funcs_->lpClosePipe(pipe_);  // most tests leave it open; a closed one is refused
        }
        UsbStackTest::TearDown();
    }

    USB_TRANSFER IssueIn(BYTE* buffer, DWORD length, CompletionLog::Slot* slot,
                         DWORD flags = USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK) {
        return funcs_->lpIssueInterruptTransfer(pipe_, slot ? &CompletionLog::Routine : nullptr,
                                                slot, flags, length, buffer, 0);
    }
    struct Status {
        DWORD bytes;
        DWORD error;
    };
    Status StatusOf(USB_TRANSFER transfer) {
        Status status{0xDEAD, 0xDEAD};
        EXPECT_TRUE(funcs_->lpGetTransferStatus(transfer, &status.bytes, &status.error));
        return status;
    }
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
