#include "protocol/driver_config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "record_patterns.h"

namespace ots {
namespace {

using Bytes58 = std::array<std::uint8_t, kDriverConfigSize>;

TEST(DriverConfigRecord, DefaultsEncodeToTheTableBytes) {
    // Offsets 0..9 the ten BYTE fields, then seven DWORDs, then 20 reserved bytes.
    const Bytes58 expected{
        0x02, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00,  // Mode .. IsCalibrating
        0xD0, 0x07, 0x00, 0x00,                                      // BeepFrequency 2000
        0x64, 0x00, 0x00, 0x00,                                      // BeepDuration 100
        0x01, 0x00, 0x00, 0x00,                                      // Smoothness 1
        0xE8, 0x03, 0x00, 0x00,                                      // RightClickTime 1000
        0x04, 0x00, 0x00, 0x00,                                      // RightClickArea 4
        0xF4, 0x01, 0x00, 0x00,                                      // DoubleClickTime 500
        0x04, 0x00, 0x00, 0x00,                                      // DoubleClickArea 4
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // reserved
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    Bytes58 bytes = test::FilledBytes<kDriverConfigSize>(0xEE);
    EncodeDriverConfig(DefaultDriverConfig(), bytes);
    EXPECT_EQ(bytes, expected);
}

TEST(DriverConfigRecord, DecodeReadsEachFieldAtItsOffset) {
    const Bytes58 bytes{
        0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,  //
        0x01, 0x02, 0x03, 0x04,                                      // BeepFrequency
        0x05, 0x06, 0x07, 0x08,                                      // BeepDuration
        0x09, 0x0A, 0x0B, 0x0C,                                      // Smoothness
        0x0D, 0x0E, 0x0F, 0x80,                                      // RightClickTime
        0x21, 0x22, 0x23, 0x24,                                      // RightClickArea
        0x31, 0x32, 0x33, 0x34,                                      // DoubleClickTime
        0x41, 0x42, 0x43, 0xF4,                                      // DoubleClickArea
        0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9,  // reserved
        0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9,
    };
    const DriverConfig r = DecodeDriverConfig(bytes);
    EXPECT_EQ(r.Mode, 0x10);
    EXPECT_EQ(r.EnableTouch, 0x11);
    EXPECT_EQ(r.EnableRightClick, 0x12);
    EXPECT_EQ(r.CalibrateType, 0x13);
    EXPECT_EQ(r.EnableDoubleClick, 0x14);
    EXPECT_EQ(r.HideCursor, 0x15);
    EXPECT_EQ(r.EnableBeep, 0x16);
    EXPECT_EQ(r.BeepType, 0x17);
    EXPECT_EQ(r.BeepMode, 0x18);
    EXPECT_EQ(r.IsCalibrating, 0x19);
    EXPECT_EQ(r.BeepFrequency, 0x04030201u);
    EXPECT_EQ(r.BeepDuration, 0x08070605u);
    EXPECT_EQ(r.Smoothness, 0x0C0B0A09u);
    EXPECT_EQ(r.RightClickTime, 0x800F0E0Du);
    EXPECT_EQ(r.RightClickArea, 0x24232221u);
    EXPECT_EQ(r.DoubleClickTime, 0x34333231u);
    EXPECT_EQ(r.DoubleClickArea, 0xF4434241u);
    EXPECT_EQ(r.reserved.front(), 0xA0);
    EXPECT_EQ(r.reserved[9], 0xA9);
    EXPECT_EQ(r.reserved.back(), 0xB9);
}

TEST(DriverConfigRecord, DecodeThenEncodeKeepsAll58BytesReservedIncluded) {
    const Bytes58 original = test::CountingBytes<kDriverConfigSize>(0x03);
    Bytes58 again = test::FilledBytes<kDriverConfigSize>(0x00);
    EncodeDriverConfig(DecodeDriverConfig(original), again);
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace ots
