#include "protocol/screen_config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "record_patterns.h"

namespace ots {
namespace {

using Bytes32 = std::array<std::uint8_t, kScreenConfigSize>;

TEST(ScreenConfigRecord, DefaultsEncodeToTheTableBytes) {
    const Bytes32 expected{
        0x98, 0x3A, 0x00, 0x00,  // MaxSpeed 15000
        0x05, 0x14, 0x00, 0x00,  // VelocityRefCount 5, VelocityWeight 20, pos, s1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    Bytes32 bytes = test::FilledBytes<kScreenConfigSize>(0xEE);
    EncodeScreenConfig(DefaultScreenConfig(), bytes);
    EXPECT_EQ(bytes, expected);
}

TEST(ScreenConfigRecord, DecodeReadsEachFieldAtItsOffset) {
    const Bytes32 bytes{
        0x01, 0x02, 0x03, 0x04,  // MaxSpeed
        0x05, 0x06, 0x07, 0x08,  // VelocityRefCount, VelocityWeight, pos, s1
        0x80, 0x07, 0x00, 0x00,  // width 1920
        0x38, 0x04, 0x00, 0x00,  // hight 1080
        0x3C, 0x00, 0x00, 0x00,  // fps 60
        0x21, 0x22, 0x23, 0x24,  // camOffsetY
        0x31, 0x32, 0x33, 0x34,  // camLOffsetX
        0x41, 0x42, 0x43, 0x44,  // camROffsetX
    };
    const ScreenConfig r = DecodeScreenConfig(bytes);
    EXPECT_EQ(r.MaxSpeed, 0x04030201u);
    EXPECT_EQ(r.VelocityRefCount, 0x05);
    EXPECT_EQ(r.VelocityWeight, 0x06);
    EXPECT_EQ(r.pos, 0x07);
    EXPECT_EQ(r.s1, 0x08);
    EXPECT_EQ(r.width, 1920u);
    EXPECT_EQ(r.hight, 1080u);
    EXPECT_EQ(r.fps, 60u);
    EXPECT_EQ(r.camOffsetY, 0x24232221u);
    EXPECT_EQ(r.camLOffsetX, 0x34333231u);
    EXPECT_EQ(r.camROffsetX, 0x44434241u);
}

TEST(ScreenConfigRecord, DecodeThenEncodeKeepsAll32Bytes) {
    const Bytes32 original = test::CountingBytes<kScreenConfigSize>(0x02);
    Bytes32 again{};
    EncodeScreenConfig(DecodeScreenConfig(original), again);
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace ots
