// TouchPoint: the packed 13-byte point (x, y, z INT32, valid BYTE). LastClickPoint travels in
// this form through control code 0x80002000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline constexpr std::size_t kTouchPointSize = 13;

struct TouchPoint {
    std::int32_t x;
    std::int32_t y;
    std::int32_t z;      // size; 0 or more
    std::uint8_t valid;  // nonzero = touching
};

TouchPoint DecodeTouchPoint(std::span<const std::uint8_t, kTouchPointSize> bytes);
void EncodeTouchPoint(const TouchPoint& point, std::span<std::uint8_t, kTouchPointSize> bytes);

}  // namespace ots
