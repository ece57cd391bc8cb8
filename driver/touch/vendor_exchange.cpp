#include "touch/vendor_exchange.h"

#include <algorithm>
#include <array>
#include <limits>

#include "ce/kernel.h"
#include "core/transport.h"
#include "protocol/vendor_command.h"
#include "touch/sensor_init.h"

namespace {

using Response = std::array<BYTE, ots::kVendorPacketSize>;

// The stack completes a transfer without a completion routine before it returns.
constexpr DWORD kSynchronousTimeoutMs = 0;

// Succeeds only when the whole length was transferred: a shortened reply is no block.
bool VendorTransfer(const DEVICE_CONTEXT& device, BYTE requestType, DWORD flags, void* buffer,
                    WORD length) {
    const USB_DEVICE_REQUEST request{requestType, 0, 0, 0, length};
    DWORD transferred = 0;
    DWORD usbError = USB_NO_ERROR;
    const DWORD error =
        IssueVendorTransfer(device.lpUsbFuncs, device.hUsbDevice, nullptr, nullptr, flags, &request,
                            buffer, 0, &transferred, kSynchronousTimeoutMs, &usbError);
    return error == ERROR_SUCCESS && usbError == USB_NO_ERROR && transferred == length;
}

bool SendCommand(const DEVICE_CONTEXT& device, const BYTE* pCommand, WORD cbCommand) {
    // An OUT transfer only reads its buffer.
    return VendorTransfer(device, kVendorOutRequestType, USB_SHORT_TRANSFER_OK,
                          const_cast<BYTE*>(pCommand), cbCommand);
}

bool ReceiveResponse(const DEVICE_CONTEXT& device, Response* response) {
    response->fill(0);  // nothing of an earlier attempt may pass for this reply
    return VendorTransfer(device, kVendorInRequestType, USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK,
                          response->data(), static_cast<WORD>(response->size()));
}

}  // namespace

DWORD SendVendorCommand(DEVICE_CONTEXT* pDevice, const BYTE* pCommand, DWORD cbCommand,
                        BYTE* pResponse) {
    // The response is matched by the command's index byte, and wLength has 16 bits.
    if (pDevice == nullptr || pCommand == nullptr || pResponse == nullptr ||
        cbCommand <= kCommandIndexOffset || cbCommand > std::numeric_limits<WORD>::max()) {
        return kVendorCommandFailed;
    }
    const VendorLock lock(*pDevice);
    Response response{};
    for (DWORD attempt = 0; attempt < kVendorAttempts; ++attempt) {
        Sleep(kBeforeCommandMs);
        if (!SendCommand(*pDevice, pCommand, static_cast<WORD>(cbCommand))) {
            continue;
        }
        Sleep(kBeforeResponseMs);
        if (ReceiveResponse(*pDevice, &response) &&
            ots::IsAcceptedResponse(response, pCommand[kCommandIndexOffset])) {
            std::copy(response.begin(), response.end(), pResponse);
            return ERROR_SUCCESS;
        }
    }
    return kVendorCommandFailed;
}

DWORD ExchangeVendorCommand(DEVICE_CONTEXT* pDevice, BYTE cls, BYTE code, BYTE index,
                            const BYTE* payload, std::size_t n, BYTE* pResponse) {
    std::array<BYTE, ots::kVendorPacketSize> command{};
    const std::size_t length = ots::BuildVendorCommand(cls, code, index, payload, n, command);
    if (length == 0) {
        return kVendorCommandFailed;
    }
    return SendVendorCommand(pDevice, command.data(), static_cast<DWORD>(length), pResponse);
}
