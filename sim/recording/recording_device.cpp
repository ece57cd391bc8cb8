#include "sim/recording_device.h"

#include <cerrno>
#include <cstring>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "sim/usb_recording.h"

namespace ots::sim {

std::shared_ptr<RecordingDevice> RecordingDevice::Open(
    std::shared_ptr<ce::host::UsbDeviceModel> inner, const std::string& path, std::string* error) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        *error = "cannot write the recording " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::shared_ptr<RecordingDevice>(new RecordingDevice(std::move(inner), out));
}

RecordingDevice::RecordingDevice(std::shared_ptr<ce::host::UsbDeviceModel> inner, std::FILE* out)
    : inner_(std::move(inner)), out_(out), startMs_(ce::host::PlatformNowMs()) {
    Write(FormatDescriptors(inner_->DeviceDescriptor(), inner_->Interfaces()));
}

RecordingDevice::~RecordingDevice() {
    if (inputSink_ != 0) {
        ce::host::RemoveInputSink(inputSink_);
    }
}

double RecordingDevice::Now() const {
    return ce::host::PlatformNowMs() - startMs_;
}

void RecordingDevice::Write(const std::string& lines) {
    std::lock_guard lock(writeMutex_);
    WriteLocked(lines);
}

void RecordingDevice::WriteLocked(const std::string& lines) {
    std::fputs(lines.c_str(), out_.get());
    std::fflush(out_.get());
}

ce::host::ControlResult RecordingDevice::Control(const USB_DEVICE_REQUEST& setup,
                                                 std::span<BYTE> data) {
    std::lock_guard lock(controlMutex_);
    const bool in = (setup.bmRequestType & 0x80) != 0;
    Write(FormatControlStart(Now(), setup,
                             in ? std::span<const BYTE>() : std::span<const BYTE>(data)));
    const ce::host::ControlResult result = inner_->Control(setup, data);
    const std::size_t received = std::min<std::size_t>(result.bytesTransferred, data.size());
    Write(FormatControlEnd(Now(), setup, result, data.first(in ? received : 0)));
    return result;
}

void RecordingDevice::Connected(ce::host::UsbPort* port) {
    port_ = port;
    inputSink_ = ce::host::AddInputSink([this](const ce::host::MouseEvent& event) {
        std::lock_guard lock(writeMutex_);  // stamped in line with the packets
        WriteLocked(FormatMouseEvent(Now(), {event.flags, event.dx, event.dy}));
    });
    inner_->Connected(this);
}

void RecordingDevice::Disconnected() {
    inner_->Disconnected();
    ce::host::RemoveInputSink(inputSink_);
    inputSink_ = 0;
}

bool RecordingDevice::SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) {
    // The lines stay locked while the packet is offered, so that the mouse events it causes
    // (injected on the completion thread) come after it.
    std::lock_guard lock(writeMutex_);
    const double at = Now();
    const bool sent = port_.load()->SendInterrupt(endpointAddress, report);
    if (sent) {
        WriteLocked(
            FormatPacket(at, {endpointAddress, USB_NO_ERROR, Bytes(report.begin(), report.end())}));
    }
    return sent;
}

void RecordingDevice::Stall(BYTE endpointAddress) {
    Write(FormatPacket(Now(), {endpointAddress, USB_STALL_ERROR, {}}));
    port_.load()->Stall(endpointAddress);
}

}  // namespace ots::sim
