// A live device context for the driver's fuzz targets: signed and in the context table, open,
// with its records and work area, on a USB function table whose vendor transfers the input
// answers. Nothing in it needs a device, a thread or a socket.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/device_context.h"
#include "touch/touch_data.h"

namespace fuzz {

using Packet = std::array<BYTE, 64>;

// Answers one vendor IN transfer: fills the packet and returns the USB error to complete with
// (USB_NO_ERROR for an answer).
using VendorSource = std::function<DWORD(Packet&)>;

class FuzzController {
  public:
    explicit FuzzController(bool camera);
    ~FuzzController();
    FuzzController(const FuzzController&) = delete;
    FuzzController& operator=(const FuzzController&) = delete;

    DEVICE_CONTEXT& ctx() { return context_; }
    TOUCH_DATA& td() { return touch_; }
    DWORD cookie() const { return context_.dwCookie; }
    void SetVendorSource(VendorSource source) { source_ = std::move(source); }

    // The records the input chooses: DriverConfig, and for a coordinate controller its
    // DeviceConfig and both calibration records, as a registry load would leave them.
    void LoadRecords(FuzzedDataProvider& input);
    // Initialises the controller as attach does; a camera controller's six blocks are answered
    // in well-formed frames around bytes from the input.
    void Initialise(FuzzedDataProvider& input);

  private:
    static USB_TRANSFER IssueVendorTransfer(USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                                            LPCUSB_DEVICE_REQUEST, LPVOID, ULONG);
    static BOOL GetTransferStatus(USB_TRANSFER, LPDWORD, LPDWORD);
    static BOOL CloseTransfer(USB_TRANSFER);

    struct Completed {
        DWORD bytes = 0;
        DWORD usbError = 0;
    };

    USB_FUNCS funcs_{};
    USB_DEVICE device_{};
    DEVICE_CONTEXT context_{};
    TOUCH_DATA touch_{};
    VendorSource source_;
    Completed completed_;
    std::array<BYTE, 5> lastCommand_{};  // header of the last command sent
};

// The bytes of a whole frame whose header and checksum are right, around the payload.
Packet Frame(BYTE cls, BYTE code, BYTE index, std::span<const BYTE> payload);

// Runs every fuzz target on the scaled clock so the driver's command pauses take no time.
void FastClock();

}  // namespace fuzz
