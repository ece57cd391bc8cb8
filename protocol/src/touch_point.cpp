#include "protocol/touch_point.h"

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::touch_point;

constexpr std::array<codec::Field<TouchPoint>, 4> kFields{{
    {at::x, &TouchPoint::x},
    {at::y, &TouchPoint::y},
    {at::z, &TouchPoint::z},
    {at::valid, &TouchPoint::valid},
}};

TouchPoint DecodeTouchPoint(std::span<const std::uint8_t, kTouchPointSize> bytes) {
    return codec::Decode(bytes, kFields);
}

void EncodeTouchPoint(const TouchPoint& point, std::span<std::uint8_t, kTouchPointSize> bytes) {
    codec::Encode(point, kFields, bytes);
}

}  // namespace ots
