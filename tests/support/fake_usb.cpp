#include "support/fake_usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ce/kernel.h"

namespace ots::test {

namespace {

// Handles the fake never dereferences.
template <class Handle>
Handle Fixed(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);  // NOLINT(performance-no-int-to-ptr)
}

USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD maxPacket) {
    return {7, 5, address, attributes, maxPacket, 10};
}

// Copies what fits of data into the transfer's buffer.
void Fill(Transfer& transfer, std::span<const BYTE> data) {
    const std::size_t bytes = std::min<std::size_t>(data.size(), transfer.length);
    if (bytes != 0) {
        std::memcpy(transfer.buffer, data.data(), bytes);
    }
    transfer.bytes = static_cast<DWORD>(bytes);
}

std::unique_ptr<Transfer> NewTransfer(LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID param, DWORD flags,
                                      DWORD length, LPVOID buffer) {
    auto transfer = std::make_unique<Transfer>();
    transfer->routine = routine;
    transfer->param = param;
    transfer->flags = flags;
    transfer->length = length;
    transfer->buffer = static_cast<BYTE*>(buffer);
    return transfer;
}

}  // namespace

FakeUsb* FakeUsb::current_ = nullptr;

FakeUsb::FakeUsb(WORD idVendor, WORD idProduct, WORD bcdDevice) : previous_(current_) {
    current_ = this;
    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpGetDeviceInfo = GetDeviceInfo;
    funcs_.lpOpenPipe = OpenPipe;
    funcs_.lpAbortPipeTransfers = AbortPipeTransfers;
    funcs_.lpClosePipe = ClosePipe;
    funcs_.lpRegisterNotificationRoutine = RegisterNotificationRoutine;
    funcs_.lpIssueInterruptTransfer = IssueInterruptTransfer;
    funcs_.lpIssueVendorTransfer = IssueVendorTransfer;
    funcs_.lpGetTransferStatus = GetTransferStatus;
    funcs_.lpCloseTransfer = CloseTransfer;
    funcs_.lpIsPipeHalted = IsPipeHalted;
    funcs_.lpResetPipe = ResetPipe;
    device_.dwCount = sizeof(USB_DEVICE);
    device_.Descriptor.bLength = 18;
    device_.Descriptor.bDescriptorType = 1;
    device_.Descriptor.idVendor = idVendor;
    device_.Descriptor.idProduct = idProduct;
    device_.Descriptor.bcdDevice = bcdDevice;
    interface_.dwCount = sizeof(USB_INTERFACE);
    SetInterfaceClass(0xFF, 0, 0);
    SetEndpoints({Endpoint(0x01, 0x03, 8), Endpoint(kInEndpoint, 0x03, 8)});
}

FakeUsb::~FakeUsb() {
    current_ = previous_;
}

USB_HANDLE FakeUsb::Device() const {
    return Fixed<USB_HANDLE>(0xD0);
}

