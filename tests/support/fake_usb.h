// A scriptable USB function table for the driver core's unit tests. The table's entries are
// plain function pointers, so one FakeUsb at a time is current (the newest; destroying it makes
// the previous one current again); it answers every call of the driver and records what it was
// asked.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ce/usbd.h"

namespace ots::test {

struct Transfer {
    bool interrupt = false;  // else a vendor transfer
    LPTRANSFER_NOTIFY_ROUTINE routine = nullptr;
    LPVOID param = nullptr;
    DWORD flags = 0;
    DWORD length = 0;
    BYTE* buffer = nullptr;
    std::vector<BYTE> sent;  // what an OUT vendor transfer carried
    bool complete = false;
    bool closed = false;
    DWORD bytes = 0;
    DWORD usbError = USB_NO_ERROR;
};

// How a vendor transfer is answered: the USB error, and for an IN transfer the bytes to return.
struct VendorAnswer {
    DWORD usbError = USB_NO_ERROR;
    std::vector<BYTE> data;
};

class FakeUsb {
  public:
    static constexpr BYTE kInEndpoint = 0x82;

    // A device with one vendor-specific interface: an OUT endpoint, then an interrupt IN
    // endpoint of wMaxPacketSize 8.
    FakeUsb(WORD idVendor = 0x1234, WORD idProduct = 0x5678, WORD bcdDevice = 0x0100);
    ~FakeUsb();
    FakeUsb(const FakeUsb&) = delete;
    FakeUsb& operator=(const FakeUsb&) = delete;

    LPCUSB_FUNCS Funcs() const { return &funcs_; }
    USB_HANDLE Device() const;
    USB_PIPE Pipe() const;
    LPCUSB_INTERFACE Interface() const { return &interface_; }
    void SetEndpoints(const std::vector<USB_ENDPOINT_DESCRIPTOR>& endpoints);
    void SetInterfaceClass(BYTE bClass, BYTE bSubClass, BYTE bProtocol);

    // --- knobs (atomic where the reader thread reads them while a test changes them) -------
    bool deviceInfoFails = false;
    bool openPipeFails = false;
    std::atomic<std::size_t> interruptIssuesAllowed{static_cast<std::size_t>(-1)};
    std::atomic<std::size_t> failInterruptIssueAttempt{static_cast<std::size_t>(-1)};  // 0-based
    std::atomic<bool> statusFails{false};
    std::atomic<bool> pipeHalted{false};
    std::atomic<bool> isPipeHaltedFails{false};
    std::atomic<bool> resetPipeFails{false};
    bool vendorIssueFails = false;
    bool vendorAsyncCompletes = true;  // an asynchronous vendor transfer signals at once
    std::function<VendorAnswer(const USB_DEVICE_REQUEST&, std::span<const BYTE> out)> vendor;

    // --- records --------------------------------------------------------------------------
    std::vector<BYTE> openedEndpoints;
    std::atomic<int> abortCalls{0};
    std::atomic<int> closePipeCalls{0};
    std::atomic<int> resetPipeCalls{0};
    std::atomic<int> getDeviceInfoCalls{0};
    LPDEVICE_NOTIFY_ROUTINE notifyRoutine = nullptr;
    std::vector<Transfer> VendorTransfers() const;
    USB_TRANSFER LastVendorTransfer() const;

    // --- the interrupt pipe, driven from the test thread ----------------------------------
    std::size_t InterruptIssueCount() const;  // completed ones included
    // Queued (issued, not completed) interrupt transfers, oldest first.
    std::vector<Transfer> Queued() const;
    // Waits until n interrupt transfers are queued.
    bool WaitQueued(std::size_t n) const;
    // Completes the queued interrupt transfer at position `at` (the oldest by default) with
    // data and a USB error, and runs its completion routine.
    bool CompleteInterrupt(std::span<const BYTE> data, DWORD usbError = USB_NO_ERROR,
                           std::size_t at = 0);
    std::size_t OpenTransferCount() const;  // issued and not closed

  private:
    static FakeUsb* current_;
    FakeUsb* previous_ = nullptr;

    static LPCUSB_DEVICE GetDeviceInfo(USB_HANDLE);
    static USB_PIPE OpenPipe(USB_HANDLE, LPCUSB_ENDPOINT_DESCRIPTOR);
    static BOOL AbortPipeTransfers(USB_PIPE, DWORD);
    static BOOL ClosePipe(USB_PIPE);
    static BOOL RegisterNotificationRoutine(USB_HANDLE, LPDEVICE_NOTIFY_ROUTINE, LPVOID);
    static USB_TRANSFER IssueInterruptTransfer(USB_PIPE, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                                               DWORD, LPVOID, ULONG);
    static USB_TRANSFER IssueVendorTransfer(USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                                            LPCUSB_DEVICE_REQUEST, LPVOID, ULONG);
    static BOOL GetTransferStatus(USB_TRANSFER, LPDWORD, LPDWORD);
    static BOOL CloseTransfer(USB_TRANSFER);
    static BOOL IsPipeHalted(USB_PIPE, LPBOOL);
    static BOOL ResetPipe(USB_PIPE);

    Transfer* Find(USB_TRANSFER handle) const;
    void CancelQueued();

    USB_FUNCS funcs_{};
    USB_DEVICE device_{};
    USB_INTERFACE interface_{};
    std::vector<USB_ENDPOINT> endpoints_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<std::unique_ptr<Transfer>> transfers_;  // never freed while the fake lives
    std::deque<Transfer*> queue_;                      // queued interrupt transfers
    std::size_t interruptIssues_ = 0;
    std::size_t interruptIssueAttempts_ = 0;
    bool pipeClosed_ = false;
};

}  // namespace ots::test
