// A simulated pair of cameras for the position tests: fingers on the panel rendered into the
// two line images through the default lens models (angle = pi/4 + 1.15·u for camera A,
// pi/4 - 1.15·u for camera B, u = pixel / 320 - 1), then handed to SolveFrame.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <numbers>

#include "touch/position.h"

namespace optics_test {

inline constexpr int kPixels = 640;
inline constexpr double kLensSlope = 1.15;
inline constexpr double kQuarterPi = std::numbers::pi / 4.0;

using Line = std::array<BYTE, kPixels>;

struct Finger {
    double x;
    double y;
    double r = 0.01;  // radius, baseline units
};

// Pixel position under which a camera with the default model sees a sight-line angle.
inline double PixelOfAngle(double angle, bool cameraB) {
    const double u = (angle - kQuarterPi) / kLensSlope;
    return 320.0 * (1.0 + (cameraB ? -u : u));
}

// Lights every pixel whose centre lies within [from, to] (in either order), at least one.
inline void Shade(Line& line, double from, double to) {
    const double lo = std::min(from, to);
    const double hi = std::max(from, to);
    int first = static_cast<int>(std::lround(lo));
    int last = std::max(static_cast<int>(std::lround(hi)), first + 1);
    first = std::clamp(first, 0, kPixels);
    last = std::clamp(last, 0, kPixels);
    std::fill(line.begin() + first, line.begin() + last, BYTE{1});
}

// A finger seen from a camera at (cameraX, 0), angles from the baseline normal.
inline void DrawFinger(Line& line, const Finger& f, bool cameraB) {
    const double dx = cameraB ? 1.0 - f.x : f.x;
    const double distance = std::hypot(dx, f.y);
    const double center = std::atan2(dx, f.y);
    const double half = std::asin(std::min(1.0, f.r / distance));
    Shade(line, PixelOfAngle(center - half, cameraB), PixelOfAngle(center + half, cameraB));
}

struct Frame {
    Line a{};
    Line b{};
};

inline Frame Render(std::initializer_list<Finger> fingers) {
    Frame frame;
    for (const Finger& f : fingers) {
        DrawFinger(frame.a, f, false);
        DrawFinger(frame.b, f, true);
    }
    return frame;
}

// A context after SetupGeometry without controller blocks: default lenses, fall-back scale.
inline std::unique_ptr<OpticalContext> DefaultContext() {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 0, sizeof(OpticalContext));
    SetupGeometry(nullptr, nullptr, nullptr, oc.get());
    return oc;
}

inline void Solve(OpticalContext& oc, const Frame& frame) {
    SolveFrame(frame.a.data(), kPixels, frame.b.data(), kPixels, &oc);
}

inline double DistanceTo(const SolvedPoint& p, const Finger& f) {
    return std::hypot(p.x - f.x, p.y - f.y);
}

inline bool IsFinite(const SolvedPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.size) &&
           std::isfinite(p.mismatch);
}

}  // namespace optics_test