USB_PIPE FakeUsb::Pipe() const {
    return Fixed<USB_PIPE>(0xE0);
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

std::vector<Transfer> FakeUsb::VendorTransfers() const {
    std::lock_guard lock(mutex_);
    std::vector<Transfer> result;
    for (const auto& transfer : transfers_) {
        if (!transfer->interrupt) {
            result.push_back(*transfer);
        }
    }
    return result;
}

USB_TRANSFER FakeUsb::LastVendorTransfer() const {
    std::lock_guard lock(mutex_);
    const auto last = std::find_if(transfers_.rbegin(), transfers_.rend(),
                                   [](const auto& t) { return !t->interrupt; });
    return last == transfers_.rend() ? nullptr : reinterpret_cast<USB_TRANSFER>(last->get());
}

std::size_t FakeUsb::InterruptIssueCount() const {
    std::lock_guard lock(mutex_);
    return interruptIssues_;
}

std::vector<Transfer> FakeUsb::Queued() const {
    std::lock_guard lock(mutex_);
    std::vector<Transfer> result;
    for (const Transfer* transfer : queue_) {
        result.push_back(*transfer);
    }
    return result;
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
        transfer->complete = true;
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

Transfer* FakeUsb::Find(USB_TRANSFER handle) const {
    for (const auto& transfer : transfers_) {
        if (reinterpret_cast<USB_TRANSFER>(transfer.get()) == handle) {
            return transfer.get();
        }
    }
    return nullptr;
}

// Every queued transfer completes as cancelled.
void FakeUsb::CancelQueued() {
    while (CompleteInterrupt({}, USB_CANCELED_ERROR)) {
    }
}

LPCUSB_DEVICE FakeUsb::GetDeviceInfo(USB_HANDLE) {
    ++current_->getDeviceInfoCalls;
    return current_->deviceInfoFails ? nullptr : &current_->device_;
}

USB_PIPE FakeUsb::OpenPipe(USB_HANDLE, LPCUSB_ENDPOINT_DESCRIPTOR lpEndpointDescriptor) {
    current_->openedEndpoints.push_back(lpEndpointDescriptor->bEndpointAddress);
    return current_->openPipeFails ? nullptr : current_->Pipe();
}

BOOL FakeUsb::AbortPipeTransfers(USB_PIPE, DWORD) {
    ++current_->abortCalls;
    current_->CancelQueued();
    return TRUE;
}

BOOL FakeUsb::ClosePipe(USB_PIPE) {
    ++current_->closePipeCalls;
    {
        std::lock_guard lock(current_->mutex_);
        current_->pipeClosed_ = true;
    }
    current_->CancelQueued();
    return TRUE;
}

BOOL FakeUsb::RegisterNotificationRoutine(USB_HANDLE, LPDEVICE_NOTIFY_ROUTINE lpNotifyRoutine,
                                          LPVOID) {
    current_->notifyRoutine = lpNotifyRoutine;
    return TRUE;
}

USB_TRANSFER FakeUsb::IssueInterruptTransfer(USB_PIPE, LPTRANSFER_NOTIFY_ROUTINE lpStartAddress,
                                             LPVOID lpvNotifyParameter, DWORD dwFlags,
                                             DWORD dwBufferSize, LPVOID lpvBuffer, ULONG) {
    FakeUsb& self = *current_;
    USB_TRANSFER handle = nullptr;
    {
        std::lock_guard lock(self.mutex_);
        const std::size_t attempt = self.interruptIssueAttempts_++;
        if (self.pipeClosed_ || self.interruptIssues_ >= self.interruptIssuesAllowed.load() ||
            attempt == self.failInterruptIssueAttempt.load()) {
            return nullptr;
        }
        ++self.interruptIssues_;
        auto transfer =
            NewTransfer(lpStartAddress, lpvNotifyParameter, dwFlags, dwBufferSize, lpvBuffer);
        transfer->interrupt = true;
        handle = reinterpret_cast<USB_TRANSFER>(transfer.get());
        self.queue_.push_back(transfer.get());
        self.transfers_.push_back(std::move(transfer));
    }
    self.changed_.notify_all();
    return handle;
}

USB_TRANSFER FakeUsb::IssueVendorTransfer(USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE lpStartAddress,
                                          LPVOID lpvNotifyParameter, DWORD dwFlags,
                                          LPCUSB_DEVICE_REQUEST lpControlHeader, LPVOID lpvBuffer,
                                          ULONG) {
    FakeUsb& self = *current_;
    if (self.vendorIssueFails) {
        return nullptr;
    }
    auto transfer = NewTransfer(lpStartAddress, lpvNotifyParameter, dwFlags,
                                lpControlHeader->wLength, lpvBuffer);
    const bool in = (dwFlags & USB_IN_TRANSFER) != 0;
    if (!in && lpvBuffer != nullptr) {
        transfer->sent.assign(transfer->buffer, transfer->buffer + transfer->length);
    }
    const bool completes = lpStartAddress == nullptr || self.vendorAsyncCompletes;
    if (completes) {
        const VendorAnswer answer =
            self.vendor ? self.vendor(*lpControlHeader, transfer->sent) : VendorAnswer{};
        transfer->usbError = answer.usbError;
        if (in) {
            Fill(*transfer, answer.data);
        } else {
            transfer->bytes = transfer->length;
        }
        transfer->complete = true;
    }
    const auto handle = reinterpret_cast<USB_TRANSFER>(transfer.get());
    {
        std::lock_guard lock(self.mutex_);
        self.transfers_.push_back(std::move(transfer));
    }
    if (completes && lpStartAddress != nullptr) {
        lpStartAddress(lpvNotifyParameter);
    }
    return handle;
}

BOOL FakeUsb::GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD lpdwBytesTransferred,
                                LPDWORD lpdwError) {
    std::lock_guard lock(current_->mutex_);
    const Transfer* transfer = current_->Find(hTransfer);
    if (current_->statusFails.load() || transfer == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpdwBytesTransferred = transfer->bytes;
    *lpdwError = transfer->complete ? transfer->usbError : USB_NOT_COMPLETE_ERROR;
    return TRUE;
}

BOOL FakeUsb::CloseTransfer(USB_TRANSFER hTransfer) {
    FakeUsb& self = *current_;
    std::lock_guard lock(self.mutex_);
    Transfer* transfer = self.Find(hTransfer);
    if (transfer == nullptr || transfer->closed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    transfer->closed = true;
    std::erase(self.queue_, transfer);  // a transfer closed while queued is withdrawn
    return TRUE;
}

BOOL FakeUsb::IsPipeHalted(USB_PIPE, LPBOOL lpbHalted) {
    if (current_->isPipeHaltedFails.load()) {
        return FALSE;
    }
    *lpbHalted = current_->pipeHalted.load() ? TRUE : FALSE;
    return TRUE;
}

BOOL FakeUsb::ResetPipe(USB_PIPE) {
    ++current_->resetPipeCalls;
    if (current_->resetPipeFails.load()) {
        return FALSE;
    }
    current_->pipeHalted = false;
    return TRUE;
}

}  // namespace ots::test
