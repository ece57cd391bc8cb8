// The USB function table of one simulated device without the bus: a vendor transfer goes
// straight to the model's control endpoint on the calling thread, as the stack completes a
// transfer issued without a completion routine. For driving the driver's own code against a
// simulated controller while a test looks into the device context.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <utility>

#include "ce/host/usb_host.h"
#include "support/bus.h"  // CommandFilter

namespace ots::test {

class ModelUsb {
  public:
    explicit ModelUsb(std::shared_ptr<ce::host::UsbDeviceModel> model) : model_(std::move(model)) {
        funcs_.dwCount = sizeof(USB_FUNCS);
        funcs_.lpIssueVendorTransfer = &Issue;
        funcs_.lpGetTransferStatus = &Status;
        funcs_.lpCloseTransfer = [](USB_TRANSFER hTransfer) -> BOOL {
            delete reinterpret_cast<ce::host::ControlResult*>(hTransfer);
            return TRUE;
        };
    }
    ModelUsb(const ModelUsb&) = delete;
    ModelUsb& operator=(const ModelUsb&) = delete;

    LPCUSB_FUNCS funcs() const { return &funcs_; }
    USB_HANDLE handle() { return reinterpret_cast<USB_HANDLE>(this); }

    // Faults of the bus: the commands the filter picks stall before the device sees them; so
    // many of the next replies arrive a byte short (the count runs on below zero).
    CommandFilter stalls;
    std::atomic<int> cutReplies{0};
    // Runs at the start of every transfer, on the thread that issued it.
    std::function<void()> onTransfer;

  private:
    static USB_TRANSFER Issue(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                              LPCUSB_DEVICE_REQUEST request, LPVOID buffer, ULONG) {
        auto* self = reinterpret_cast<ModelUsb*>(hDevice);
        if (self->onTransfer) {
            self->onTransfer();
        }
        const bool in = (request->bmRequestType & 0x80) != 0;
        auto* result = new ce::host::ControlResult{USB_STALL_ERROR, 0};
        const std::span<BYTE> data(static_cast<BYTE*>(buffer), request->wLength);
        if (in || !self->stalls || !self->stalls(data)) {
            *result = self->model_->Control(*request, data);
        }
        if (in && result->bytesTransferred > 0 && self->cutReplies-- > 0) {
            --result->bytesTransferred;
        }
        return reinterpret_cast<USB_TRANSFER>(result);
    }
    static BOOL Status(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
        const auto* result = reinterpret_cast<const ce::host::ControlResult*>(hTransfer);
        *bytes = result->bytesTransferred;
        *usbError = result->usbError;
        return TRUE;
    }

    std::shared_ptr<ce::host::UsbDeviceModel> model_;
    USB_FUNCS funcs_{};
};

}  // namespace ots::test
