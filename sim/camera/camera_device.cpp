#include "sim/camera_device.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "ce/host/clock.h"
#include "protocol/device_identity.h"
#include "sim/standard_requests.h"

namespace ots::sim {

namespace {
constexpr BYTE kVendorOut = 0x40;  // vendor, host to device, device
constexpr BYTE kVendorIn = 0xC0;   // vendor, device to host, device
constexpr BYTE kVendorRequest = 0;
constexpr BYTE kEndpointInterrupt = 0x03;
constexpr WORD kMaxPacket = 64;
constexpr BYTE kPollIntervalMs = 1;
constexpr BYTE kVendorSpecificClass = 0xFF;
// How long the sender waits for the host to take a frame when pacing as fast as taken; a host
// that takes longer gets the next frame anyway.
constexpr DWORD kTakenTimeoutMs = 5000;

// A panel that claims no frame rate still runs its cameras at the usual one.
double FrameRateOf(const CameraPanel& panel) {
    return panel.framesPerSecond > 0 ? panel.framesPerSecond : kDefaultReportRateHz;
}

bool AnyTouching(const TouchSample& sample) {
    return std::any_of(sample.contacts.begin(), sample.contacts.end(),
                       [](const Contact& c) { return c.touching; });
}
}  // namespace

CameraDevice::CameraDevice(const CameraPanel& panel, std::shared_ptr<CameraNvm> nvm,
                           const CameraDeviceOptions& options)
    : panel_(panel),
      nvm_(nvm ? std::move(nvm) : std::make_shared<CameraNvm>()),
      options_(options),
      optics_(panel),
      firmware_(panel, nvm_),
      script_(FrameRateOf(panel)),
      emptyFrames_(options.idleFrames),
      sensor_(options.noise),
      pacer_(1000.0 / FrameRateOf(panel),
             PacketSink{[this](std::span<const std::uint8_t> p) { return SendPacket(p); },
                        [this] {
                            ce::host::UsbPort* port = port_.load();
                            return port != nullptr && port->WaitIdle(kTakenTimeoutMs);
                        }}) {
    pacer_.SetPacing(options.pacing);
}

CameraDevice::~CameraDevice() {
    pacer_.Stop();
}

// --- a person at the panel -------------------------------------------------------------------

double CameraDevice::TouchDown(double xPx, double yPx, std::size_t finger) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Down(xPx, yPx, finger).TakeSamples());
}

double CameraDevice::MoveTo(double xPx, double yPx, double durationMs, std::size_t finger) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.MoveTo(xPx, yPx, durationMs, finger).TakeSamples());
}

double CameraDevice::Hold(double durationMs) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Hold(durationMs).TakeSamples());
}

double CameraDevice::TouchUp(std::size_t finger) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Up(finger).TakeSamples());
}

double CameraDevice::Tap(double xPx, double yPx, double holdMs) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Tap(xPx, yPx, holdMs).TakeSamples());
}

double CameraDevice::Drag(double fromXPx, double fromYPx, double toXPx, double toYPx,
                          double durationMs) {
    std::lock_guard lock(mutex_);
    return PlayLocked(script_.Drag(fromXPx, fromYPx, toXPx, toYPx, durationMs).TakeSamples());
}

double CameraDevice::Play(const std::vector<TouchSample>& samples) {
    std::lock_guard lock(mutex_);
    return PlayLocked(samples);
}

double CameraDevice::ShowFingers(const std::vector<Finger>& fingers) {
    std::lock_guard lock(mutex_);
    std::vector<FrameRender> frame;
    frame.push_back(FrameForLocked(fingers));
    return pacer_.Enqueue(std::move(frame));
}

// A lift is only seen in the frames after it, so once nothing touches the cameras go on
// until idleFrames empty frames have been queued. Queuing is cheap: the frames render on the
// sending thread, each ahead of its slot.
double CameraDevice::PlayLocked(const std::vector<TouchSample>& samples) {
    std::vector<FrameRender> frames;
    frames.reserve(samples.size() + static_cast<std::size_t>(std::max(options_.idleFrames, 0)));
    for (const TouchSample& sample : samples) {
        std::vector<Finger> fingers;
        for (const Contact& c : sample.contacts) {
            if (c.touching) {
                fingers.push_back(Finger{c.xPx, c.yPx, options_.fingerDiameterMm});
            }
        }
        frames.push_back(FrameForLocked(std::move(fingers)));
    }
    if (!samples.empty() && !AnyTouching(samples.back())) {
        while (emptyFrames_ < options_.idleFrames) {
            frames.push_back(FrameForLocked({}));
        }
    }
    return pacer_.Enqueue(std::move(frames));
}

FrameRender CameraDevice::FrameForLocked(std::vector<Finger> fingers) {
    if (fingers.empty()) {
        if (emptyFrames_ >= options_.idleFrames) {
            return [] { return PacedFrame{}; };  // quiet
        }
        ++emptyFrames_;
    } else {
        emptyFrames_ = 0;
    }
    return [this, fingers = std::move(fingers)] { return Render(fingers); };
}

