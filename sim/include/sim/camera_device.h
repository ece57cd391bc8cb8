// A simulated touch controller of the camera generation: vendor 0x7E21, product 0x0C20,
// release 0x0100; one vendor-specific interface (class 0xFF) with an interrupt OUT endpoint
// 0x01 and the interrupt IN endpoint 0x81 (64 bytes) that carries the image packets.
//
// Control requests: standard ones are answered from the descriptors; vendor OUT (0x40,
// bRequest 0) hands a command to the firmware and vendor IN (0xC0, bRequest 0) fetches its
// answer (sim/camera_firmware.h), waiting while the answer is not ready yet; anything else
// stalls.
//
// Frames: one per report period (1000 / the panel's real frame rate, 100 if it gives none), two
// 64-byte image packets each, index 0 first; CameraParams0's byte 0 says which camera packet 0
// carries. The cameras send while a finger is on the panel and for idleFrames empty frames after
// the last one leaves (the driver needs them to see the lift), then go quiet.
//
//   auto camera = std::make_shared<CameraDevice>(RealisticCameraPanel());
//   ce::host::ScopedUsbDevice plugged(camera);
//   camera->TouchDown(200, 150);            // finger 0
//   camera->TouchDown(600, 400, 1);         // finger 1
//   camera->MoveTo(300, 150, 100);
//   camera->TouchUp(1);
//   camera->TouchUp();
//   camera->Settle();                       // every frame sent and taken by the driver
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ce/host/usb_host.h"
#include "sim/camera_firmware.h"
#include "sim/camera_nvm.h"
#include "sim/camera_optics.h"
#include "sim/camera_panel.h"
#include "sim/packet_history.h"
#include "sim/report_pacer.h"
#include "sim/touch_script.h"

namespace ots::sim {

struct CameraDeviceOptions {
    double fingerDiameterMm = 8.0;  // of the scripted fingers
    int idleFrames = 8;             // empty frames sent after the last finger leaves
    Pacing pacing = Pacing::ReportRate;
    SensorNoise noise{};
};

class CameraDevice final : public ce::host::UsbDeviceModel {
  public:
    static constexpr BYTE kOutEndpoint = 0x01;
    static constexpr BYTE kImageEndpoint = 0x81;
    static constexpr WORD kReleaseNumber = 0x0100;

    // Without a memory of its own the device gets a fresh one (factory contents); pass the
    // same CameraNvm to the next instance to keep what was stored across a re-plug.
    explicit CameraDevice(const CameraPanel& panel = RealisticCameraPanel(),
                          std::shared_ptr<CameraNvm> nvm = nullptr,
                          const CameraDeviceOptions& options = {});
    ~CameraDevice() override;

    // --- a person at the panel (screen pixels; durations in platform ms; finger 0 or 1) ---
    // Each returns the platform time its first frame is due (ReportPacer::Enqueue): the
    // clock of the finger's movement, which frame n shows n periods later.
    double TouchDown(double xPx, double yPx, std::size_t finger = 0);
    double MoveTo(double xPx, double yPx, double durationMs = 0.0, std::size_t finger = 0);
    double Hold(double durationMs);
    double TouchUp(std::size_t finger = 0);
    double Tap(double xPx, double yPx, double holdMs = kDefaultTapHoldMs);
    double Drag(double fromXPx, double fromYPx, double toXPx, double toYPx, double durationMs);
    double Play(const std::vector<TouchSample>& samples);
    // One frame of exactly these fingers (any number, any size), in turn with the scripted
    // ones; the lift after it is the caller's to show.
    double ShowFingers(const std::vector<Finger>& fingers);

    // --- pacing ---
    void SetPacing(Pacing pacing);
    double FramePeriodMs() const { return pacer_.PeriodMs(); }
    // Every queued frame sent and taken by the host; false on timeout or when unplugged.
    bool Settle(DWORD platformTimeoutMs = 5000);
    std::size_t PacketsSent() const;
    bool WaitPacketsSent(std::size_t count, DWORD platformTimeoutMs = 5000);
    // The image packets that left the device, in order (the most recent PacketHistory::kCapacity).
    std::vector<std::vector<std::uint8_t>> SentPackets() const;
    // Lines whose runs had to be filled to fit a packet (sim/camera_run_length.h).
    std::size_t LinesFitted() const;

    CameraFirmware& Firmware() { return firmware_; }
    const CameraOptics& Optics() const { return optics_; }
    const CameraPanel& Panel() const { return panel_; }
    const std::shared_ptr<CameraNvm>& Nvm() const { return nvm_; }
    bool IsConnected() const { return port_.load() != nullptr; }

    // --- UsbDeviceModel ---
    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override;
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override;
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) override;
    void Connected(ce::host::UsbPort* port) override;
    void Disconnected() override;

  private:
    double PlayLocked(const std::vector<TouchSample>& samples);
    FrameRender FrameForLocked(std::vector<Finger> fingers);
    PacedFrame Render(const std::vector<Finger>& fingers);
    bool SendPacket(std::span<const std::uint8_t> packet);
    ce::host::ControlResult FetchAnswer(std::span<BYTE> data);

    const CameraPanel panel_;
    const std::shared_ptr<CameraNvm> nvm_;
    const CameraDeviceOptions options_;
    const CameraOptics optics_;
    CameraFirmware firmware_;

    mutable std::mutex mutex_;
    TouchScript script_;
    int emptyFrames_;  // empty frames queued since the last finger; starts quiet
    PacketHistory sent_;
    mutable std::mutex renderMutex_;  // the sending thread's, against readers of LinesFitted
    NoisySensor sensor_;
    std::size_t linesFitted_ = 0;
    std::atomic<ce::host::UsbPort*> port_{nullptr};
    // An answer held back (DelayAnswers) is abandoned when the device leaves the bus.
    std::mutex answerMutex_;
    std::condition_variable answerWake_;
    bool leftBus_ = false;
    ReportPacer pacer_;
};

}  // namespace ots::sim
