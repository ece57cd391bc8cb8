// The whole chain for a camera controller in one process: the simulated controller on the
// stand-in's USB stack, libotsusb.so attached to it, and the mouse input that reaches the
// system. The attach path pauses 5000 platform ms before it initialises a camera controller,
// so every test runs the platform clock 100 times faster.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "support/bus.h"
#include "support/mouse_events.h"

namespace ots::test {

using ots::sim::CameraDevice;
using ots::sim::CameraDeviceOptions;
using ots::sim::CameraPanel;

inline constexpr double kTimeScale = 0.01;  // real ms per platform ms

// Frames handed over one at a time, each taken by the driver before the next: the order of
// frames and mouse input is then that of the script.
CameraDeviceOptions FrameByFrame(CameraDeviceOptions options = {});

// A position as mouse_event received it (0..65534 for the panel's width and height), in the
// screen pixels of the panel.
struct ScreenPosition {
    double xPx;
    double yPx;
};
ScreenPosition ToScreen(const ce::host::MouseEvent& event, const CameraPanel& panel);

class CameraBusTest : public ots::test::IntegrationTest {
  protected:
    void TearDown() override;

    // A controller for the panel, not on the bus yet, so that faults can be set up first.
    std::shared_ptr<CameraDevice> MakeCamera(
        const CameraPanel& panel = ots::sim::RealisticCameraPanel(),
        const CameraDeviceOptions& options = FrameByFrame(),
        std::shared_ptr<ots::sim::CameraNvm> nvm = nullptr);
    // Plugs it in; returns once attach, the controller's initialisation included, is over.
    void Plug(std::shared_ptr<CameraDevice> camera);
    void Unplug();
    CameraDevice& camera() { return *camera_; }

    // Waits until every frame queued so far was taken and handled by the driver.
    void Settle();
    // The events of one kind, in order.
    std::vector<ce::host::MouseEvent> EventsWithFlags(DWORD flags) const;

    ce::host::ScopedTimeScale fast_{kTimeScale};
    ce::host::MouseEventRecorder recorder_;

  private:
    std::shared_ptr<CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
};

}  // namespace ots::test
