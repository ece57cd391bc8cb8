#include "support/fake_usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ce/kernel.h"

namespace ots::test {

namespace {

const auto kWaitLimit = std::chrono::seconds(10);

// Handles the fake never dereferences.
USB_HANDLE DeviceHandle() {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<USB_HANDLE>(static_cast<std::uintptr_t>(0xD0));
}
USB_PIPE PipeHandle() {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<USB_PIPE>(static_cast<std::uintptr_t>(0xE0));
}

USB_ENDPOINT_DESCRIPTOR Endpoint(BYTE address, BYTE attributes, WORD maxPacket) {
    return {7, 5, address, attributes, maxPacket, 10};
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
    SetEndpoints({Endpoint(kOutEndpoint, 0x03, 8), Endpoint(kInEndpoint, 0x03, 8)});
}

FakeUsb::~FakeUsb() {
    current_ = previous_;
}

USB_HANDLE FakeUsb::Device() const {
    return DeviceHandle();
}

USB_PIPE FakeUsb::Pipe() const {
    return PipeHandle();
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
    for (auto it = transfers_.rbegin(); it != transfers_.rend(); ++it) {
        if (!(*it)->interrupt) {
            return reinterpret_cast<USB_TRANSFER>(it->get());
        }
    }
    return nullptr;
}

std::size_t FakeUsb::InterruptIssueCount() const {
    std::lock_guard lock(mutex_);
    return interruptIssues_;
}

std::size_t FakeUsb::QueuedInterrupts() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool FakeUsb::WaitQueued(std::size_t n) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWaitLimit, [&] { return queue_.size() == n; });
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
        const std::size_t bytes = std::min<std::size_t>(data.size(), transfer->length);
        if (!data.empty()) {
            std::memcpy(transfer->buffer, data.data(), bytes);
        }
        transfer->bytes = static_cast<DWORD>(bytes);
        transfer->usbError = usbError;
        transfer->complete = true;
    }
    changed_.notify_all();
    transfer->routine(transfer->param);
    return true;
}

std::vector<BYTE*> FakeUsb::QueuedBuffers() const {
    std::lock_guard lock(mutex_);
    std::vector<BYTE*> result;
    for (const Transfer* transfer : queue_) {
        result.push_back(transfer->buffer);
    }
    return result;
}

std::vector<DWORD> FakeUsb::QueuedFlags() const {
    std::lock_guard lock(mutex_);
    std::vector<DWORD> result;
    for (const Transfer* transfer : queue_) {
        result.push_back(transfer->flags);
    }
    return result;
}

std::vector<DWORD> FakeUsb::QueuedLengths() const {
    std::lock_guard lock(mutex_);
    std::vector<DWORD> result;
    for (const Transfer* transfer : queue_) {
        result.push_back(transfer->length);
    }
    return result;
}

std::size_t FakeUsb::ClosedTransferCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(transfers_.begin(), transfers_.end(),
                                                  [](const auto& t) { return t->closed; }));
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

LPCUSB_DEVICE FakeUsb::GetDeviceInfo(USB_HANDLE) {
    ++current_->getDeviceInfoCalls;
    return current_->deviceInfoFails ? nullptr : &current_->device_;
}

USB_PIPE FakeUsb::OpenPipe(USB_HANDLE, LPCUSB_ENDPOINT_DESCRIPTOR lpEndpointDescriptor) {
    current_->openedEndpoints.push_back(lpEndpointDescriptor->bEndpointAddress);
    return current_->openPipeFails ? nullptr : PipeHandle();
}

BOOL FakeUsb::AbortPipeTransfers(USB_PIPE, DWORD) {
    ++current_->abortCalls;
    // Every queued transfer completes as cancelled.
    while (current_->CompleteInterrupt({}, USB_CANCELED_ERROR)) {
    }
    return TRUE;
}

BOOL FakeUsb::ClosePipe(USB_PIPE) {
    ++current_->closePipeCalls;
    {
        std::lock_guard lock(current_->mutex_);
        current_->pipeClosed_ = true;
    }
    while (current_->CompleteInterrupt({}, USB_CANCELED_ERROR)) {
    }
    return TRUE;
}

BOOL FakeUsb::RegisterNotificationRoutine(USB_HANDLE, LPDEVICE_NOTIFY_ROUTINE lpNotifyRoutine,
                                          LPVOID lpvNotifyParameter) {
    current_->notifyRoutine = lpNotifyRoutine;
    current_->notifyParameter = lpvNotifyParameter;
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
        auto transfer = std::make_unique<Transfer>();
        transfer->interrupt = true;
        transfer->routine = lpStartAddress;
        transfer->param = lpvNotifyParameter;
        transfer->flags = dwFlags;
        transfer->length = dwBufferSize;
        transfer->buffer = static_cast<BYTE*>(lpvBuffer);
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
    auto transfer = std::make_unique<Transfer>();
    transfer->routine = lpStartAddress;
    transfer->param = lpvNotifyParameter;
    transfer->flags = dwFlags;
    transfer->setup = *lpControlHeader;
    transfer->length = lpControlHeader->wLength;
    transfer->buffer = static_cast<BYTE*>(lpvBuffer);
    const bool in = (dwFlags & USB_IN_TRANSFER) != 0;
    if (!in && lpvBuffer != nullptr) {
        transfer->sent.assign(transfer->buffer, transfer->buffer + transfer->length);
    }
    const bool completes = lpStartAddress == nullptr || self.vendorAsyncCompletes;
    if (completes) {
        VendorAnswer answer;
        if (self.vendor) {
            answer = self.vendor(*lpControlHeader, transfer->sent);
        }
        transfer->usbError = answer.usbError;
        if (in) {
            const std::size_t bytes = std::min<std::size_t>(answer.data.size(), transfer->length);
            if (bytes != 0) {
                std::memcpy(transfer->buffer, answer.data.data(), bytes);
            }
            transfer->bytes = static_cast<DWORD>(bytes);
        } else {
            transfer->bytes = transfer->length;
        }
        transfer->complete = true;
    }
    Transfer* raw = transfer.get();
    {
        std::lock_guard lock(self.mutex_);
        self.transfers_.push_back(std::move(transfer));
    }
    if (completes && lpStartAddress != nullptr) {
        lpStartAddress(lpvNotifyParameter);
    }
    return reinterpret_cast<USB_TRANSFER>(raw);
}

BOOL FakeUsb::GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD lpdwBytesTransferred,
                                LPDWORD lpdwError) {
    FakeUsb& self = *current_;
    std::lock_guard lock(self.mutex_);
    const Transfer* transfer = self.Find(hTransfer);
    if (self.statusFails.load() || transfer == nullptr) {
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
    if (self.closeTransferFails.load() || transfer == nullptr || transfer->closed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    transfer->closed = true;
    // A transfer closed while still queued is withdrawn.
    const auto queued = std::find(self.queue_.begin(), self.queue_.end(), transfer);
    if (queued != self.queue_.end()) {
        self.queue_.erase(queued);
    }
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
