// What the position tests share: the controller's PanelParams and CameraParams blocks written
// field by field, and a simulated pair of cameras that renders fingers on the panel into the
// two line images through the default lens models (angle = pi/4 + 1.15·u for camera A,
// pi/4 - 1.15·u for camera B, u = pixel / 320 - 1).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <numbers>

#include "protocol/bytes.h"
#include "touch/position.h"
#include "touch/touch_data.h"

namespace optics_test {

using Block = std::array<BYTE, kParamBlockSize>;

// Cameras 30 units left of and 20 above a 1000 x 750 panel.
struct Panel {
    INT32 width = 1000, height = 750, fps = 100, maxSpeed = 2000, camOffsetY = -20,
          camLOffsetX = -30, camROffsetX = 40, refCount = 5;
    float weight = 0.5f;
};

// Width, height, fps, MaxSpeed, camOffsetY, camLOffsetX, camROffsetX, VelocityRefCount from
// byte 2, four bytes each; VelocityWeight at 34.
inline Block PanelBlock(const Panel& p) {
    Block b{};
    const INT32 fields[] = {p.width,      p.height,      p.fps,         p.maxSpeed,
                            p.camOffsetY, p.camLOffsetX, p.camROffsetX, p.refCount};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        ots::StoreI32(b, 2 + 4 * i, fields[i]);
    }
    ots::StoreReal4(b, 34, p.weight);
    return b;
}

struct Camera {
    INT32 firstPixel = 20;
    INT32 lastPixel = 610;
    std::array<float, 8> p = {0.1f, 1.0f, 0.2f, -0.05f, 0.0f, 0.0f, 0.0f, 0.01f};
    float j = 0.05f;
    float k = 2.0f;
};

inline Block CameraBlock(const Camera& c) {
    Block b{};
    b[0] = 1;  // packet order
    ots::StoreI32(b, 2, c.firstPixel);
    ots::StoreI32(b, 6, c.lastPixel);
    for (std::size_t i = 0; i < c.p.size(); ++i) {
        ots::StoreReal4(b, 10 + 4 * i, c.p[i]);
    }
    ots::StoreReal4(b, 42, c.j);
    ots::StoreReal4(b, 46, c.k);
    return b;
}

// A context after SetupGeometry with these blocks (none: default lenses, fall-back scale).
inline std::unique_ptr<OpticalContext> ContextWith(const Block* panel = nullptr,
                                                   const Block* cam1 = nullptr,
                                                   const Block* cam0 = nullptr) {
    auto oc = std::make_unique<OpticalContext>();
    std::memset(oc.get(), 0, sizeof(OpticalContext));
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
inline Frame Render(std::initializer_list<Finger> fingers) {
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
