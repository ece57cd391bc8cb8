// The controller's PanelParams and CameraParams blocks, written field by field at their
// byte offsets.
#pragma once

#include <array>

#include "protocol/bytes.h"
#include "touch/touch_data.h"

namespace optics_test {

using Block = std::array<BYTE, kParamBlockSize>;

struct Panel {
    INT32 width = 1000;
    INT32 height = 750;
    INT32 fps = 100;
    INT32 maxSpeed = 2000;
    INT32 camOffsetY = -20;
    INT32 camLOffsetX = -30;
    INT32 camROffsetX = 40;
    INT32 refCount = 5;
    float weight = 0.5f;
};

inline Block PanelBlock(const Panel& p) {
    Block b{};
    ots::StoreI32(b, 2, p.width);
    ots::StoreI32(b, 6, p.height);
    ots::StoreI32(b, 10, p.fps);
    ots::StoreI32(b, 14, p.maxSpeed);
    ots::StoreI32(b, 18, p.camOffsetY);
    ots::StoreI32(b, 22, p.camLOffsetX);
    ots::StoreI32(b, 26, p.camROffsetX);
    ots::StoreI32(b, 30, p.refCount);
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

}  // namespace optics_test
