#include "sim/camera_optics.h"

#include <algorithm>
#include <cmath>

namespace ots::sim {

namespace {
constexpr std::int32_t kPanelFraction = 32768;  // the mounting's raw units per panel side
}  // namespace

int NoisySensor::NextEdgeShift() {
    if (!noise_.edgeJitter) {
        return 0;
    }
    return std::uniform_int_distribution<int>(-1, 1)(random_);
}

int NoisySensor::DeadPixel(Camera camera) const {
    return camera == Camera::A ? noise_.deadPixelA : noise_.deadPixelB;
}

CameraOptics::CameraOptics(const CameraPanel& panel)
    : panel_(panel),
      geometry_(panel.Geometry()),
      mounted_(panel.screenWidthPx, panel.screenHeightPx, panel.mounting, kPanelFraction),
      lensA_(LensModel::FromBlock(panel.camera1, Camera::A)),
      lensB_(LensModel::FromBlock(panel.camera0, Camera::B)) {}

PanelPoint CameraOptics::ScreenToPanel(double xPx, double yPx) const {
    double fx = 0.0;
    double fy = 0.0;
    mounted_.IdealRaw(xPx, yPx, fx, fy);
    return PanelPoint{fx * geometry_.width / kPanelFraction,
                      fy * geometry_.height / kPanelFraction};
}

BaselinePoint CameraOptics::ToBaseline(double xPx, double yPx) const {
    return geometry_.ToBaseline(ScreenToPanel(xPx, yPx));
}

double CameraOptics::RadiusOf(const Finger& finger) const {
    return finger.diameterMm / 2.0 * panel_.PanelUnitsPerMm() / geometry_.Baseline();
}

std::optional<Shadow> CameraOptics::ShadowOf(const Finger& finger, Camera camera) const {
    const BaselinePoint at = ToBaseline(finger.xPx, finger.yPx);
    const double across = camera == Camera::A ? at.x : 1.0 - at.x;
    const double distance = std::hypot(across, at.y);
    const double radius = RadiusOf(finger);
    if (at.y <= 0.0 || distance <= radius) {
        return std::nullopt;
    }
    const double center = std::atan2(across, at.y);
    const double half = std::asin(radius / distance);
    const LensModel& model = lens(camera);
    const double low = center - half;
    const double high = center + half;
    if (high < model.LowestAngle() || low > model.HighestAngle()) {
        return std::nullopt;
    }
    // A shadow reaching past the field of view is cut at the end of the line.
    const double lowEdge = *model.PixelAt(std::max(low, model.LowestAngle()));
    const double highEdge = *model.PixelAt(std::min(high, model.HighestAngle()));
    Shadow shadow{};
    shadow.lowAngle = low;
    shadow.highAngle = high;
    shadow.firstEdgePx = std::min(lowEdge, highEdge);
    shadow.lastEdgePx = std::max(lowEdge, highEdge);
    shadow.start =
        std::clamp(static_cast<int>(std::lround(shadow.firstEdgePx)), 0, kLinePixels - 1);
    shadow.end =
        std::clamp(static_cast<int>(std::lround(shadow.lastEdgePx)), shadow.start + 1, kLinePixels);
    return shadow;
}

void CameraOptics::Paint(LineImage& line, const Finger& finger, Camera camera,
                         NoisySensor* sensor) const {
    const std::optional<Shadow> shadow = ShadowOf(finger, camera);
    if (!shadow) {
        return;
    }
    int start = shadow->start;
    int end = shadow->end;
    if (sensor != nullptr) {
        start = std::clamp(start + sensor->NextEdgeShift(), 0, kLinePixels - 1);
        end = std::clamp(end + sensor->NextEdgeShift(), start + 1, kLinePixels);
    }
    std::fill(line.begin() + start, line.begin() + end, std::uint8_t{1});
}

CameraLines CameraOptics::Render(std::span<const Finger> fingers, NoisySensor* sensor) const {
    CameraLines lines;
    for (const Finger& finger : fingers) {
        Paint(lines.a, finger, Camera::A, sensor);
        Paint(lines.b, finger, Camera::B, sensor);
    }
    if (sensor != nullptr) {
        for (Camera camera : {Camera::A, Camera::B}) {
            const int dead = sensor->DeadPixel(camera);
            if (dead >= 0 && dead < kLinePixels) {
                (camera == Camera::A ? lines.a : lines.b)[static_cast<std::size_t>(dead)] = 0;
            }
        }
    }
    return lines;
}

}  // namespace ots::sim
