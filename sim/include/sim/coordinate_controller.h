// A simulated touch controller of the coordinate generation: one vendor-specific interface
// whose first endpoint is OUT and second an interrupt IN endpoint that carries 6-byte reports
//   0: report id (not examined by the host)   1: status   2-3: raw x   4-5: raw y (0..4095, LE)
// Touches are scripted in screen pixels and reach the panel through a PanelModel.
//
//   auto panel = std::make_shared<CoordinateController>();
//   ce::host::ScopedUsbDevice plugged(panel);
//   panel->TouchDown(200, 150);
//   panel->MoveTo(300, 150, 100);
//   panel->TouchUp();
//   panel->Settle();   // every report sent and taken by the driver
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <random>
#include <span>
#include <vector>

#include "ce/host/usb_host.h"
#include "sim/packet_history.h"
#include "sim/panel_model.h"
#include "sim/report_pacer.h"
#include "sim/touch_script.h"

namespace ots::sim {

inline constexpr std::uint8_t kCoordinateReportId = 0x01;
inline constexpr std::uint8_t kStatusTouching = 0x01;
inline constexpr std::uint8_t kStatusTouchingBoth = 0x03;
inline constexpr std::uint8_t kStatusReleased = 0x04;
inline constexpr std::uint8_t kStatusIgnore = 0x10;
inline constexpr std::size_t kCoordinateReportSize = 6;
inline constexpr std::int32_t kCoordinateRawMax = 4095;

using CoordinateReport = std::array<std::uint8_t, kCoordinateReportSize>;
CoordinateReport EncodeCoordinateReport(std::uint8_t status, std::uint16_t rawX,
                                        std::uint16_t rawY);

// What the next reports suffer from.
enum class ReportFault {
    None,
    Short,       // cut to the fault's length (3 bytes by default: no complete x or y)
    IgnoreFlag,  // status also carries 0x10, the controller's own "ignore this report"
    OutOfRange,  // x and y 0xFFFF, beyond the panel's 0..4095
    Garbage,     // six random bytes, from a generator seeded with the mounting's seed
};

struct CoordinateControllerOptions {
    std::uint16_t idVendor = 0x5A17;  // a vendor of our own, not the camera family's
    std::uint16_t idProduct = 0x0101;
    std::uint16_t bcdDevice = 0x0100;
    std::uint8_t interfaceClass = 0xFF;
    std::uint8_t interfaceSubClass = 0x00;
    std::uint8_t interfaceProtocol = 0x00;
    std::uint16_t reportPacketSize = 8;  // wMaxPacketSize of the IN endpoint
    bool bulkOutEndpoint = true;         // else an interrupt OUT endpoint
    int screenWidthPx = 800;
    int screenHeightPx = 600;
    Mounting mounting{};
    double reportRateHz = kDefaultReportRateHz;
    Pacing pacing = Pacing::ReportRate;
    std::uint8_t touchStatus = kStatusTouching;  // 0x01 or 0x03
};

class CoordinateController final : public ce::host::UsbDeviceModel {
  public:
    static constexpr BYTE kOutEndpoint = 0x01;
    static constexpr BYTE kInEndpoint = 0x81;

    explicit CoordinateController(CoordinateControllerOptions options = {});
    ~CoordinateController() override;

    // --- a person at the panel (screen pixels; durations in platform ms) ---
    // The platform time its report is due: the clock of the finger's movement.
    double TouchDown(double xPx, double yPx);
    void MoveTo(double xPx, double yPx, double durationMs = 0.0);
    void Hold(double durationMs);
    void TouchUp();
    void Tap(double xPx, double yPx, double holdMs = kDefaultTapHoldMs);
    void Drag(double fromXPx, double fromYPx, double toXPx, double toYPx, double durationMs);
    // Plays samples (finger 0 is the one this panel senses).
    double Play(const std::vector<TouchSample>& samples);

    // A report exactly as given, in turn with the scripted ones; faults do not apply.
    void SendRawReport(std::span<const std::uint8_t> report);

    // --- pacing ---
    void SetPacing(Pacing pacing);
    double FramePeriodMs() const { return pacer_.PeriodMs(); }
    // Every queued report sent and taken by the host; false on timeout or when unplugged.
    bool Settle(DWORD platformTimeoutMs = 5000);
    std::size_t ReportsSent() const;
    bool WaitReportsSent(std::size_t count, DWORD platformTimeoutMs = 5000);
    // The reports that left the device, in order (the most recent PacketHistory::kCapacity).
    std::vector<std::vector<std::uint8_t>> SentReports() const;

    // --- faults ---
    // The next `count` scripted reports suffer the fault; shortLength applies to Short.
    void InjectFault(ReportFault fault, std::size_t count = 1, std::size_t shortLength = 3);
    void StallReportEndpoint();
    void SetResponding(bool responding);

    // --- what the device saw ---
    std::vector<USB_DEVICE_REQUEST> ControlRequests() const;
    bool IsConnected() const { return port_.load() != nullptr; }
    const CoordinateControllerOptions& Options() const { return options_; }
    // The panel's mapping (its noise generator too): tests map expected positions with it.
    PanelModel& Panel() { return panel_; }

    // --- UsbDeviceModel ---
    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override;
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override;
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup, std::span<BYTE> data) override;
    void Connected(ce::host::UsbPort* port) override;
    void Disconnected() override;

  private:
    double PlayLocked(const std::vector<TouchSample>& samples);
    PacedFrame FrameForLocked(const TouchSample& sample);
    std::vector<std::uint8_t> ApplyFaultLocked(const CoordinateReport& report);
    bool SendPacket(std::span<const std::uint8_t> packet);

    const CoordinateControllerOptions options_;
    mutable std::mutex mutex_;
    PanelModel panel_;
    TouchScript script_;
    bool wasTouching_ = false;
    RawPoint lastRaw_{0, 0};
    ReportFault fault_ = ReportFault::None;
    std::size_t faultCount_ = 0;
    std::size_t shortLength_ = 3;
    std::mt19937 garbage_;
    PacketHistory sent_;
    std::vector<USB_DEVICE_REQUEST> controlRequests_;
    std::atomic<ce::host::UsbPort*> port_{nullptr};
    ReportPacer pacer_;
};

}  // namespace ots::sim
