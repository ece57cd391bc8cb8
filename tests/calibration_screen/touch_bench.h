// A finger on a mounted touch screen of either generation, the real driver behind it, and the
// pointer that comes out: the stand-in's USB stack with libotsusb.so attached to a simulated
// controller, and every injected event recorded. Positions are screen pixels of an 800 x 600
// screen of 211 x 158 mm.
#pragma once

#include <memory>
#include <optional>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "support/bus.h"
#include "sim/camera_device.h"
#include "sim/coordinate_controller.h"

namespace calib_test {

enum class Generation { Coordinate, Camera };

struct Pixel {
    double x;
    double y;
};

inline constexpr int kScreenWidthPx = 800;
inline constexpr int kScreenHeightPx = 600;
inline constexpr double kMmPerPx = 211.0 / kScreenWidthPx;

// The coordinate panel: shifted and turned, no bow and no noise, so that an affine fit is
// exact but for the controller's 12-bit resolution.
ots::sim::Mounting ShiftedCoordinateMounting();

class TouchBench {
  public:
    // A coordinate controller reports the identity given here.
    explicit TouchBench(Generation generation, std::uint16_t coordinateVendor = 0x5A17,
                        std::uint16_t coordinateProduct = 0x0101);
    ~TouchBench();
    TouchBench(const TouchBench&) = delete;
    TouchBench& operator=(const TouchBench&) = delete;

    Generation generation() const { return generation_; }
    // A still finger, lifted again; returns once the driver has taken every report.
    void Tap(Pixel at);
    // Where the last injected event put the pointer; nothing before the first event.
    std::optional<Pixel> Pointer() const;
    // The largest distance (mm) between finger and pointer over a set of taps spread over the
    // screen, away from the outermost 1/16 that the targets do not reach.
    double WorstTapErrorMm();
    void Unplug();

  private:
    Generation generation_;
    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::shared_ptr<ots::sim::CoordinateController> coordinate_;
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
};

}  // namespace calib_test
