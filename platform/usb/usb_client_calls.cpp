// The calls of the function table a client driver gets: pipes, transfers, notification.
#include <algorithm>
#include <cstring>

#include "ce/kernel.h"
#include "usb_handles.h"
#include "usb_stack.h"

namespace ce::usb {

namespace {

template <class T>
T Refuse(DWORD error, T result) {
    SetLastError(error);
    return result;
}

bool IsDeviceToHost(const USB_DEVICE_REQUEST& setup) {
    return (setup.bmRequestType & 0x80) != 0;
}

}  // namespace

// --- the function table ----------------------------------------------------------------------

LPCUSB_DEVICE Stack::GetDeviceInfo(USB_HANDLE hDevice) {
    std::lock_guard lock(mutex_);
    const auto device = FindDeviceLocked(hDevice);
    return device ? device->descriptors.Device()
                  : Refuse<LPCUSB_DEVICE>(ERROR_INVALID_HANDLE, nullptr);
}

USB_PIPE Stack::OpenPipe(USB_HANDLE hDevice, LPCUSB_ENDPOINT_DESCRIPTOR descriptor) {
    std::lock_guard lock(mutex_);
    const auto device = FindDeviceLocked(hDevice);
    if (!device) {
        return Refuse<USB_PIPE>(ERROR_INVALID_HANDLE, nullptr);
    }
    if (device->gone) {
        return Refuse<USB_PIPE>(ERROR_DEVICE_NOT_CONNECTED, nullptr);
    }
    Endpoint* endpoint =
        descriptor != nullptr ? device->FindEndpoint(descriptor->bEndpointAddress) : nullptr;
    if (endpoint == nullptr) {
        return Refuse<USB_PIPE>(ERROR_INVALID_PARAMETER, nullptr);
    }
    if (endpoint->pipe != 0) {
        return Refuse<USB_PIPE>(ERROR_ALREADY_EXISTS, nullptr);
    }
    endpoint->pipe = nextHandle_++;
    endpoint->halted = false;
    endpoint->outstanding = 0;
    endpoint->ringSize = 0;
    pipes_.emplace(endpoint->pipe, PipeEntry{device, endpoint});
    ++device->openPipes;
    return ToHandle<USB_PIPE>(endpoint->pipe);
}

BOOL Stack::AbortPipeTransfers(USB_PIPE hPipe, DWORD flags) {
    std::unique_lock lock(mutex_);
    PipeEntry* pipe = FindPipeLocked(hPipe, "AbortPipeTransfers");
    if (pipe == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    CancelQueuedLocked(*pipe->endpoint);
    WaitForCompletionsLocked(lock, flags);
    return TRUE;
}

BOOL Stack::ClosePipe(USB_PIPE hPipe) {
    std::unique_lock lock(mutex_);
    PipeEntry* pipe = FindPipeLocked(hPipe, "ClosePipe");
    if (pipe == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    const PipeEntry entry = *pipe;
    pipes_.erase(entry.endpoint->pipe);
    closedPipes_.insert(entry.endpoint->pipe);
    CancelQueuedLocked(*entry.endpoint);
    entry.endpoint->pipe = 0;
    entry.endpoint->halted = false;
    entry.endpoint->outstanding = 0;
    entry.endpoint->ringSize = 0;
    --entry.device->openPipes;
    ForgetIfUnusedLocked(entry.device);
    completions_.Flush(lock);
    return TRUE;
}

BOOL Stack::RegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                        LPVOID parameter) {
    std::lock_guard lock(mutex_);
    const auto device = FindDeviceLocked(hDevice);
    if (!device) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    if (routine == nullptr) {
        return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (device->gone) {
        return Refuse(ERROR_DEVICE_NOT_CONNECTED, FALSE);
    }
    device->notifiers.emplace_back(routine, parameter);
    return TRUE;
}

BOOL Stack::UnRegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                          LPVOID parameter) {
    std::lock_guard lock(mutex_);
    const auto device = FindDeviceLocked(hDevice);
    if (!device) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    auto& notifiers = device->notifiers;
    const auto it = std::find(notifiers.begin(), notifiers.end(), std::pair{routine, parameter});
    if (it == notifiers.end()) {
        return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    }
    notifiers.erase(it);
    return TRUE;
}

USB_TRANSFER Stack::IssueInterruptTransfer(USB_PIPE hPipe, LPTRANSFER_NOTIFY_ROUTINE routine,
                                           LPVOID parameter, DWORD flags, DWORD length,
                                           LPVOID buffer) {
    std::unique_lock lock(mutex_);
    PipeEntry* pipe = FindPipeLocked(hPipe, "IssueInterruptTransfer");
    if (pipe == nullptr) {
        return Refuse<USB_TRANSFER>(ERROR_INVALID_HANDLE, nullptr);
    }
    const bool wantsIn = (flags & USB_IN_TRANSFER) != 0;
    if ((buffer == nullptr && length > 0) || wantsIn != pipe->endpoint->IsIn()) {
        return Refuse<USB_TRANSFER>(ERROR_INVALID_PARAMETER, nullptr);
    }
    Device& device = *pipe->device;
    Endpoint& endpoint = *pipe->endpoint;
    Transfer& transfer = NewTransferLocked(pipe->device, &endpoint);
    transfer.routine = routine;
    transfer.parameter = parameter;
    transfer.flags = flags;
    transfer.buffer = static_cast<BYTE*>(buffer);
    transfer.length = length;
    const std::uint64_t handle = transfer.Handle();
    if (device.gone) {
        CompleteLocked(transfer, USB_DEVICE_NOT_RESPONDING_ERROR, 0, true);
    } else if (!endpoint.IsIn()) {
        if (routine != nullptr) {
            CompletionJob job;
            job.kind = CompletionJob::Kind::DataOut;
            job.transfer = handle;
            completions_.Post(job);
        } else {
            lock.unlock();
            RunDataOut(handle);
        }
    } else {
        endpoint.queued.push_back(&transfer);
        ServiceLocked(device, endpoint);
    }
    return ToHandle<USB_TRANSFER>(handle);
}

USB_TRANSFER Stack::IssueVendorTransfer(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine,
                                        LPVOID parameter, DWORD flags, LPCUSB_DEVICE_REQUEST setup,
                                        LPVOID buffer) {
    std::unique_lock lock(mutex_);
    const auto device = FindDeviceLocked(hDevice);
    if (!device) {
        return Refuse<USB_TRANSFER>(ERROR_INVALID_HANDLE, nullptr);
    }
    if (setup == nullptr || (setup->wLength > 0 && buffer == nullptr)) {
        return Refuse<USB_TRANSFER>(ERROR_INVALID_PARAMETER, nullptr);
    }
    Transfer& transfer = NewTransferLocked(device, nullptr);
    transfer.routine = routine;
    transfer.parameter = parameter;
    transfer.flags = flags;
    transfer.buffer = static_cast<BYTE*>(buffer);
    transfer.length = setup->wLength;
    const std::uint64_t handle = transfer.Handle();
    if (routine != nullptr) {
        CompletionJob job;
        job.kind = CompletionJob::Kind::Control;
        job.transfer = handle;
        job.setup = *setup;
        completions_.Post(job);
    } else {
        // Without a completion routine the transfer is complete when the call returns.
        lock.unlock();
        RunControl(handle, *setup);
    }
    return ToHandle<USB_TRANSFER>(handle);
}

void Stack::RunJob(const CompletionJob& job) {
    if (job.kind == CompletionJob::Kind::Control) {
        RunControl(job.transfer, job.setup);
    } else if (job.kind == CompletionJob::Kind::DataOut) {
        RunDataOut(job.transfer);
    }
}

// The device answers outside the lock. The transfer is looked up again afterwards: if it was
// aborted or closed meanwhile, the answer is dropped and the client's buffer left alone.
void Stack::RunControl(std::uint64_t handle, const USB_DEVICE_REQUEST& setup) {
    std::shared_ptr<host::UsbDeviceModel> model;
    std::vector<BYTE> data;
    {
        std::lock_guard lock(mutex_);
        Transfer* transfer = transfers_.Find(handle);
        if (transfer == nullptr || transfer->complete) {
            return;
        }
        const Device& device = *transfer->device;
        if (device.gone || !device.responding || !device.model) {
            CompleteLocked(*transfer, USB_DEVICE_NOT_RESPONDING_ERROR, 0, true);
            return;
        }
        model = device.model;
        data.resize(transfer->length);
        if (!IsDeviceToHost(setup) && !data.empty()) {
            std::memcpy(data.data(), transfer->buffer, data.size());
        }
    }
    const host::ControlResult result = model->Control(setup, data);
    std::lock_guard lock(mutex_);
    Transfer* transfer = transfers_.Find(handle);
    if (transfer == nullptr || transfer->complete) {
        return;
    }
    const auto bytes = std::min<DWORD>(result.bytesTransferred, transfer->length);
    if (IsDeviceToHost(setup) && bytes > 0) {
        std::memcpy(transfer->buffer, data.data(), bytes);
    }
    CompleteLocked(*transfer, result.usbError, bytes, true);
}

void Stack::RunDataOut(std::uint64_t handle) {
    std::shared_ptr<host::UsbDeviceModel> model;
    std::vector<BYTE> data;
    BYTE address = 0;
    {
        std::lock_guard lock(mutex_);
        Transfer* transfer = transfers_.Find(handle);
        if (transfer == nullptr || transfer->complete) {
            return;
        }
        const Device& device = *transfer->device;
        Endpoint& endpoint = *transfer->endpoint;
        if (device.gone || !device.responding || !device.model) {
            CompleteLocked(*transfer, USB_DEVICE_NOT_RESPONDING_ERROR, 0, true);
            return;
        }
        if (endpoint.halted || endpoint.stallPending) {
            endpoint.stallPending = false;
            endpoint.halted = true;
            CompleteLocked(*transfer, USB_STALL_ERROR, 0, true);
            return;
        }
        model = device.model;
        address = endpoint.descriptor.bEndpointAddress;
        data.assign(transfer->buffer, transfer->buffer + transfer->length);
    }
    const host::ControlResult result = model->DataOut(address, data);
    std::lock_guard lock(mutex_);
    Transfer* transfer = transfers_.Find(handle);
    if (transfer != nullptr && !transfer->complete) {
        CompleteLocked(*transfer, result.usbError,
                       std::min<DWORD>(result.bytesTransferred, transfer->length), true);
    }
}

BOOL Stack::GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD bytesTransferred, LPDWORD usbError) {
    std::lock_guard lock(mutex_);
    Transfer* transfer = FindTransferLocked(hTransfer);
    if (transfer == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    if (bytesTransferred != nullptr) {
        *bytesTransferred = transfer->complete ? transfer->bytesTransferred : 0;
    }
    if (usbError != nullptr) {
        *usbError = transfer->complete ? transfer->usbError : USB_NOT_COMPLETE_ERROR;
    }
    return TRUE;
}

BOOL Stack::IsTransferComplete(USB_TRANSFER hTransfer) {
    std::lock_guard lock(mutex_);
    Transfer* transfer = FindTransferLocked(hTransfer);
    if (transfer == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    return transfer->complete ? TRUE : FALSE;
}

BOOL Stack::AbortTransfer(USB_TRANSFER hTransfer, DWORD flags) {
    std::unique_lock lock(mutex_);
    Transfer* transfer = FindTransferLocked(hTransfer);
    if (transfer == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!transfer->complete) {
        CompleteLocked(*transfer, USB_CANCELED_ERROR, 0, true);
    }
    WaitForCompletionsLocked(lock, flags);
    return TRUE;
}

BOOL Stack::CloseTransfer(USB_TRANSFER hTransfer) {
    std::lock_guard lock(mutex_);
    Transfer* transfer = FindTransferLocked(hTransfer);
    if (transfer == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!transfer->complete) {
        // Closing an unfinished transfer cancels it; its client no longer wants to hear of it.
        CompleteLocked(*transfer, USB_CANCELED_ERROR, 0, false);
    }
    if (transfer->endpoint != nullptr && transfer->pipe == transfer->endpoint->pipe) {
        --transfer->endpoint->outstanding;
    }
    const std::shared_ptr<Device> device = transfer->device;
    --device->liveTransfers;
    transfers_.Release(*transfer);
    ForgetIfUnusedLocked(device);
    changed_.notify_all();
    return TRUE;
}

BOOL Stack::IsPipeHalted(USB_PIPE hPipe, LPBOOL halted) {
    std::lock_guard lock(mutex_);
    PipeEntry* pipe = FindPipeLocked(hPipe, "IsPipeHalted");
    if (pipe == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    if (halted == nullptr) {
        return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    }
    *halted = pipe->endpoint->halted ? TRUE : FALSE;
    return TRUE;
}

BOOL Stack::ResetPipe(USB_PIPE hPipe) {
    std::shared_ptr<host::UsbDeviceModel> model;
    BYTE address = 0;
    {
        std::lock_guard lock(mutex_);
        PipeEntry* pipe = FindPipeLocked(hPipe, "ResetPipe");
        if (pipe == nullptr) {
            return Refuse(ERROR_INVALID_HANDLE, FALSE);
        }
        model = pipe->device->gone ? nullptr : pipe->device->model;
        address = pipe->endpoint->descriptor.bEndpointAddress;
    }
    // The device's halt is cleared before the pipe is serviced again.
    if (model) {
        model->ResetEndpoint(address);
    }
    std::lock_guard lock(mutex_);
    PipeEntry* pipe = FindPipeLocked(hPipe, "ResetPipe");
    if (pipe == nullptr) {
        return Refuse(ERROR_INVALID_HANDLE, FALSE);
    }
    pipe->endpoint->halted = false;
    pipe->endpoint->stallPending = false;
    ServiceLocked(*pipe->device, *pipe->endpoint);
    changed_.notify_all();
    return TRUE;
}

}  // namespace ce::usb
