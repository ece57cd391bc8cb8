#include "support/fake_usb.h"

#include <algorithm>
#include <cstring>

#include "ce/kernel.h"

namespace ots::test {

namespace {

// Transfers are numbered from 1 in the order issued, so that logged handles are reproducible.
USB_TRANSFER Handle(std::size_t index) {
    return reinterpret_cast<USB_TRANSFER>(index + 1);  // NOLINT
}

// An IN transfer receives what fits of the answer's data; an OUT transfer sends all it has.
void Complete(Transfer& transfer, const VendorAnswer& answer, bool in) {
    transfer.usbError = answer.usbError;
    transfer.bytes =
        in ? static_cast<DWORD>(std::min(answer.data.size(), std::size_t{transfer.length}))
           : transfer.length;
    if (in && transfer.bytes != 0) {
        std::memcpy(transfer.buffer, answer.data.data(), transfer.bytes);
    }
}

}  // namespace

USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD maxPacket) {
    return {7, 5, address, attributes, maxPacket, 1};
}

FakeUsb* FakeUsb::current_ = nullptr;

FakeUsb::FakeUsb(WORD idVendor, WORD idProduct) : previous_(current_) {
    current_ = this;
    device_.dwCount = sizeof(USB_DEVICE);
    device_.Descriptor.idVendor = idVendor;
    device_.Descriptor.idProduct = idProduct;
    interface_.dwCount = sizeof(USB_INTERFACE);
    interface_.Descriptor.bInterfaceClass = 0xFF;
    SetEndpoints({Endpoint(0x01, 0x03, 8), Endpoint(0x82, 0x03, 8)});

    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpGetDeviceInfo = [](USB_HANDLE) -> LPCUSB_DEVICE {
        return current_->Succeeds(Call::DeviceInfo) ? &current_->device_ : nullptr;
    };
    funcs_.lpOpenPipe = [](USB_HANDLE, LPCUSB_ENDPOINT_DESCRIPTOR lpEndpoint) -> USB_PIPE {
        current_->openedEndpoints.push_back(lpEndpoint->bEndpointAddress);
        return current_->Succeeds(Call::OpenPipe) ? Pipe() : nullptr;
    };
    funcs_.lpAbortPipeTransfers = [](USB_PIPE, DWORD) -> BOOL { return TRUE; };
    funcs_.lpClosePipe = [](USB_PIPE) -> BOOL { return current_->Succeeds(Call::ClosePipe); };
    funcs_.lpRegisterNotificationRoutine = [](USB_HANDLE, LPDEVICE_NOTIFY_ROUTINE, LPVOID) -> BOOL {
        return TRUE;
    };
    funcs_.lpIssueInterruptTransfer = [](USB_PIPE, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param,
                                         DWORD, DWORD size, LPVOID buffer, ULONG) -> USB_TRANSFER {
        FakeUsb& self = *current_;
        std::unique_lock lock(self.mutex_);
        std::optional<VendorAnswer> answer;
        if (!self.interrupts.empty()) {
            answer = std::move(self.interrupts.front());
            self.interrupts.pop_front();
        }
        if (!answer) {
            return nullptr;
        }
        Transfer& transfer = self.Add(size, buffer);
        Complete(transfer, *answer, true);
        lock.unlock();
        routine(param);
        return Handle(self.transfers_.size() - 1);
    };
    funcs_.lpIssueVendorTransfer = [](USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param,
                                      DWORD flags, LPCUSB_DEVICE_REQUEST setup, LPVOID buffer,
                                      ULONG) -> USB_TRANSFER {
        FakeUsb& self = *current_;
        if (!self.Succeeds(Call::IssueVendor)) {
            return nullptr;
        }
        std::unique_lock lock(self.mutex_);
        Transfer& transfer = self.Add(setup->wLength, buffer);
        const USB_TRANSFER handle = Handle(self.transfers_.size() - 1);
        const bool in = (flags & USB_IN_TRANSFER) != 0;
        if (!in && buffer != nullptr) {
            transfer.sent.assign(transfer.buffer, transfer.buffer + transfer.length);
        }
        const bool completes = routine == nullptr || self.vendorAsyncCompletes;
        if (completes) {
            Complete(transfer, self.vendor ? self.vendor(*setup, transfer.sent) : VendorAnswer{},
                     in);
        }
        lock.unlock();
        if (completes && routine != nullptr) {
            routine(param);
        }
        return handle;
    };
    funcs_.lpGetTransferStatus = [](USB_TRANSFER hTransfer, LPDWORD lpdwBytes,
                                    LPDWORD lpdwError) -> BOOL {
        std::lock_guard lock(current_->mutex_);
        const Transfer* transfer = current_->Find(hTransfer);
        if (!current_->Succeeds(Call::Status) || transfer == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        *lpdwBytes = transfer->bytes;
        *lpdwError = transfer->usbError;
        return TRUE;
    };
    funcs_.lpCloseTransfer = [](USB_TRANSFER hTransfer) -> BOOL {
        std::lock_guard lock(current_->mutex_);
        Transfer* transfer = current_->Find(hTransfer);
        if (transfer == nullptr || transfer->closed) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        transfer->closed = true;
        return TRUE;
    };
    funcs_.lpIsPipeHalted = [](USB_PIPE, LPBOOL lpbHalted) -> BOOL {
        if (!current_->Succeeds(Call::IsHalted)) {
            return FALSE;
        }
        *lpbHalted = current_->pipeHalted ? TRUE : FALSE;
        return TRUE;
    };
    funcs_.lpResetPipe = [](USB_PIPE) -> BOOL {
        return current_->Succeeds(Call::Reset) ? (current_->pipeHalted = false, TRUE) : FALSE;
    };
}

FakeUsb::~FakeUsb() {
    current_ = previous_;
}

void FakeUsb::SetEndpoints(const std::vector<USB_ENDPOINT_DESCRIPTOR>& endpoints) {
    endpoints_.clear();
    for (const USB_ENDPOINT_DESCRIPTOR& descriptor : endpoints) {
        endpoints_.push_back({sizeof(USB_ENDPOINT), descriptor, nullptr});
    }
    interface_.Descriptor.bNumEndpoints = static_cast<BYTE>(endpoints_.size());
    interface_.lpEndpoints = endpoints_.empty() ? nullptr : endpoints_.data();
}

std::size_t FakeUsb::OpenTransferCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(transfers_.begin(), transfers_.end(),
                                                  [](const Transfer& t) { return !t.closed; }));
}

bool FakeUsb::Succeeds(Call call) {
    ++calls_[static_cast<int>(call)];
    return !failing_[static_cast<int>(call)];
}

Transfer& FakeUsb::Add(DWORD length, LPVOID buffer) {
    Transfer& transfer = transfers_.emplace_back();
    transfer.length = length;
    transfer.buffer = static_cast<BYTE*>(buffer);
    return transfer;
}

Transfer* FakeUsb::Find(USB_TRANSFER handle) {
    const auto index = reinterpret_cast<std::uintptr_t>(handle) - 1;  // NOLINT
    return index < transfers_.size() ? &transfers_[index] : nullptr;
}

}  // namespace ots::test
