// The whole chain in one process: the platform's registry configuration, the driver installed
// with the USB stack, simulated coordinate controllers plugged in, and the stream device opened
// as the control panel opens it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "ce/host/usb_host.h"
#include "ce/stream.h"
#include "sim/coordinate_controller.h"

namespace it {

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

// A coordinate controller on the bus, with a look at the port its model was given.
class PluggedController {
  public:
    explicit PluggedController(CoordinateControllerOptions options = {});
    ~PluggedController();
    PluggedController(const PluggedController&) = delete;
    PluggedController& operator=(const PluggedController&) = delete;

    CoordinateController& panel() { return *controller_; }
    ce::host::UsbPort* port() const;
    ce::host::UsbDeviceId id() const { return id_; }
    // Waits until the driver keeps `expected` transfers queued on the report endpoint and the
    // bus is idle, then returns how many are queued.
    std::size_t QueuedReportTransfers(std::size_t expected);
    void Unplug();

  private:
    class PortTap;
    std::shared_ptr<CoordinateController> controller_;
    std::shared_ptr<PortTap> tap_;
    ce::host::UsbDeviceId id_ = ce::host::kNoUsbDevice;
};

// A stream device handle, as the control panel holds one.
class StreamHandle {
  public:
    explicit StreamHandle(const wchar_t* name = L"OTS1:");
    ~StreamHandle();
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
    void TearDown() override;

    // Changes one DriverConfig field through the control codes.
    void SetDriverConfigByte(std::size_t offset, BYTE value);

    std::unique_ptr<DriverInstall> install_;
};

}  // namespace it
