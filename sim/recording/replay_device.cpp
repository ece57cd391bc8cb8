#include "sim/replay_device.h"

#include <algorithm>

#include "ce/debug.h"
#include "ce/host/clock.h"
#include "sim/standard_requests.h"

namespace ots::sim {
namespace {

constexpr BYTE kDirectionIn = 0x80;

bool SameSetup(const USB_DEVICE_REQUEST& a, const USB_DEVICE_REQUEST& b) {
    return a.bmRequestType == b.bmRequestType && a.bRequest == b.bRequest && a.wValue == b.wValue &&
           a.wIndex == b.wIndex && a.wLength == b.wLength;
}

}  // namespace

ReplayDevice::ReplayDevice(UsbRecording recording) : recording_(std::move(recording)) {
    for (const RecordedEvent& event : recording_.events) {
        progress_.controlsRecorded += std::holds_alternative<RecordedControl>(event.what);
        progress_.packetsRecorded += std::holds_alternative<RecordedPacket>(event.what);
    }
}

ReplayDevice::~ReplayDevice() {
    Disconnected();
}

std::size_t ReplayDevice::NextControl(std::size_t from) const {
    for (std::size_t i = from; i < recording_.events.size(); ++i) {
        if (std::holds_alternative<RecordedControl>(recording_.events[i].what)) {
            return i;
        }
    }
    return recording_.events.size();
}

void ReplayDevice::Report(const std::string& difference) {
    progress_.differences.push_back(difference);
    NKDbgPrintfW(L"replay: %hs\r\n", difference.c_str());
}

ce::host::ControlResult ReplayDevice::Control(const USB_DEVICE_REQUEST& setup,
                                              std::span<BYTE> data) {
    std::lock_guard lock(mutex_);
    const std::size_t at = NextControl(nextControl_);
    const bool in = (setup.bmRequestType & kDirectionIn) != 0;
    const std::string asked = DescribeSetup(setup);
    if (at == recording_.events.size()) {
        Report("request " + asked + " comes after the recording's last");
        return kStall;
    }
    const RecordedControl& recorded = std::get<RecordedControl>(recording_.events[at].what);
    const bool sameData = in || std::ranges::equal(data, recorded.sent);
    if (!SameSetup(setup, recorded.setup) || !sameData) {
        Report("request " + std::to_string(answered_ + 1) + " is " + asked +
               (sameData ? "" : " with other data") + ", recorded " +
               DescribeSetup(recorded.setup));
        return kStall;
    }
    const std::size_t n = std::min(data.size(), recorded.received.size());
    std::copy_n(recorded.received.begin(), n, data.begin());
    nextControl_ = at + 1;
    ++answered_;
    ++progress_.controls;
    anchorRecordedMs_ = recording_.events[at].platformMs;
    anchorPlatformMs_ = ce::host::PlatformNowMs();
    changed_.notify_all();
    return {recorded.usbError, in ? static_cast<DWORD>(n) : recorded.transferred};
}

void ReplayDevice::Connected(ce::host::UsbPort* port) {
    std::lock_guard lock(mutex_);
    port_ = port;
    stopping_ = false;
    anchorPlatformMs_ = ce::host::PlatformNowMs();
    player_ = std::thread([this] { Play(); });
}

void ReplayDevice::Disconnected() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (player_.joinable()) {
        player_.join();
    }
}

void ReplayDevice::Play() {
    std::size_t controlsBefore = 0;
    std::unique_lock lock(mutex_);
    for (const RecordedEvent& event : recording_.events) {
        controlsBefore += std::holds_alternative<RecordedControl>(event.what);
        const auto* packet = std::get_if<RecordedPacket>(&event.what);
        if (packet == nullptr) {
            continue;
        }
        changed_.wait(lock, [&] { return stopping_ || answered_ >= controlsBefore; });
        const double dueMs =
            anchorPlatformMs_ + std::max(0.0, event.platformMs - anchorRecordedMs_);
        for (double now; !stopping_ && (now = ce::host::PlatformNowMs()) < dueMs;) {
            changed_.wait_for(lock, ce::host::ToRealDuration(dueMs - now));
        }
        if (stopping_) {
            return;
        }
        lock.unlock();
        bool sent = true;
        if (packet->usbError == USB_STALL_ERROR) {
            port_->Stall(packet->endpoint);
        } else {
            sent = port_->SendInterrupt(packet->endpoint, packet->data);
        }
        lock.lock();
        if (!sent) {
            return;  // gone from the bus
        }
        ++progress_.packets;
        anchorRecordedMs_ = event.platformMs;
        anchorPlatformMs_ = ce::host::PlatformNowMs();
        changed_.notify_all();
    }
}

ReplayProgress ReplayDevice::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

bool ReplayDevice::WaitDone(DWORD platformTimeoutMs) {
    const double deadline = ce::host::PlatformNowMs() + platformTimeoutMs;
    std::unique_lock lock(mutex_);
    for (double now; !progress_.Done() && (now = ce::host::PlatformNowMs()) < deadline;) {
        changed_.wait_for(lock, ce::host::ToRealDuration(std::min(deadline - now, 100.0)));
    }
    if (!progress_.Done() || port_ == nullptr) {
        return false;
    }
    ce::host::UsbPort* port = port_;
    lock.unlock();
    const double left = deadline - ce::host::PlatformNowMs();
    return left > 0 && port->WaitIdle(static_cast<DWORD>(left));
}

}  // namespace ots::sim
