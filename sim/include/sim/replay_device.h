// A simulated controller that plays a recording back (sim/usb_recording.h): it has the recorded
// descriptors, answers each control request with the recorded answer when the request is the
// one recorded next, and sends the recorded interrupt packets in their order, each once the
// requests recorded before it have been answered and as long after the last of them as in the
// recording (platform clock). A request that differs from the recording is answered with a
// STALL and reported, never guessed at; the replay then waits for the recorded one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ce/host/usb_host.h"
#include "sim/usb_recording.h"

namespace ots::sim {

struct ReplayProgress {
    std::size_t controls = 0;  // answered as recorded
    std::size_t controlsRecorded = 0;
    std::size_t packets = 0;  // sent
    std::size_t packetsRecorded = 0;
    std::vector<std::string> differences;
    bool Done() const { return controls == controlsRecorded && packets == packetsRecorded; }
};

class ReplayDevice final : public ce::host::UsbDeviceModel {
  public:
    explicit ReplayDevice(UsbRecording recording);
    ~ReplayDevice() override;
    ReplayDevice(const ReplayDevice&) = delete;
    ReplayDevice& operator=(const ReplayDevice&) = delete;

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return recording_.device; }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override {
        return recording_.interfaces;
    }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) override;
    void Connected(ce::host::UsbPort* port) override;
    void Disconnected() override;

    ReplayProgress Progress() const;
    // Waits until everything recorded was answered or sent and the host has taken every packet.
    bool WaitDone(DWORD platformTimeoutMs);

  private:
    void Play();
    std::size_t NextControl(std::size_t from) const;
    void Report(const std::string& difference);

    const UsbRecording recording_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextControl_ = 0;    // index into the events of the next control to answer
    std::size_t answered_ = 0;       // controls answered as recorded
    double anchorRecordedMs_ = 0.0;  // the last control answered: when recorded, and when now
    double anchorPlatformMs_ = 0.0;
    ReplayProgress progress_;
    ce::host::UsbPort* port_ = nullptr;
    bool stopping_ = false;
    std::thread player_;
};

}  // namespace ots::sim
