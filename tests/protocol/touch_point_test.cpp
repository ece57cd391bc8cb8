#include "protocol/touch_point.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "record_patterns.h"

namespace ots {
namespace {

using Bytes13 = std::array<std::uint8_t, kTouchPointSize>;

TEST(TouchPointRecord, Is13PackedBytes) {
    const TouchPoint p{-2, 0x01020304, 0x7FFFFFFF, 1};
    const Bytes13 expected{
        0xFE, 0xFF, 0xFF, 0xFF,  // x = -2
        0x04, 0x03, 0x02, 0x01,  // y
        0xFF, 0xFF, 0xFF, 0x7F,  // z
        0x01,                    // valid
    };
    Bytes13 bytes = test::FilledBytes<kTouchPointSize>(0xEE);
    EncodeTouchPoint(p, bytes);
    EXPECT_EQ(bytes, expected);
}

TEST(TouchPointRecord, DecodeKeepsTheSignOfCoordinates) {
    const Bytes13 bytes{0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF,
                        0xFF, 0x10, 0x00, 0x00, 0x00, 0x00};
    const TouchPoint p = DecodeTouchPoint(bytes);
    EXPECT_EQ(p.x, INT32_MIN);
    EXPECT_EQ(p.y, -1);
    EXPECT_EQ(p.z, 16);
    EXPECT_EQ(p.valid, 0);
}

TEST(TouchPointRecord, DecodeThenEncodeKeepsAll13Bytes) {
    const Bytes13 original = test::CountingBytes<kTouchPointSize>(0x80);
    Bytes13 again{};
    EncodeTouchPoint(DecodeTouchPoint(original), again);
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace ots
