#include "sim/coordinate_controller.h"

#include <algorithm>

#include "protocol/bytes.h"
#include "sim/standard_requests.h"

namespace ots::sim {

namespace {

constexpr BYTE kEndpointBulk = 0x02;
constexpr BYTE kEndpointInterrupt = 0x03;
constexpr WORD kBulkPacketSize = 64;
constexpr WORD kInterruptOutPacketSize = 8;
constexpr BYTE kPollIntervalMs = 10;
constexpr std::uint32_t kGarbageSeedSalt = 0x9E3779B9u;
// How long the sender waits for the host to take a report when pacing as fast as taken; a
// host that takes longer gets the next report anyway.
constexpr DWORD kTakenTimeoutMs = 5000;

}  // namespace

CoordinateController::CoordinateController(CoordinateControllerOptions options)
    : options_(options),
      panel_(options.screenWidthPx, options.screenHeightPx, options.mounting, kCoordinateRawMax),
      script_(options.reportRateHz),
      garbage_(options.mounting.seed ^ kGarbageSeedSalt),
      pacer_(1000.0 / options.reportRateHz,
             PacketSink{[this](std::span<const std::uint8_t> p) { return SendPacket(p); },
                        [this] {
                            ce::host::UsbPort* port = port_.load();
                            return port != nullptr && port->WaitIdle(kTakenTimeoutMs);
                        }}) {
    pacer_.SetPacing(options.pacing);
}

CoordinateController::~CoordinateController() {
    pacer_.Stop();
}

// --- a person at the panel -------------------------------------------------------------------

double CoordinateController::TouchDown(double xPx, double yPx) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Down(xPx, yPx).TakeSamples());
}

void CoordinateController::MoveTo(double xPx, double yPx, double durationMs) {
    std::lock_guard lock(mutex_);
    PlayLocked(script_.MoveTo(xPx, yPx, durationMs).TakeSamples());
}

void CoordinateController::Hold(double durationMs) {
    std::lock_guard lock(mutex_);
    PlayLocked(script_.Hold(durationMs).TakeSamples());
}

void CoordinateController::TouchUp() {
    std::lock_guard lock(mutex_);
    PlayLocked(script_.Up().TakeSamples());
}

void CoordinateController::Tap(double xPx, double yPx, double holdMs) {
    std::lock_guard lock(mutex_);
    PlayLocked(script_.Tap(xPx, yPx, holdMs).TakeSamples());
}

void CoordinateController::Drag(double fromXPx, double fromYPx, double toXPx, double toYPx,
                                double durationMs) {
    std::lock_guard lock(mutex_);
    PlayLocked(script_.Drag(fromXPx, fromYPx, toXPx, toYPx, durationMs).TakeSamples());
}

double CoordinateController::Play(const std::vector<TouchSample>& samples) {
    std::lock_guard lock(mutex_);
    return PlayLocked(samples);
}

double CoordinateController::PlayLocked(const std::vector<TouchSample>& samples) {
    std::vector<PacedFrame> frames;
    frames.reserve(samples.size());
    for (const auto& sample : samples) {
        frames.push_back(FrameForLocked(sample));
    }
    return pacer_.Enqueue(std::move(frames));
}

// The panel reports while touched, and once more when the finger lifts; nothing otherwise.
PacedFrame CoordinateController::FrameForLocked(const TouchSample& sample) {
    const Contact& finger = sample.contacts[0];
    std::uint8_t status = kStatusReleased;
    if (finger.touching) {
        lastRaw_ = panel_.ToRaw(finger.xPx, finger.yPx);
        status = options_.touchStatus;
    } else if (!wasTouching_) {
        return {};
    }
    wasTouching_ = finger.touching;
    const auto report = EncodeCoordinateReport(status, static_cast<std::uint16_t>(lastRaw_.x),
                                               static_cast<std::uint16_t>(lastRaw_.y));
    return {ApplyFaultLocked(report)};
}

std::vector<std::uint8_t> CoordinateController::ApplyFaultLocked(const CoordinateReport& report) {
    std::vector<std::uint8_t> bytes(report.begin(), report.end());
    if (faultCount_ == 0) {
        return bytes;
    }
    switch (fault_) {
        case ReportFault::None:
            break;
        case ReportFault::Short:
            bytes.resize(std::min(shortLength_, bytes.size()));
            break;
        case ReportFault::IgnoreFlag:
            bytes[1] |= kStatusIgnore;
            break;
        case ReportFault::OutOfRange:
            StoreU16(bytes, 2, 0xFFFF);
            StoreU16(bytes, 4, 0xFFFF);
            break;
        case ReportFault::Garbage:
            for (auto& b : bytes) {
                b = static_cast<std::uint8_t>(garbage_() & 0xFF);
            }
            break;
    }
    if (--faultCount_ == 0) {
        fault_ = ReportFault::None;
    }
    return bytes;
}

