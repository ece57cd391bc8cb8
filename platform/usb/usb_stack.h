// The state of the USB stack: plugged devices, their endpoints, open pipes and transfers, all
// under one lock. Handles given to clients are numbers looked up in tables, so a stale or
// foreign handle is refused instead of followed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "ce/host/usb_host.h"
#include "completion_queue.h"
#include "descriptor_set.h"
#include "transfer_table.h"

namespace ce::usb {

struct Device;
class Stack;

struct Endpoint {
    USB_ENDPOINT_DESCRIPTOR descriptor{};
    std::deque<std::vector<BYTE>> fifo;  // reports offered, not yet taken
    std::vector<Transfer*> queued;       // issued, not completed; oldest first
    std::uint32_t pipe = 0;              // handle number of the open pipe, 0 if none
    bool stallPending = false;           // the next transfer is answered with a STALL
    bool halted = false;
    std::size_t outstanding = 0;  // issued on the open pipe and not yet closed
    std::size_t ringSize = 0;     // most transfers the pipe's client kept outstanding at once

    bool IsIn() const { return (descriptor.bEndpointAddress & 0x80) != 0; }
};

// The port a device model holds: every call goes to the stack with this device.
class DevicePort final : public host::UsbPort {
  public:
    DevicePort(Stack& stack, Device& device) : stack_(stack), device_(device) {}
    bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) override;
    void Stall(BYTE endpointAddress) override;
    void SetResponding(bool responding) override;
    bool WaitIdle(DWORD platformTimeoutMs) override;
    std::size_t QueuedTransfers(BYTE endpointAddress) const override;
    std::size_t PendingReports(BYTE endpointAddress) const override;
    bool IsPipeOpen(BYTE endpointAddress) const override;

  private:
    Stack& stack_;
    Device& device_;
};

struct Device : std::enable_shared_from_this<Device> {
    Device(Stack& stack, std::uint32_t handleNumber, std::shared_ptr<host::UsbDeviceModel> m,
           const USB_DEVICE_DESCRIPTOR& deviceDescriptor,
           const std::vector<host::UsbInterfaceModel>& interfaces);

    Endpoint* FindEndpoint(BYTE address);

    const std::uint32_t handle;                   // also its host::UsbDeviceId
    std::shared_ptr<host::UsbDeviceModel> model;  // released once it has left the bus
    const DescriptorSet descriptors;
    std::vector<Endpoint> endpoints;  // never resized: transfers point into it
    std::vector<std::pair<LPDEVICE_NOTIFY_ROUTINE, LPVOID>> notifiers;
    bool gone = false;      // off the bus: reports refused, new transfers answered with error 5
    bool detached = false;  // unplugging has finished
    bool responding = true;
    bool claimed = false;
    std::size_t openPipes = 0;
    std::size_t liveTransfers = 0;  // issued and not yet closed
    DevicePort port;
};

class Stack {
  public:
    static Stack& Instance();

    // --- the bus (host side) ---
    std::shared_ptr<Device> AddDevice(std::shared_ptr<host::UsbDeviceModel> model);
    // Marks the device gone and hands back its notification routines (each is called once)
    // and its model; null for a device that is not on the bus.
    std::shared_ptr<Device> BeginUnplug(
        std::uint32_t id, std::vector<std::pair<LPDEVICE_NOTIFY_ROUTINE, LPVOID>>& notifiers,
        std::shared_ptr<host::UsbDeviceModel>& model);
    // Completes what is still queued as cancelled and takes the device off the bus.
    void FinishUnplug(const std::shared_ptr<Device>& device);
    std::vector<host::UsbDeviceId> PluggedDevices();
    bool IsClaimed(std::uint32_t id);
    void SetClaimed(Device& device);

    // --- the function table ---
    LPCUSB_DEVICE GetDeviceInfo(USB_HANDLE hDevice);
    USB_PIPE OpenPipe(USB_HANDLE hDevice, LPCUSB_ENDPOINT_DESCRIPTOR descriptor);
    BOOL AbortPipeTransfers(USB_PIPE hPipe, DWORD flags);
    BOOL ClosePipe(USB_PIPE hPipe);
    BOOL RegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                     LPVOID parameter);
    BOOL UnRegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                       LPVOID parameter);
    USB_TRANSFER IssueInterruptTransfer(USB_PIPE hPipe, LPTRANSFER_NOTIFY_ROUTINE routine,
                                        LPVOID parameter, DWORD flags, DWORD length, LPVOID buffer);
    USB_TRANSFER IssueVendorTransfer(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine,
                                     LPVOID parameter, DWORD flags, LPCUSB_DEVICE_REQUEST setup,
                                     LPVOID buffer);
    BOOL GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD bytesTransferred, LPDWORD usbError);
    BOOL IsTransferComplete(USB_TRANSFER hTransfer);
    BOOL AbortTransfer(USB_TRANSFER hTransfer, DWORD flags);
    BOOL CloseTransfer(USB_TRANSFER hTransfer);
    BOOL IsPipeHalted(USB_PIPE hPipe, LPBOOL halted);
    BOOL ResetPipe(USB_PIPE hPipe);

    // --- the device's side (DevicePort) ---
    bool SendInterrupt(Device& device, BYTE address, std::span<const BYTE> report);
    void Stall(Device& device, BYTE address);
    void SetResponding(Device& device, bool responding);
    bool WaitIdle(Device& device, DWORD platformTimeoutMs);
    std::size_t QueuedTransfers(Device& device, BYTE address);
    std::size_t PendingReports(Device& device, BYTE address);
    bool IsPipeOpen(Device& device, BYTE address);

  private:
    Stack();

    struct PipeEntry {
        std::shared_ptr<Device> device;
        Endpoint* endpoint;
    };

    std::shared_ptr<Device> FindDeviceLocked(USB_HANDLE hDevice);
    // Null for an unknown pipe; a pipe that was closed is also reported on the debug output
    // with the call that used it, since on a real stack that is a use after free.
    PipeEntry* FindPipeLocked(USB_PIPE hPipe, const char* call);
    Transfer* FindTransferLocked(USB_TRANSFER hTransfer);
    Transfer& NewTransferLocked(const std::shared_ptr<Device>& device, Endpoint* endpoint);
    void CompleteLocked(Transfer& transfer, DWORD usbError, DWORD bytes, bool notify);
    void ServiceLocked(Device& device, Endpoint& endpoint);
    void CancelQueuedLocked(Endpoint& endpoint);
    void WaitForCompletionsLocked(std::unique_lock<std::mutex>& lock, DWORD flags);
    void RunJob(const CompletionJob& job);
    void RunControl(std::uint64_t handle, const USB_DEVICE_REQUEST& setup);
    void RunDataOut(std::uint64_t handle);
    void ForgetIfUnusedLocked(const std::shared_ptr<Device>& device);
    bool IdleLocked(Device& device) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    CompletionQueue completions_;
    std::uint32_t nextHandle_ = 0x1000;                         // never reused, never 0
    std::vector<std::shared_ptr<Device>> bus_;                  // plugging order
    std::map<std::uint32_t, std::shared_ptr<Device>> devices_;  // USB_HANDLE
    std::map<std::uint32_t, PipeEntry> pipes_;                  // USB_PIPE
    std::set<std::uint32_t> closedPipes_;
    TransferTable transfers_;  // USB_TRANSFER
};

}  // namespace ce::usb
