// Device nodes that libusb opens, served by simulated devices: umockdev's test bed puts each
// device into sysfs and /dev/bus/usb, and answers the usbdevfs requests libusb makes on its
// node (claiming, URBs submitted, reaped and discarded, halts cleared) through the device
// model, as the kernel and a host controller would. Programs using it run with umockdev's
// preload library (LD_PRELOAD=libumockdev-preload.so.0).
//
// Each device is also the port its model reports through: a report the model sends completes
// the oldest interrupt URB queued on the endpoint; a stall halts the endpoint until libusb
// clears it, every URB meanwhile completing with EPIPE.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ce/host/usb_host.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace ots::test {

// Whether umockdev's preload library is loaded; the suites skip, saying so, when it is not.
bool InUsbfsEmulation();

// What else holds the device's vendor interface when it appears.
struct InterfaceHolder {
    bool program = false;      // another program: claiming fails with EBUSY
    std::string kernelDriver;  // a kernel driver bound to it, until libusb detaches it
};

class EmulatedUsbDevice final : public ce::host::UsbPort {
  public:
    EmulatedUsbDevice(UMockdevTestbed* testbed, int address,
                      std::shared_ptr<ce::host::UsbDeviceModel> model, InterfaceHolder holder);
    ~EmulatedUsbDevice();
    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    // The device leaves: URBs in flight complete with ESHUTDOWN, further requests fail with
    // ENODEV, and a "remove" uevent is sent.
    void Unplug();

    // Whether the kernel driver of InterfaceHolder is detached now.
    bool KernelDriverDetached() const;
    // Also waited for by WaitIdle: the host's side having taken what arrived.
    std::function<bool(DWORD)> hostIdle;

    std::size_t HaltsCleared() const;

    // --- ce::host::UsbPort, for the model ---
    bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) override;
    void Stall(BYTE endpointAddress) override;
    void SetResponding(bool responding) override;
    bool WaitIdle(DWORD platformTimeoutMs) override;
    std::size_t QueuedTransfers(BYTE endpointAddress) const override;
    std::size_t PendingReports(BYTE endpointAddress) const override;
    bool IsPipeOpen(BYTE endpointAddress) const override;

  private:
    struct Done {
        UMockdevIoctlData* urb;          // referenced
        int status;                      // 0 or a negative errno
        std::vector<std::uint8_t> data;  // IN data
        std::size_t offset;    // where data goes in the URB's buffer (8 for control: the setup)
        std::size_t sent = 0;  // OUT data taken
    };

    static int OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool Handle(UMockdevIoctlClient* client);
    void Submit(UMockdevIoctlClient* client);
    void SubmitControl(UMockdevIoctlData* urb);
    void SubmitOut(UMockdevIoctlData* urb);
    void DriverControl(UMockdevIoctlClient* client, unsigned long request);
    void Reap(UMockdevIoctlClient* client);
    void Discard(UMockdevIoctlClient* client);
    void ServiceLocked(BYTE endpoint);
    bool RefillDueLocked() const;
    bool IdleLocked() const;

    UMockdevTestbed* const testbed_;
    const std::shared_ptr<ce::host::UsbDeviceModel> model_;
    const InterfaceHolder holder_;
    std::string sysPath_;
    std::string node_;
    UMockdevIoctlBase* handler_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool gone_ = false;
    bool responding_ = true;
    std::map<BYTE, std::deque<UMockdevIoctlData*>> queued_;  // IN URBs, oldest first
    std::map<BYTE, std::size_t> ring_;  // most IN URBs ever queued on the endpoint
    std::map<BYTE, std::deque<std::vector<std::uint8_t>>> fifo_;
    std::set<BYTE> halted_;
    std::deque<Done> done_;  // completed, to be reaped
    std::size_t haltsCleared_ = 0;
    bool driverDetached_ = false;
};

// A test bed with devices on bus 1.
class UsbfsTestbed {
  public:
    UsbfsTestbed();
    ~UsbfsTestbed();
    UsbfsTestbed(const UsbfsTestbed&) = delete;
    UsbfsTestbed& operator=(const UsbfsTestbed&) = delete;

    // Adds the device (sysfs, node, "add" uevent); the model is connected to it first.
    EmulatedUsbDevice& Plug(std::shared_ptr<ce::host::UsbDeviceModel> model,
                            InterfaceHolder holder = {});

  private:
    UMockdevTestbed* testbed_;
    int nextAddress_ = 2;
    std::vector<std::unique_ptr<EmulatedUsbDevice>> devices_;
};

}  // namespace ots::test
