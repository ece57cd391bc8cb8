// What a device model does through its port: offer reports, stall, fall silent, wait.
#include <chrono>

#include "ce/host/clock.h"
#include "usb_stack.h"

namespace ce::usb {

// --- the device's side -----------------------------------------------------------------------

bool Stack::SendInterrupt(Device& device, BYTE address, std::span<const BYTE> report) {
    std::lock_guard lock(mutex_);
    Endpoint* endpoint = device.FindEndpoint(address);
    if (device.gone || endpoint == nullptr || !endpoint->IsIn()) {
        return false;
    }
    endpoint->fifo.emplace_back(report.begin(), report.end());
    ServiceLocked(device, *endpoint);
    changed_.notify_all();
    return true;
}

void Stack::Stall(Device& device, BYTE address) {
    std::lock_guard lock(mutex_);
    Endpoint* endpoint = device.FindEndpoint(address);
    if (device.gone || endpoint == nullptr) {
        return;
    }
    endpoint->stallPending = true;
    ServiceLocked(device, *endpoint);
}

void Stack::SetResponding(Device& device, bool responding) {
    std::lock_guard lock(mutex_);
    device.responding = responding;
    for (auto& endpoint : device.endpoints) {
        ServiceLocked(device, endpoint);
    }
    changed_.notify_all();
}

bool Stack::IdleLocked(Device& device) const {
    if (!completions_.Idle()) {
        return false;
    }
    for (const auto& endpoint : device.endpoints) {
        if (!endpoint.fifo.empty()) {
            return false;
        }
        if (endpoint.pipe != 0 && endpoint.IsIn() && endpoint.queued.size() < endpoint.ringSize) {
            return false;  // a transfer is still being handled or waits to be issued again
        }
    }
    return true;
}

bool Stack::WaitIdle(Device& device, DWORD platformTimeoutMs) {
    // The completion queue going idle is signalled on its own condition, not on changed_, so
    // the wait looks again every millisecond instead of sleeping out the whole timeout.
    constexpr auto kLookAgain = std::chrono::milliseconds(1);
    const auto deadline =
        std::chrono::steady_clock::now() + host::ToRealDuration(platformTimeoutMs);
    std::unique_lock lock(mutex_);
    while (!device.gone && !IdleLocked(device) && std::chrono::steady_clock::now() < deadline) {
        changed_.wait_for(lock, kLookAgain);
    }
    return !device.gone && IdleLocked(device);
}

std::size_t Stack::QueuedTransfers(Device& device, BYTE address) {
    std::lock_guard lock(mutex_);
    const Endpoint* endpoint = device.FindEndpoint(address);
    return endpoint != nullptr ? endpoint->queued.size() : 0;
}

std::size_t Stack::PendingReports(Device& device, BYTE address) {
    std::lock_guard lock(mutex_);
    const Endpoint* endpoint = device.FindEndpoint(address);
    return endpoint != nullptr ? endpoint->fifo.size() : 0;
}

bool Stack::IsPipeOpen(Device& device, BYTE address) {
    std::lock_guard lock(mutex_);
    const Endpoint* endpoint = device.FindEndpoint(address);
    return endpoint != nullptr && endpoint->pipe != 0;
}

// --- DevicePort ------------------------------------------------------------------------------
// Each call holds the device, so one still running when the device is unplugged finishes safely.

bool DevicePort::SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) {
    const auto keep = device_.shared_from_this();
    return stack_.SendInterrupt(device_, endpointAddress, report);
}
void DevicePort::Stall(BYTE endpointAddress) {
    const auto keep = device_.shared_from_this();
    stack_.Stall(device_, endpointAddress);
}
void DevicePort::SetResponding(bool responding) {
    const auto keep = device_.shared_from_this();
    stack_.SetResponding(device_, responding);
}
bool DevicePort::WaitIdle(DWORD platformTimeoutMs) {
    const auto keep = device_.shared_from_this();
    return stack_.WaitIdle(device_, platformTimeoutMs);
}
std::size_t DevicePort::QueuedTransfers(BYTE endpointAddress) const {
    const auto keep = device_.shared_from_this();
    return stack_.QueuedTransfers(device_, endpointAddress);
}
std::size_t DevicePort::PendingReports(BYTE endpointAddress) const {
    const auto keep = device_.shared_from_this();
    return stack_.PendingReports(device_, endpointAddress);
}
bool DevicePort::IsPipeOpen(BYTE endpointAddress) const {
    const auto keep = device_.shared_from_this();
    return stack_.IsPipeOpen(device_, endpointAddress);
}

}  // namespace ce::usb
