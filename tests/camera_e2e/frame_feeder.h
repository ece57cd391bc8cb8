// The driver's frame path without the bus, for tests that need the solved positions
// themselves: the simulation renders the fingers into the two cameras' lines and frames them
// as image packets, and the driver's AssembleFrame decodes, orders and solves them in a work
// area set up from the panel's blocks as attach sets it up.
#pragma once

#include <memory>
#include <span>

#include "sim/camera_optics.h"
#include "sim/camera_panel.h"
#include "touch/touch_data.h"

namespace camera_e2e {

class FrameFeeder {
  public:
    explicit FrameFeeder(const ots::sim::CameraPanel& panel, ots::sim::SensorNoise noise = {});

    // One frame of exactly these fingers; false when the driver did not complete a frame.
    bool Show(std::span<const ots::sim::Finger> fingers);
    bool ShowNothing() { return Show({}); }

    const OpticalContext& Solved() const { return td_->Optical; }
    const ots::sim::CameraOptics& Optics() const { return optics_; }
    const ots::sim::CameraPanel& Panel() const { return panel_; }

  private:
    ots::sim::CameraPanel panel_;
    ots::sim::CameraOptics optics_;
    ots::sim::NoisySensor sensor_;
    std::unique_ptr<TOUCH_DATA> td_;
};

}  // namespace camera_e2e
