// A decorator that records a device's traffic while it is on the bus: its descriptors, every
// control request with its answer, every packet it sends on an interrupt endpoint, and the
// mouse events injected meanwhile (sim/usb_recording.h). It wraps any device model, the
// simulated controllers and a real device alike, and the port it is given, so that what the
// device sends passes through it. Each line is flushed as written: a recording cut short by a
// crash keeps what came before.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "ce/host/usb_host.h"

namespace ots::sim {

class RecordingDevice final : public ce::host::UsbDeviceModel, private ce::host::UsbPort {
  public:
    // Records into path (created or emptied); null with the reason when it cannot be opened.
    static std::shared_ptr<RecordingDevice> Open(std::shared_ptr<ce::host::UsbDeviceModel> inner,
                                                 const std::string& path, std::string* error);
    ~RecordingDevice() override;

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return inner_->DeviceDescriptor(); }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override {
        return inner_->Interfaces();
    }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) override;
    ce::host::ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) override {
        return inner_->DataOut(endpointAddress, data);
    }
    void Connected(ce::host::UsbPort* port) override;
    void Disconnected() override;

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    RecordingDevice(std::shared_ptr<ce::host::UsbDeviceModel> inner, std::FILE* out);

    void Write(const std::string& lines);
    void WriteLocked(const std::string& lines);  // writeMutex_ held
    double Now() const;

    // The port, as the wrapped device uses it.
    bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) override;
    void Stall(BYTE endpointAddress) override;
    void SetResponding(bool responding) override { port_.load()->SetResponding(responding); }
    bool WaitIdle(DWORD platformTimeoutMs) override {
        return port_.load()->WaitIdle(platformTimeoutMs);
    }
    std::size_t QueuedTransfers(BYTE endpointAddress) const override {
        return port_.load()->QueuedTransfers(endpointAddress);
    }
    std::size_t PendingReports(BYTE endpointAddress) const override {
        return port_.load()->PendingReports(endpointAddress);
    }
    bool IsPipeOpen(BYTE endpointAddress) const override {
        return port_.load()->IsPipeOpen(endpointAddress);
    }

    std::shared_ptr<ce::host::UsbDeviceModel> inner_;
    std::atomic<ce::host::UsbPort*> port_{nullptr};
    std::mutex controlMutex_;  // one request at a time, so that its two lines stay together
    std::mutex writeMutex_;
    std::unique_ptr<std::FILE, Closer> out_;
    double startMs_ = 0.0;
    int inputSink_ = 0;
};

}  // namespace ots::sim
