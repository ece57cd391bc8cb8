#include "sim/camera_lens.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ots::sim {

namespace {
constexpr double kQuarterPi = std::numbers::pi / 4.0;
constexpr double kHalfLinePx = 320.0;
constexpr float kMinLensSlope = 0.8f;
constexpr float kMaxLensSlope = 1.5f;
constexpr float kDefaultLensSlope = 1.15f;  // radians over half the line
// Bisection down to well below a thousandth of a pixel.
constexpr int kInversionSteps = 60;

bool IsUsableLens(const CameraParams& params) {
    const float slope = std::fabs(params.p[1]);
    if (!(slope >= kMinLensSlope && slope <= kMaxLensSlope)) {
        return false;
    }
    const int first = std::clamp(params.firstPixel, 0, kLinePixels);
    const int last = std::clamp(params.lastPixel, 0, kLinePixels);
    return first < last;
}
}  // namespace

LensModel LensModel::FromBlock(const CameraParams& params, Camera camera) {
    if (!IsUsableLens(params)) {
        return Default(camera);
    }
    LensModel model;
    model.firstPixel_ = std::clamp(params.firstPixel, 0, kLinePixels);
    model.lastPixel_ = std::clamp(params.lastPixel, 0, kLinePixels);
    for (int k = 0; k < kLensTerms; ++k) {
        // Formed in single precision, as the driver forms them.
        float c = params.K * params.p[static_cast<std::size_t>(k)];
        if (k == 0) {
            c += params.J;
        }
        if (!std::isfinite(c)) {
            return Default(camera);
        }
        model.c_[static_cast<std::size_t>(k)] = camera == Camera::B ? -c : c;
    }
    return model;
}

LensModel LensModel::Default(Camera camera) {
    LensModel model;
    model.c_[1] = camera == Camera::B ? -kDefaultLensSlope : kDefaultLensSlope;
    model.usesDefault_ = true;
    return model;
}

double LensModel::AngleAt(double pixel) const {
    const double u = static_cast<double>(static_cast<float>(pixel)) / kHalfLinePx - 1.0;
    double poly = c_[kLensTerms - 1];
    for (int k = kLensTerms - 2; k >= 0; --k) {
        poly = poly * u + c_[static_cast<std::size_t>(k)];
    }
    return kQuarterPi + poly;
}

double LensModel::LowestAngle() const {
    return std::min(AngleAt(0.0), AngleAt(kLinePixels));
}
double LensModel::HighestAngle() const {
    return std::max(AngleAt(0.0), AngleAt(kLinePixels));
}

std::optional<double> LensModel::PixelAt(double angle) const {
    // The lenses this panel is built with are monotone over the line, so bisection finds the
    // one position; which end sees the larger angle depends on the camera.
    double lo = 0.0;
    double hi = kLinePixels;
    const bool rising = AngleAt(hi) > AngleAt(lo);
    if (angle < LowestAngle() || angle > HighestAngle()) {
        return std::nullopt;
    }
    for (int step = 0; step < kInversionSteps; ++step) {
        const double mid = (lo + hi) / 2.0;
        if ((AngleAt(mid) < angle) == rising) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return (lo + hi) / 2.0;
}

}  // namespace ots::sim
