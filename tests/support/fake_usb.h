// A scriptable USB function table for the driver core's unit tests, for the stack failures no
// device can cause (a call that returns FALSE or null). The table's entries are plain function
// pointers, so one FakeUsb at a time is current (the newest; destroying it makes the previous
// one current again). It answers vendor transfers through a callback and records them, and
// completes interrupt transfers at once from a script.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "ce/usbd.h"

namespace ots::test {

struct Transfer {
    DWORD length = 0;
    BYTE* buffer = nullptr;
    std::vector<BYTE> sent;  // what an OUT vendor transfer carried
    bool closed = false;
    DWORD bytes = 0;
    DWORD usbError = USB_NOT_COMPLETE_ERROR;
};

// How a vendor transfer is answered: the USB error, and for an IN transfer the bytes to return.
struct VendorAnswer {
    DWORD usbError = USB_NO_ERROR;
    std::vector<BYTE> data;
};

// The calls a test can make fail (they return FALSE or null) and count.
enum class Call { DeviceInfo, OpenPipe, IssueVendor, Status, IsHalted, Reset, ClosePipe, N };

USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD maxPacket);

class FakeUsb {
  public:
    // A device with one vendor-specific interface: an OUT endpoint, then the interrupt IN
    // endpoint 0x82 of wMaxPacketSize 8.
    explicit FakeUsb(WORD idVendor = 0x1234, WORD idProduct = 0x5678);  // a coordinate controller
    ~FakeUsb();
    FakeUsb(const FakeUsb&) = delete;
    FakeUsb& operator=(const FakeUsb&) = delete;

    LPCUSB_FUNCS Funcs() const { return &funcs_; }
    static USB_HANDLE Device() { return reinterpret_cast<USB_HANDLE>(std::uintptr_t{0xD0}); }
    static USB_PIPE Pipe() { return reinterpret_cast<USB_PIPE>(std::uintptr_t{0xE0}); }
    USB_INTERFACE* Interface() { return &interface_; }
    void SetEndpoints(const std::vector<USB_ENDPOINT_DESCRIPTOR>& endpoints);

    void Fail(Call call, bool fail = true) { failing_[static_cast<int>(call)] = fail; }
    int Calls(Call call) const { return calls_[static_cast<int>(call)]; }
    std::atomic<bool> pipeHalted{false};
    bool vendorAsyncCompletes = true;  // an asynchronous vendor transfer signals at once
    std::function<VendorAnswer(const USB_DEVICE_REQUEST&, std::span<const BYTE> out)> vendor;
    // The answers to the next interrupt transfers, oldest first; where the script has ended or
    // holds nullopt, the transfer is refused.
    std::deque<std::optional<VendorAnswer>> interrupts;

    std::vector<BYTE> openedEndpoints;
    std::size_t OpenTransferCount() const;  // issued and not closed

  private:
    static FakeUsb* current_;
    FakeUsb* previous_ = nullptr;

    bool Succeeds(Call call);                    // counts the call
    Transfer& Add(DWORD length, LPVOID buffer);  // with the mutex held
    Transfer* Find(USB_TRANSFER handle);

    USB_FUNCS funcs_{};
    USB_DEVICE device_{};
    USB_INTERFACE interface_{};
    std::vector<USB_ENDPOINT> endpoints_;
    std::atomic<int> calls_[static_cast<int>(Call::N)] = {};
    std::atomic<bool> failing_[static_cast<int>(Call::N)] = {};
    mutable std::mutex mutex_;
    std::deque<Transfer> transfers_;  // never freed while the fake lives
};

}  // namespace ots::test
