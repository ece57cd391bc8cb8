// The stack's tables, completion of transfers, and devices coming and going.
#include "usb_stack.h"

#include <algorithm>
#include <cstring>

#include "ce/debug.h"
#include "usb_handles.h"

namespace ce::usb {

Device::Device(Stack& stack, std::uint32_t handleNumber, std::shared_ptr<host::UsbDeviceModel> m,
               const USB_DEVICE_DESCRIPTOR& deviceDescriptor,
               const std::vector<host::UsbInterfaceModel>& interfaces)
    : handle(handleNumber),
      model(std::move(m)),
      descriptors(deviceDescriptor, interfaces),
      port(stack, *this) {
    for (const auto& descriptor : descriptors.AllEndpoints()) {
        endpoints.emplace_back().descriptor = descriptor;
    }
}

Endpoint* Device::FindEndpoint(BYTE address) {
    for (auto& endpoint : endpoints) {
        if (endpoint.descriptor.bEndpointAddress == address) {
            return &endpoint;
        }
    }
    return nullptr;
}

Stack& Stack::Instance() {
    // Never destroyed: the completion thread and the devices' models live until the process
    // ends, whatever order other objects are torn down in.
    static auto* stack = new Stack;
    return *stack;
}

Stack::Stack()
    : completions_(mutex_, changed_, [this](const CompletionJob& job) { RunJob(job); }) {}

// --- lookups ---------------------------------------------------------------------------------

std::shared_ptr<Device> Stack::FindDeviceLocked(USB_HANDLE hDevice) {
    const auto it = devices_.find(HandleNumber(hDevice));
    return it == devices_.end() ? nullptr : it->second;
}

Stack::PipeEntry* Stack::FindPipeLocked(USB_PIPE hPipe, const char* call) {
    const std::uint32_t number = HandleNumber(hPipe);
    const auto it = pipes_.find(number);
    if (it != pipes_.end()) {
        return &it->second;
    }
    if (closedPipes_.contains(number)) {
        NKDbgPrintfW(L"usbd: %hs on closed pipe 0x%x\r\n", call, number);
    }
    return nullptr;
}

Transfer* Stack::FindTransferLocked(USB_TRANSFER hTransfer) {
    return transfers_.Find(HandleValue(hTransfer));
}

Transfer& Stack::NewTransferLocked(const std::shared_ptr<Device>& device, Endpoint* endpoint) {
    Transfer& transfer = transfers_.Allocate();
    transfer.device = device;
    transfer.endpoint = endpoint;
    transfer.pipe = endpoint != nullptr ? endpoint->pipe : 0;
    ++device->liveTransfers;
    if (endpoint != nullptr) {
        ++endpoint->outstanding;
        endpoint->ringSize = std::max(endpoint->ringSize, endpoint->outstanding);
    }
    return transfer;
}

void Stack::ForgetIfUnusedLocked(const std::shared_ptr<Device>& device) {
    if (device->detached && device->openPipes == 0 && device->liveTransfers == 0) {
        devices_.erase(device->handle);
    }
}

// --- completion ------------------------------------------------------------------------------

void Stack::CompleteLocked(Transfer& transfer, DWORD usbError, DWORD bytes, bool notify) {
    transfer.complete = true;
    transfer.usbError = usbError;
    transfer.bytesTransferred = bytes;
    if (transfer.endpoint != nullptr) {
        auto& queued = transfer.endpoint->queued;
        const auto it = std::find(queued.begin(), queued.end(), &transfer);
        if (it != queued.end()) {
            queued.erase(it);
        }
    }
    if (notify && transfer.routine != nullptr) {
        CompletionJob job;
        job.routine = transfer.routine;
        job.parameter = transfer.parameter;
        completions_.Post(job);
    }
    changed_.notify_all();
}

// Hands offered reports to queued IN transfers, oldest first; an endpoint with nothing to send
// leaves its transfers queued.
void Stack::ServiceLocked(Device& device, Endpoint& endpoint) {
    if (device.gone || !endpoint.IsIn()) {
        return;
    }
    while (!endpoint.queued.empty()) {
        Transfer* transfer = endpoint.queued.front();
        if (!device.responding) {
            CompleteLocked(*transfer, USB_DEVICE_NOT_RESPONDING_ERROR, 0, true);
            continue;
        }
        if (endpoint.halted) {
            return;
        }
        if (endpoint.stallPending) {
            endpoint.stallPending = false;
            endpoint.halted = true;
            CompleteLocked(*transfer, USB_STALL_ERROR, 0, true);
            return;
        }
        if (endpoint.fifo.empty()) {
            return;
        }
        const std::vector<BYTE> report = std::move(endpoint.fifo.front());
        endpoint.fifo.pop_front();
        const auto bytes =
            static_cast<DWORD>(std::min<std::size_t>(report.size(), transfer->length));
        if (bytes > 0) {
            std::memcpy(transfer->buffer, report.data(), bytes);
        }
        const bool shortRefused =
            bytes < transfer->length && (transfer->flags & USB_SHORT_TRANSFER_OK) == 0;
        CompleteLocked(*transfer, shortRefused ? USB_DATA_UNDERRUN_ERROR : USB_NO_ERROR, bytes,
                       true);
    }
}

void Stack::CancelQueuedLocked(Endpoint& endpoint) {
    while (!endpoint.queued.empty()) {
        CompleteLocked(*endpoint.queued.front(), USB_CANCELED_ERROR, 0, true);
    }
}

void Stack::WaitForCompletionsLocked(std::unique_lock<std::mutex>& lock, DWORD flags) {
    if ((flags & USB_NO_WAIT) == 0) {
        completions_.Flush(lock);
    }
}

// --- the bus ---------------------------------------------------------------------------------

std::shared_ptr<Device> Stack::AddDevice(std::shared_ptr<host::UsbDeviceModel> model) {
    const USB_DEVICE_DESCRIPTOR descriptor = model->DeviceDescriptor();
    const std::vector<host::UsbInterfaceModel> interfaces = model->Interfaces();
    std::lock_guard lock(mutex_);
    auto device =
        std::make_shared<Device>(*this, nextHandle_++, std::move(model), descriptor, interfaces);
    bus_.push_back(device);
    devices_.emplace(device->handle, device);
    return device;
}

std::shared_ptr<Device> Stack::BeginUnplug(
    std::uint32_t id, std::vector<std::pair<LPDEVICE_NOTIFY_ROUTINE, LPVOID>>& notifiers,
    std::shared_ptr<host::UsbDeviceModel>& model) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(bus_.begin(), bus_.end(),
                                 [&](const auto& d) { return d->handle == id && !d->gone; });
    if (it == bus_.end()) {
        return nullptr;
    }
    auto device = *it;
    device->gone = true;
    notifiers = std::move(device->notifiers);
    device->notifiers.clear();
    model = device->model;
    changed_.notify_all();
    return device;
}

void Stack::FinishUnplug(const std::shared_ptr<Device>& device) {
    std::shared_ptr<host::UsbDeviceModel> model;
    {
        std::unique_lock lock(mutex_);
        for (auto& endpoint : device->endpoints) {
            CancelQueuedLocked(endpoint);
            endpoint.fifo.clear();
        }
        device->detached = true;
        model = std::move(device->model);
        std::erase(bus_, device);
        ForgetIfUnusedLocked(device);
        completions_.Flush(lock);
    }
    // The model may go away here, outside the lock.
}

std::vector<host::UsbDeviceId> Stack::PluggedDevices() {
    std::lock_guard lock(mutex_);
    std::vector<host::UsbDeviceId> ids;
    for (const auto& device : bus_) {
        if (!device->gone) {
            ids.push_back(device->handle);
        }
    }
    return ids;
}

bool Stack::IsClaimed(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const auto it = devices_.find(id);
    return it != devices_.end() && it->second->claimed;
}

void Stack::SetClaimed(Device& device) {
    std::lock_guard lock(mutex_);
    device.claimed = true;
}

}  // namespace ce::usb
