#include "sim/panel_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ots::sim {

namespace {

constexpr int kRadialIterations = 30;

double Radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// The radius r with r (1 + k r^2) = distorted, by Newton's method from r = distorted.
double UndistortRadius(double distorted, double k) {
    double r = distorted;
    for (int i = 0; i < kRadialIterations; ++i) {
        const double f = r * (1.0 + k * r * r) - distorted;
        const double slope = 1.0 + 3.0 * k * r * r;
        if (slope == 0.0) {
            break;
        }
        r -= f / slope;
    }
    return r;
}

}  // namespace

PanelModel::PanelModel(int screenWidthPx, int screenHeightPx, Mounting mounting,
                       std::int32_t rawMax)
    : widthPx_(screenWidthPx),
      heightPx_(screenHeightPx),
      rawMax_(rawMax),
      mounting_(mounting),
      random_(mounting.seed),
      noise_(0.0, mounting.noiseSigma > 0.0 ? mounting.noiseSigma : 1.0) {}

void PanelModel::IdealRaw(double xPx, double yPx, double& rawX, double& rawY) const {
    // Centred panel coordinates in half panel sizes (-1..1).
    double cx = 2.0 * xPx / widthPx_ - 1.0;
    double cy = 2.0 * yPx / heightPx_ - 1.0;
    const double radial = 1.0 + mounting_.radialK * (cx * cx + cy * cy);
    cx *= radial;
    cy *= radial;
    const double angle = Radians(mounting_.rotationDeg);
    const double rx = cx * std::cos(angle) - cy * std::sin(angle);
    const double ry = cx * std::sin(angle) + cy * std::cos(angle);
    rawX = (rx * mounting_.scaleX + 1.0) / 2.0 * rawMax_ + mounting_.offsetX;
    rawY = (ry * mounting_.scaleY + 1.0) / 2.0 * rawMax_ + mounting_.offsetY;
}

ScreenPoint PanelModel::ToScreen(double rawX, double rawY) const {
    const double rx = (2.0 * (rawX - mounting_.offsetX) / rawMax_ - 1.0) / mounting_.scaleX;
    const double ry = (2.0 * (rawY - mounting_.offsetY) / rawMax_ - 1.0) / mounting_.scaleY;
    const double angle = Radians(mounting_.rotationDeg);
    double cx = rx * std::cos(angle) + ry * std::sin(angle);
    double cy = -rx * std::sin(angle) + ry * std::cos(angle);
    const double distorted = std::hypot(cx, cy);
    if (distorted > 0.0) {
        const double factor = UndistortRadius(distorted, mounting_.radialK) / distorted;
        cx *= factor;
        cy *= factor;
    }
    return ScreenPoint{(cx + 1.0) / 2.0 * widthPx_, (cy + 1.0) / 2.0 * heightPx_};
}

RawPoint PanelModel::ToRaw(double xPx, double yPx) {
    double rawX = 0.0;
    double rawY = 0.0;
    IdealRaw(xPx, yPx, rawX, rawY);
    if (mounting_.noiseSigma > 0.0) {
        rawX += noise_(random_);
        rawY += noise_(random_);
    }
    const auto clampRaw = [&](double v) {
        return static_cast<std::int32_t>(
            std::clamp(std::lround(v), 0L, static_cast<long>(rawMax_)));
    };
    return RawPoint{clampRaw(rawX), clampRaw(rawY)};
}

}  // namespace ots::sim
