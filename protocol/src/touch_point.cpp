#include "protocol/touch_point.h"

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::touch_point;

TouchPoint DecodeTouchPoint(std::span<const std::uint8_t, kTouchPointSize> bytes) {
    TouchPoint p{};
    p.x = LoadI32(bytes, at::x);
    p.y = LoadI32(bytes, at::y);
    p.z = LoadI32(bytes, at::z);
    p.valid = bytes[at::valid];
    return p;
}

void EncodeTouchPoint(const TouchPoint& point, std::span<std::uint8_t, kTouchPointSize> bytes) {
    StoreI32(bytes, at::x, point.x);
    StoreI32(bytes, at::y, point.y);
    StoreI32(bytes, at::z, point.z);
    bytes[at::valid] = point.valid;
}

}  // namespace ots
