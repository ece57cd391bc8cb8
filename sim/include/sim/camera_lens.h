// A camera's lens as the driver models it: the viewing angle of a pixel position,
//   angle = pi/4 + c0 + c1·u + ... + c7·u^7,   u = pixel / 320 - 1,
// with c0 = K·p0 + J and ck = K·pk from the camera's block, all eight negated for camera B
// (it looks from the other end of the baseline). A block whose |p1| lies outside 0.8..1.5 is
// not a lens the panel was built with, and the default model applies: c1 = 1.15 (-1.15 for
// camera B), the rest 0, the whole line searched. Angles are measured from the baseline
// normal at the camera, towards the other camera.
#pragma once

#include <array>
#include <optional>

#include "sim/camera_blocks.h"

namespace ots::sim {

enum class Camera { A, B };

inline constexpr int kLinePixels = 640;

class LensModel {
  public:
    // The model the driver builds from a camera block; camera A's block is CameraParams1,
    // camera B's is CameraParams0.
    static LensModel FromBlock(const CameraParams& params, Camera camera);
    static LensModel Default(Camera camera);

    // Viewing angle at a (continuous) pixel position; the position enters as REAL4, like the
    // driver's.
    double AngleAt(double pixel) const;

    // The pixel position in [0, 640] that sees the angle, or nothing when the angle lies
    // outside the sensor's field of view (beyond the angles at pixels 0 and 640).
    std::optional<double> PixelAt(double angle) const;

    // Angles at the two ends of the line, smaller first.
    double LowestAngle() const;
    double HighestAngle() const;

    bool usesDefault() const { return usesDefault_; }
    int firstPixel() const { return firstPixel_; }
    int lastPixel() const { return lastPixel_; }
    const std::array<float, kLensTerms>& coefficients() const { return c_; }

  private:
    LensModel() = default;

    std::array<float, kLensTerms> c_{};
    int firstPixel_ = 0;
    int lastPixel_ = kLinePixels;
    bool usesDefault_ = false;
};

}  // namespace ots::sim
