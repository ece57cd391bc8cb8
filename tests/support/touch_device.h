// A device context with its touch work area, as attach would leave it, for driving touch
// processing directly; and the mouse input it produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ce/host/input_sink.h"
#include "ce/kernel.h"
#include "core/device_context.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/screen_config.h"
#include "support/mouse_events.h"
#include "touch/touch_data.h"

namespace ots::test {

class TouchDevice {
  public:
    TouchDevice(std::uint16_t idVendor, std::uint16_t idProduct) {
        usbDevice_.Descriptor.idVendor = idVendor;
        usbDevice_.Descriptor.idProduct = idProduct;
        context_.dwSig = DEVICE_SIG;
        InitializeCriticalSection(&context_.csTouch);
        InitializeCriticalSection(&context_.csVendor);
        context_.lpDeviceInfo = &usbDevice_;
        context_.DriverConfig = ots::DefaultDriverConfig();
        context_.ScreenConfig = ots::DefaultScreenConfig();
        context_.pTouchData = &touch_;
    }
    ~TouchDevice() {
        DeleteCriticalSection(&context_.csVendor);
        DeleteCriticalSection(&context_.csTouch);
    }
    TouchDevice(const TouchDevice&) = delete;
    TouchDevice& operator=(const TouchDevice&) = delete;

    static TouchDevice Camera() { return TouchDevice(ots::kCameraVendorId, ots::kCameraProductId); }
    // Any identity outside the camera generation is a coordinate controller.
    static TouchDevice Coordinate() { return TouchDevice(0x0EEF, 0x0001); }

    DEVICE_CONTEXT& ctx() { return context_; }
    TOUCH_DATA& td() { return touch_; }
    ots::DriverConfig& config() { return context_.DriverConfig; }

  private:
    // Built in place (never copied or moved): the context points at the other two.
    DEVICE_CONTEXT context_{};
    TOUCH_DATA touch_{};
    USB_DEVICE usbDevice_{};
};

inline ots::TouchPoint Touch(std::int32_t x, std::int32_t y, std::int32_t z = 0) {
    return ots::TouchPoint{x, y, z, 1};
}
inline ots::TouchPoint Lifted(std::int32_t x = 0, std::int32_t y = 0) {
    return ots::TouchPoint{x, y, 0, 0};
}

// Points as the tests compare them: "x,y,z" for a touching one, "-" for one that is not.
inline std::string PointsText(const ots::TouchPoint* points, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        const ots::TouchPoint& p = points[i];
        text += i > 0 ? " " : "";
        text += p.valid
                    ? std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.z)
                    : "-";
    }
    return text;
}

}  // namespace ots::test