void CoordinateController::SendRawReport(std::span<const std::uint8_t> report) {
    std::lock_guard lock(mutex_);
    pacer_.Enqueue(PacedFrame{std::vector<std::uint8_t>(report.begin(), report.end())});
}

// --- pacing ----------------------------------------------------------------------------------

void CoordinateController::SetPacing(Pacing pacing) {
    pacer_.SetPacing(pacing);
}

bool CoordinateController::Settle(DWORD platformTimeoutMs) {
    if (!pacer_.WaitDrained(platformTimeoutMs)) {
        return false;
    }
    ce::host::UsbPort* port = port_.load();
    return port != nullptr && port->WaitIdle(platformTimeoutMs);
}

std::size_t CoordinateController::ReportsSent() const {
    return pacer_.PacketsSent();
}

bool CoordinateController::WaitReportsSent(std::size_t count, DWORD platformTimeoutMs) {
    return pacer_.WaitPacketsSent(count, platformTimeoutMs);
}

std::vector<std::vector<std::uint8_t>> CoordinateController::SentReports() const {
    std::lock_guard lock(mutex_);
    return sent_.All();
}

bool CoordinateController::SendPacket(std::span<const std::uint8_t> packet) {
    ce::host::UsbPort* port = port_.load();
    if (port == nullptr || !port->SendInterrupt(kInEndpoint, packet)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    sent_.Add(packet);
    return true;
}

// --- faults ----------------------------------------------------------------------------------

void CoordinateController::InjectFault(ReportFault fault, std::size_t count,
                                       std::size_t shortLength) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
    faultCount_ = fault == ReportFault::None ? 0 : count;
    shortLength_ = shortLength;
}

void CoordinateController::StallReportEndpoint() {
    if (ce::host::UsbPort* port = port_.load()) {
        port->Stall(kInEndpoint);
    }
}

void CoordinateController::SetResponding(bool responding) {
    if (ce::host::UsbPort* port = port_.load()) {
        port->SetResponding(responding);
    }
}

std::vector<USB_DEVICE_REQUEST> CoordinateController::ControlRequests() const {
    std::lock_guard lock(mutex_);
    return controlRequests_;
}

// --- the device on the bus -------------------------------------------------------------------

USB_DEVICE_DESCRIPTOR CoordinateController::DeviceDescriptor() const {
    USB_DEVICE_DESCRIPTOR d{};
    d.bLength = 18;
    d.bDescriptorType = 1;
    d.bcdUSB = 0x0110;
    d.bMaxPacketSize0 = 8;
    d.idVendor = options_.idVendor;
    d.idProduct = options_.idProduct;
    d.bcdDevice = options_.bcdDevice;
    d.bNumConfigurations = 1;
    return d;
}

std::vector<ce::host::UsbInterfaceModel> CoordinateController::Interfaces() const {
    ce::host::UsbInterfaceModel interface {};
    interface.descriptor.bLength = 9;
    interface.descriptor.bDescriptorType = 4;
    interface.descriptor.bNumEndpoints = 2;
    interface.descriptor.bInterfaceClass = options_.interfaceClass;
    interface.descriptor.bInterfaceSubClass = options_.interfaceSubClass;
    interface.descriptor.bInterfaceProtocol = options_.interfaceProtocol;
    const bool bulk = options_.bulkOutEndpoint;
    interface.endpoints = {
        USB_ENDPOINT_DESCRIPTOR{7, 5, kOutEndpoint, bulk ? kEndpointBulk : kEndpointInterrupt,
                                bulk ? kBulkPacketSize : kInterruptOutPacketSize,
                                bulk ? BYTE{0} : kPollIntervalMs},
        USB_ENDPOINT_DESCRIPTOR{7, 5, kInEndpoint, kEndpointInterrupt, options_.reportPacketSize,
                                kPollIntervalMs},
    };
    return {interface};
}

// Standard requests first; the coordinate generation knows no vendor requests, so the rest
// is stalled.
ce::host::ControlResult CoordinateController::Control(const USB_DEVICE_REQUEST& setup,
                                                      std::span<BYTE> data) {
    {
        std::lock_guard lock(mutex_);
        controlRequests_.push_back(setup);
    }
    if (auto answer = HandleStandardRequest(setup, data, DeviceDescriptor(), Interfaces())) {
        return *answer;
    }
    return kStall;
}

void CoordinateController::Connected(ce::host::UsbPort* port) {
    port_.store(port);
    pacer_.Start();
}

void CoordinateController::Disconnected() {
    pacer_.Stop();
    port_.store(nullptr);
}

}  // namespace ots::sim