PacedFrame CameraDevice::Render(const std::vector<Finger>& fingers) {
    std::lock_guard lock(renderMutex_);
    const CameraLines lines = optics_.Render(fingers, &sensor_);
    const bool aFirst = panel_.CameraAFirst();
    const EncodedLine first = EncodeLine(aFirst ? lines.a : lines.b, 0);
    const EncodedLine second = EncodeLine(aFirst ? lines.b : lines.a, 1);
    linesFitted_ += (first.filledRuns > 0 ? 1u : 0u) + (second.filledRuns > 0 ? 1u : 0u);
    return {std::vector<std::uint8_t>(first.packet.begin(), first.packet.end()),
            std::vector<std::uint8_t>(second.packet.begin(), second.packet.end())};
}

// --- pacing ----------------------------------------------------------------------------------

void CameraDevice::SetPacing(Pacing pacing) {
    pacer_.SetPacing(pacing);
}

bool CameraDevice::Settle(DWORD platformTimeoutMs) {
    if (!pacer_.WaitDrained(platformTimeoutMs)) {
        return false;
    }
    ce::host::UsbPort* port = port_.load();
    return port != nullptr && port->WaitIdle(platformTimeoutMs);
}

std::size_t CameraDevice::PacketsSent() const {
    return pacer_.PacketsSent();
}

bool CameraDevice::WaitPacketsSent(std::size_t count, DWORD platformTimeoutMs) {
    return pacer_.WaitPacketsSent(count, platformTimeoutMs);
}

std::vector<std::vector<std::uint8_t>> CameraDevice::SentPackets() const {
    std::lock_guard lock(mutex_);
    return sent_.All();
}

std::size_t CameraDevice::LinesFitted() const {
    std::lock_guard lock(renderMutex_);
    return linesFitted_;
}

bool CameraDevice::SendPacket(std::span<const std::uint8_t> packet) {
    ce::host::UsbPort* port = port_.load();
    if (port == nullptr || !port->SendInterrupt(kImageEndpoint, packet)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    sent_.Add(packet);
    return true;
}

// --- the device on the bus -------------------------------------------------------------------

USB_DEVICE_DESCRIPTOR CameraDevice::DeviceDescriptor() const {
    USB_DEVICE_DESCRIPTOR d{};
    d.bLength = 18;
    d.bDescriptorType = 1;
    d.bcdUSB = 0x0110;
    d.bMaxPacketSize0 = kMaxPacket;
    d.idVendor = ots::kCameraVendorId;
    d.idProduct = ots::kCameraProductId;
    d.bcdDevice = kReleaseNumber;
    d.bNumConfigurations = 1;
    return d;
}

std::vector<ce::host::UsbInterfaceModel> CameraDevice::Interfaces() const {
    ce::host::UsbInterfaceModel interface {};
    interface.descriptor.bLength = 9;
    interface.descriptor.bDescriptorType = 4;
    interface.descriptor.bNumEndpoints = 2;
    interface.descriptor.bInterfaceClass = kVendorSpecificClass;
    interface.endpoints = {
        USB_ENDPOINT_DESCRIPTOR{7, 5, kOutEndpoint, kEndpointInterrupt, kMaxPacket,
                                kPollIntervalMs},
        USB_ENDPOINT_DESCRIPTOR{7, 5, kImageEndpoint, kEndpointInterrupt, kMaxPacket,
                                kPollIntervalMs},
    };
    return {interface};
}

// Standard requests first, then the two vendor requests of the command protocol.
ce::host::ControlResult CameraDevice::Control(const USB_DEVICE_REQUEST& setup,
                                              std::span<BYTE> data) {
    if (auto answer = HandleStandardRequest(setup, data, DeviceDescriptor(), Interfaces())) {
        return *answer;
    }
    if (setup.bRequest != kVendorRequest) {
        return kStall;
    }
    if (setup.bmRequestType == kVendorOut) {
        firmware_.ReceiveCommand(data);
        return {USB_NO_ERROR, static_cast<DWORD>(data.size())};
    }
    if (setup.bmRequestType == kVendorIn) {
        return FetchAnswer(data);
    }
    return kStall;
}

ce::host::ControlResult CameraDevice::FetchAnswer(std::span<BYTE> data) {
    const std::optional<CameraFirmware::PendingAnswer> answer = firmware_.TakeAnswer();
    if (!answer) {
        return kStall;
    }
    // The data stage NAKs until the firmware has its answer ready, or the device is gone.
    {
        std::unique_lock lock(answerMutex_);
        for (double now = ce::host::PlatformNowMs(); !leftBus_ && now < answer->readyAtMs;
             now = ce::host::PlatformNowMs()) {
            answerWake_.wait_for(lock, ce::host::ToRealDuration(answer->readyAtMs - now));
        }
        if (leftBus_) {
            return kStall;
        }
    }
    const std::size_t n = std::min(data.size(), answer->bytes.size());
    std::memcpy(data.data(), answer->bytes.data(), n);
    return {USB_NO_ERROR, static_cast<DWORD>(n)};
}

void CameraDevice::Connected(ce::host::UsbPort* port) {
    {
        std::lock_guard lock(answerMutex_);
        leftBus_ = false;
    }
    port_.store(port);
    pacer_.Start();
}

void CameraDevice::Disconnected() {
    {
        std::lock_guard lock(answerMutex_);
        leftBus_ = true;
    }
    answerWake_.notify_all();
    pacer_.Stop();
    port_.store(nullptr);
}

}  // namespace ots::sim
