// What the two cameras see: each finger on the panel casts a shadow, the span between the two
// tangents from the camera to the finger's circle, which the lens puts onto a run of pixels.
// A finger nearer the camera hides one behind it by the union of the runs.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>

#include "sim/camera_lens.h"
#include "sim/camera_panel.h"
#include "sim/camera_run_length.h"
#include "sim/panel_model.h"

namespace ots::sim {

struct Finger {
    double xPx;  // screen position
    double yPx;
    double diameterMm = 8.0;
};

// A finger's shadow in one camera.
struct Shadow {
    double lowAngle;  // the two tangents, radians from the baseline normal
    double highAngle;
    double firstEdgePx;  // where the lens puts them, first <= last
    double lastEdgePx;
    int start;  // the pixels lit: [start, end), at least one
    int end;
};

// Imperfections of the sensors, the same in every frame except the jitter, which a seeded
// generator draws so that a run repeats exactly.
struct SensorNoise {
    int deadPixelA = -1;  // a pixel of camera A that never lights; -1 none
    int deadPixelB = -1;
    bool edgeJitter = false;  // each shadow edge moves by -1, 0 or +1 pixel
    std::uint32_t seed = 1;
};

class NoisySensor {
  public:
    explicit NoisySensor(const SensorNoise& noise) : noise_(noise), random_(noise.seed) {}
    // How far the next shadow edge moves.
    int NextEdgeShift();
    int DeadPixel(Camera camera) const;

  private:
    SensorNoise noise_;
    std::mt19937 random_;
};

struct CameraLines {
    LineImage a{};
    LineImage b{};
};

class CameraOptics {
  public:
    explicit CameraOptics(const CameraPanel& panel);

    // Where a screen position lies on the panel, in panel units, and on the baseline.
    PanelPoint ScreenToPanel(double xPx, double yPx) const;
    BaselinePoint ToBaseline(double xPx, double yPx) const;
    // The finger's radius in baseline units.
    double RadiusOf(const Finger& finger) const;

    // Nothing when the camera cannot see the finger: it lies on or behind the baseline, covers
    // the camera, or its shadow falls outside the field of view.
    std::optional<Shadow> ShadowOf(const Finger& finger, Camera camera) const;

    CameraLines Render(std::span<const Finger> fingers, NoisySensor* sensor = nullptr) const;

    const LensModel& lens(Camera camera) const { return camera == Camera::A ? lensA_ : lensB_; }

  private:
    void Paint(LineImage& line, const Finger& finger, Camera camera, NoisySensor* sensor) const;

    CameraPanel panel_;
    PanelGeometry geometry_;
    PanelModel mounted_;  // screen pixels to 1/32768 of the panel
    LensModel lensA_;
    LensModel lensB_;
};

}  // namespace ots::sim
