// How a touch panel sits on the screen: screen pixels become raw panel values through a
// mounting error (scale and rotation about the panel centre, a mild radial non-linearity, an
// offset) and measurement noise from a seeded generator, so runs repeat exactly.
#pragma once

#include <cstdint>
#include <random>

namespace ots::sim {

struct Mounting {
    double offsetX = 0.0;  // raw units
    double offsetY = 0.0;  // raw units
    double scaleX = 1.0;
    double scaleY = 1.0;
    double rotationDeg = 0.0;  // about the panel centre, counter-clockwise in raw axes
    double radialK = 0.0;      // r' = r (1 + k r^2), r in half panel sizes; keep |k| <= 0.1
    double noiseSigma = 0.0;   // raw units, normally distributed
    std::uint32_t seed = 1;
};

struct RawPoint {
    std::int32_t x;
    std::int32_t y;
};

struct ScreenPoint {
    double xPx;
    double yPx;
};

// Not thread-safe: the noise generator has state.
class PanelModel {
  public:
    PanelModel(int screenWidthPx, int screenHeightPx, Mounting mounting = {},
               std::int32_t rawMax = 4095);

    // A measurement: the ideal raw value plus noise, rounded and clamped to 0..rawMax.
    RawPoint ToRaw(double xPx, double yPx);
    // The mounting alone: no noise, no rounding, no clamping.
    void IdealRaw(double xPx, double yPx, double& rawX, double& rawY) const;
    // The inverse of IdealRaw.
    ScreenPoint ToScreen(double rawX, double rawY) const;

    int WidthPx() const { return widthPx_; }
    int HeightPx() const { return heightPx_; }
    std::int32_t RawMax() const { return rawMax_; }
    const Mounting& GetMounting() const { return mounting_; }

  private:
    int widthPx_;
    int heightPx_;
    std::int32_t rawMax_;
    Mounting mounting_;
    std::mt19937 random_;
    std::normal_distribution<double> noise_;
};

}  // namespace ots::sim
