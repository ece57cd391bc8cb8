#include "support/fake_usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ce/kernel.h"

namespace ots::test {

namespace {

USB_TRANSFER Handle(const Transfer* transfer) {
    return reinterpret_cast<USB_TRANSFER>(const_cast<Transfer*>(transfer));  // NOLINT
}

// Copies what fits of data into the transfer's buffer.
void Fill(Transfer& transfer, std::span<const BYTE> data) {
    transfer.bytes = static_cast<DWORD>(std::min<std::size_t>(data.size(), transfer.length));
    if (transfer.bytes != 0) {
        std::memcpy(transfer.buffer, data.data(), transfer.bytes);
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
    device_.Descriptor.bLength = 18;
    device_.Descriptor.bDescriptorType = 1;
    device_.Descriptor.idVendor = idVendor;
    device_.Descriptor.idProduct = idProduct;
    device_.Descriptor.bcdDevice = 0x0100;
    interface_.dwCount = sizeof(USB_INTERFACE);
    SetInterfaceClass(0xFF, 0, 0);
    SetEndpoints({Endpoint(0x01, 0x03, 8), Endpoint(0x82, 0x03, 8)});

    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpGetDeviceInfo = [](USB_HANDLE) -> LPCUSB_DEVICE {
        return current_->Succeeds(Call::DeviceInfo) ? &current_->device_ : nullptr;
    };
    funcs_.lpOpenPipe = [](USB_HANDLE, LPCUSB_ENDPOINT_DESCRIPTOR lpEndpoint) -> USB_PIPE {
        current_->openedEndpoints.push_back(lpEndpoint->bEndpointAddress);
        return current_->Succeeds(Call::OpenPipe) ? Pipe() : nullptr;
    };
    funcs_.lpAbortPipeTransfers = [](USB_PIPE, DWORD) -> BOOL {
        current_->Succeeds(Call::Abort);
        current_->CancelQueued();
        return TRUE;
    };
    funcs_.lpClosePipe = [](USB_PIPE) -> BOOL {
        current_->Succeeds(Call::ClosePipe);
        {
            std::lock_guard lock(current_->mutex_);
            current_->pipeClosed_ = true;
        }
        current_->CancelQueued();
        return TRUE;
    };
    funcs_.lpRegisterNotificationRoutine = [](USB_HANDLE, LPDEVICE_NOTIFY_ROUTINE, LPVOID) -> BOOL {
        return TRUE;
    };
    funcs_.lpIssueInterruptTransfer = [](USB_PIPE, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param,
                                         DWORD flags, DWORD size, LPVOID buffer,
                                         ULONG) -> USB_TRANSFER {
        FakeUsb& self = *current_;
        Transfer* transfer = nullptr;
        {
            std::lock_guard lock(self.mutex_);
            const std::size_t attempt = self.interruptIssueAttempts_++;
            if (self.pipeClosed_ || self.interruptIssues_ >= self.interruptIssuesAllowed ||
                attempt == self.failInterruptIssueAttempt) {
                return nullptr;
            }
            ++self.interruptIssues_;
            transfer = self.Add(true, routine, param, flags, size, buffer);
            self.queue_.push_back(transfer);
        }
        self.changed_.notify_all();
        return Handle(transfer);
    };
    funcs_.lpIssueVendorTransfer = [](USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param,
                                      DWORD flags, LPCUSB_DEVICE_REQUEST setup, LPVOID buffer,
                                      ULONG) -> USB_TRANSFER {
        FakeUsb& self = *current_;
        if (!self.Succeeds(Call::IssueVendor)) {
            return nullptr;
        }
        std::unique_lock lock(self.mutex_);
        Transfer& transfer = *self.Add(false, routine, param, flags, setup->wLength, buffer);
        const bool in = (flags & USB_IN_TRANSFER) != 0;
        if (!in && buffer != nullptr) {
            transfer.sent.assign(transfer.buffer, transfer.buffer + transfer.length);
        }
        const bool completes = routine == nullptr || self.vendorAsyncCompletes;
        if (completes) {
            const VendorAnswer answer =
                self.vendor ? self.vendor(*setup, transfer.sent) : VendorAnswer{};
            transfer.usbError = answer.usbError;
            in ? Fill(transfer, answer.data) : void(transfer.bytes = transfer.length);
        }
        lock.unlock();
        if (completes && routine != nullptr) {
            routine(param);
        }
        return Handle(&transfer);
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
        std::erase(current_->queue_, transfer);  // a transfer closed while queued is withdrawn
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

void FakeUsb::SetInterfaceClass(BYTE bClass, BYTE bSubClass, BYTE bProtocol) {
    interface_.Descriptor.bInterfaceClass = bClass;
    interface_.Descriptor.bInterfaceSubClass = bSubClass;
    interface_.Descriptor.bInterfaceProtocol = bProtocol;
}

std::vector<const Transfer*> FakeUsb::VendorTransfers() const {
    std::lock_guard lock(mutex_);
    std::vector<const Transfer*> result;
    for (const auto& transfer : transfers_) {
        if (!transfer->interrupt) {
            result.push_back(transfer.get());
        }
    }
    return result;
}

std::size_t FakeUsb::InterruptIssueCount() const {
    std::lock_guard lock(mutex_);
    return interruptIssues_;
}

std::vector<const Transfer*> FakeUsb::Queued() const {
    std::lock_guard lock(mutex_);
    return {queue_.begin(), queue_.end()};
}

bool FakeUsb::WaitQueued(std::size_t n) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return queue_.size() == n; });
}

bool FakeUsb::CompleteInterrupt(std::span<const BYTE> data, DWORD usbError, std::size_t at) {
    Transfer* transfer = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (at >= queue_.size()) {
            return false;
        }
        transfer = queue_[at];
        queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(at));
        Fill(*transfer, data);
        transfer->usbError = usbError;
    }
    changed_.notify_all();
    transfer->routine(transfer->param);
    return true;
}

std::size_t FakeUsb::OpenTransferCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(transfers_.begin(), transfers_.end(),
                                                  [](const auto& t) { return !t->closed; }));
}

bool FakeUsb::Succeeds(Call call) {
    ++calls_[static_cast<int>(call)];
    return !failing_[static_cast<int>(call)];
}

Transfer* FakeUsb::Add(bool interrupt, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param, DWORD flags,
                       DWORD length, LPVOID buffer) {
    Transfer& transfer = *transfers_.emplace_back(std::make_unique<Transfer>());
    transfer.interrupt = interrupt;
    transfer.routine = routine;
    transfer.param = param;
    transfer.flags = flags;
    transfer.length = length;
    transfer.buffer = static_cast<BYTE*>(buffer);
    return &transfer;
}

Transfer* FakeUsb::Find(USB_TRANSFER handle) const {
    const auto found = std::find_if(transfers_.begin(), transfers_.end(),
                                    [handle](const auto& t) { return Handle(t.get()) == handle; });
    return found == transfers_.end() ? nullptr : found->get();
}

void FakeUsb::CancelQueued() {
    while (CompleteInterrupt({}, USB_CANCELED_ERROR)) {
    }
}

}  // namespace ots::test
