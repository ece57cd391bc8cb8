#include "sim/camera_geometry.h"

namespace ots::sim {

namespace {
constexpr double kFallbackWidth = 32768.0;
constexpr double kFallbackHeight = 24576.0;  // 32768 · 32768 / 43690.668
}  // namespace

BaselinePoint PanelGeometry::ToBaseline(PanelPoint p) const {
    const double l = Baseline();
    return BaselinePoint{(p.x - camLOffsetX) / l, (p.y - camOffsetY) / l};
}

PanelPoint PanelGeometry::ToPanel(BaselinePoint b) const {
    const double l = Baseline();
    return PanelPoint{l * b.x + camLOffsetX, l * b.y + camOffsetY};
}

PanelGeometry EffectiveGeometry(const PanelParams& params) {
    if (!IsUsablePanelParams(params)) {
        return PanelGeometry{kFallbackWidth, kFallbackHeight, 0.0, 0.0, 0.0};
    }
    return PanelGeometry{
        static_cast<double>(params.PanelWidth), static_cast<double>(params.PanelHeight),
        static_cast<double>(params.camLOffsetX), static_cast<double>(params.camROffsetX),
        static_cast<double>(params.camOffsetY)};
}

}  // namespace ots::sim
