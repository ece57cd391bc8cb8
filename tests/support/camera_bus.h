// The whole chain for a camera controller in one process: the simulated controller on the
// stand-in's USB stack, libotsusb.so attached to it, and the mouse input that reaches the
// system. The attach path pauses 5000 platform ms before it initialises a camera controller,
// so every test runs the platform clock 100 times faster.
//
// Also what the simulation's own suites share: a port that keeps every report a device
// offers, and golden transcripts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "support/bus.h"
#include "support/golden.h"
#include "support/mouse_events.h"
#include "support/records.h"

namespace ots::test {

using ots::sim::CameraDevice;
using ots::sim::CameraDeviceOptions;
using ots::sim::CameraPanel;
using ots::sim::LineImage;

inline constexpr double kTimeScale = 0.01;  // real ms per platform ms

// Frames handed over one at a time, each taken by the driver before the next: the order of
// frames and mouse input is then that of the script.
inline CameraDeviceOptions FrameByFrame(CameraDeviceOptions options = {}) {
    options.pacing = ots::sim::Pacing::AsFastAsTaken;
    return options;
}

// A position as mouse_event received it (0..65534 for the panel's width and height), in the
// screen pixels of the panel.
struct ScreenPosition {
    double xPx;
    double yPx;
};

// The bus side of a plugged device: takes every report at once and writes it down.
class RecordingPort final : public ce::host::UsbPort {
  public:
    bool SendInterrupt(BYTE endpoint, std::span<const BYTE> report) override {
        std::lock_guard lock(mutex_);
        transcript_ += HexDump(&endpoint, 1) + ": " + HexDump(report.data(), report.size()) + "\n";
        return true;
    }
    void Stall(BYTE endpoint) override { stalled = endpoint; }
    void SetResponding(bool) override {}
    bool WaitIdle(DWORD) override { return ++idleWaits, true; }
    std::size_t QueuedTransfers(BYTE) const override { return 0; }
    std::size_t PendingReports(BYTE) const override { return 0; }
    bool IsPipeOpen(BYTE) const override { return true; }
    // One line per report, its endpoint first: "81: 01 01 00 04 00 04".
    std::string Transcript() const {
        std::lock_guard lock(mutex_);
        return transcript_;
    }
    std::size_t size() const {
        return static_cast<std::size_t>(std::ranges::count(Transcript(), '\n'));
    }

    std::atomic<int> idleWaits{0};
    std::atomic<int> stalled{0};  // the endpoint stalled last

  private:
    mutable std::mutex mutex_;
    std::string transcript_;
};

class CameraBusTest : public ots::test::IntegrationTest {
  protected:
    void TearDown() override {
        plugged_.reset();
        IntegrationTest::TearDown();
    }

    // A controller for the panel, plugged in once attach and its initialisation are over.
    void Plug(const CameraPanel& panel = ots::sim::RealisticCameraPanel(),
              const CameraDeviceOptions& options = FrameByFrame()) {
        camera_ = std::make_shared<CameraDevice>(panel, nullptr, options);
        plugged_.emplace(camera_);
        ASSERT_TRUE(camera_->IsConnected());
    }
    CameraDevice& camera() { return *camera_; }

    // Waits until every frame queued so far was taken and handled by the driver.
    void Settle() {
        ASSERT_TRUE(camera_->Settle(kSettleMs)) << "the driver did not take every frame";
    }
    // Where each press went, in the screen pixels of the panel, in order; how many lifts.
    std::vector<ScreenPosition> Presses(const CameraPanel& panel) const;
    std::size_t Lifts() const;

    ce::host::ScopedTimeScale fast_{kTimeScale};
    ce::host::MouseEventRecorder recorder_;

  private:
    std::shared_ptr<CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
};

}  // namespace ots::test
