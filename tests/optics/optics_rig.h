// What the position tests share: the controller's PanelParams and CameraParams, and a simulated
// pair of cameras that renders fingers on the panel into the two line images through the default
// lens models (angle = pi/4 + 1.15·u for camera A, pi/4 - 1.15·u for camera B, u = pixel / 320 -
// 1).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "sim/camera_blocks.h"
#include "touch/position.h"
#include "touch/position_lens.h"
#include "touch/touch_data.h"

namespace optics_test {

using ots::sim::Block;
using ots::sim::CameraParams;
using ots::sim::PanelParams;

// Cameras 30 units left of and 20 above a 1000 x 750 panel; blocks as the controller writes them.
inline constexpr PanelParams kPanel{1000, 750, 100, 2000, -20, -30, 40, 5, 0.5f};
inline constexpr CameraParams kLens{1,     20,  610, {0.1f, 1.0f, 0.2f, -0.05f, 0, 0, 0, 0.01f},
                                    0.05f, 2.0f};

// A context after SetupGeometry with these blocks (none: default lenses, fall-back scale); it
// held ones before, so that whatever SetupGeometry leaves alone shows.
inline std::unique_ptr<OpticalContext> ContextWith(const Block* panel = nullptr,
                                                   const Block* cam1 = nullptr,
                                                   const Block* cam0 = nullptr) {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 1, sizeof(OpticalContext));
    SetupGeometry(panel ? panel->data() : nullptr, cam1 ? cam1->data() : nullptr,
                  cam0 ? cam0->data() : nullptr, oc.get());
    return oc;
}

inline constexpr int kPixels = 640;
using Line = std::array<BYTE, kPixels>;

struct Finger {
    double x;
    double y;
    double r = 0.01;  // radius, baseline units
};

// Lights the pixels under the sight-line angles [from, to] (in either order), at least one.
inline void Shade(Line& line, double from, double to, bool cameraB) {
    const auto pixel = [cameraB](double angle) {
        const double u = (angle - std::numbers::pi / 4.0) / 1.15;
        return std::lround(320.0 * (1.0 + (cameraB ? -u : u)));
    };
    const long lo = std::min(pixel(from), pixel(to));
    const long hi = std::max(std::max(pixel(from), pixel(to)), lo + 1);
    std::fill(line.begin() + std::clamp(lo, 0L, long{kPixels}),
              line.begin() + std::clamp(hi, 0L, long{kPixels}), BYTE{1});
}

struct Frame {
    Line a{};
    Line b{};
};

// Each camera at one end of the baseline, angles from the baseline normal.
inline Frame Render(const std::vector<Finger>& fingers) {
    Frame frame;
    for (const Finger& f : fingers) {
        for (const bool cameraB : {false, true}) {
            const double dx = cameraB ? 1.0 - f.x : f.x;
            const double center = std::atan2(dx, f.y);
            const double half = std::asin(std::min(1.0, f.r / std::hypot(dx, f.y)));
            Shade(cameraB ? frame.b : frame.a, center - half, center + half, cameraB);
        }
    }
    return frame;
}

inline SolvedPoint At(double x, double y, double size = 0.01) {
    return SolvedPoint{x, y, size, 0.0, 1};
}

inline bool IsFinite(const SolvedPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.size) &&
           std::isfinite(p.mismatch);
}

}  // namespace optics_test
