// The whole chain in one process: the platform's registry configuration, the driver installed
// with the USB stack, simulated coordinate controllers plugged in, and the stream device opened
// as the control panel opens it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "ce/host/usb_host.h"
#include "ce/stream.h"
#include "sim/coordinate_controller.h"

namespace ots::test {

// Platform milliseconds to wait for the simulation; generous, as tests run the clock fast.
inline constexpr DWORD kSettleMs = 600000;

using Bytes = std::vector<BYTE>;
using ots::sim::CoordinateController;
using ots::sim::CoordinateControllerOptions;

// Loads libotsusb.so as a host installs it and calls USBInstallDriver; uninstalls at the end.
class DriverInstall {
  public:
    DriverInstall();
    ~DriverInstall();
    DriverInstall(const DriverInstall&) = delete;
    DriverInstall& operator=(const DriverInstall&) = delete;

    bool installed() const { return installed_; }
    BOOL Uninstall();

  private:
    void* library_ = nullptr;
    bool installed_ = false;
};

// Sits between the bus and a simulated device: remembers the port the device was given and can
// keep the device silent from the start.
class BusTap final : public ce::host::UsbDeviceModel {
  public:
    explicit BusTap(std::shared_ptr<ce::host::UsbDeviceModel> inner) : inner_(std::move(inner)) {}
    ce::host::UsbPort* port() const { return port_.load(); }
    std::atomic<bool> silentFromStart{false};  // the device answers nothing from the start

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return inner_->DeviceDescriptor(); }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override {
        return inner_->Interfaces();
    }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup,
                                    std::span<BYTE> data) override {
        return inner_->Control(setup, data);
    }
    ce::host::ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) override {
        return inner_->DataOut(endpointAddress, data);
    }
    void ResetEndpoint(BYTE endpointAddress) override { inner_->ResetEndpoint(endpointAddress); }
    void Connected(ce::host::UsbPort* port) override;
    void Disconnected() override {
        inner_->Disconnected();
        port_ = nullptr;
    }

  private:
    std::shared_ptr<ce::host::UsbDeviceModel> inner_;
    std::atomic<ce::host::UsbPort*> port_{nullptr};
};

// A coordinate controller on the bus, with a look at the port its model was given.
class PluggedController {
  public:
    explicit PluggedController(CoordinateControllerOptions options = {});
    ~PluggedController() { Unplug(); }
    PluggedController(const PluggedController&) = delete;
    PluggedController& operator=(const PluggedController&) = delete;

    CoordinateController& panel() { return *controller_; }
    ce::host::UsbPort* port() const { return tap_->port(); }
    ce::host::UsbDeviceId id() const { return id_; }
    void Unplug();

  private:
    std::shared_ptr<CoordinateController> controller_;
    std::shared_ptr<BusTap> tap_;
    ce::host::UsbDeviceId id_ = ce::host::kNoUsbDevice;
};

// A stream device handle, as the control panel holds one.
class StreamHandle {
  public:
    explicit StreamHandle(const wchar_t* name = L"OTS1:");
    ~StreamHandle() { Close(); }
    StreamHandle(const StreamHandle&) = delete;
    StreamHandle& operator=(const StreamHandle&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD error() const { return error_; }  // last error of a failed open
    HANDLE get() const { return handle_; }

    BOOL Io(DWORD code, Bytes* in, Bytes* out);
    Bytes Get(DWORD code, std::size_t size);
    BOOL Set(DWORD code, const Bytes& record);
    void Close();

  private:
    HANDLE handle_;
    DWORD error_ = 0;
};

// Opens, runs one control code and closes, as the control panel does for each operation.
Bytes GetRecord(DWORD code, std::size_t size, const wchar_t* name = L"OTS1:");
bool SetRecord(DWORD code, const Bytes& record, const wchar_t* name = L"OTS1:");

// Every test starts from the platform's registry configuration with the driver installed.
class IntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { install_.reset(); }

    // Changes one DriverConfig field through the control codes.
    void SetDriverConfigByte(std::size_t offset, BYTE value);

    std::unique_ptr<DriverInstall> install_;
};

}  // namespace ots::test
