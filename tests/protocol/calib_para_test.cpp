#include "protocol/calib_para.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "record_patterns.h"

namespace ots {
namespace {

using Bytes58 = std::array<std::uint8_t, kCalibParaSize>;

TEST(CalibParaRecord, IdentityXIsA10OneAtOffset32) {
    Bytes58 bytes = test::FilledBytes<kCalibParaSize>(0xEE);
    EncodeCalibPara(IdentityCalibParaX(), bytes);
    Bytes58 expected{};
    expected[32] = 0x00;  // 1.0f = 0x3F800000, little-endian
    expected[33] = 0x00;
    expected[34] = 0x80;
    expected[35] = 0x3F;
    EXPECT_EQ(bytes, expected);
}

TEST(CalibParaRecord, IdentityYIsA01OneAtOffset28) {
    Bytes58 bytes = test::FilledBytes<kCalibParaSize>(0xEE);
    EncodeCalibPara(IdentityCalibParaY(), bytes);
    Bytes58 expected{};
    expected[30] = 0x80;
    expected[31] = 0x3F;
    EXPECT_EQ(bytes, expected);
}

TEST(CalibParaRecord, EncodeLaysCoefficientsInTableOrder) {
    CalibPara r{};
    r.A03 = 1.0f;   // 3F800000
    r.A12 = 2.0f;   // 40000000
    r.A21 = -1.0f;  // BF800000
    r.A30 = 0.5f;   // 3F000000
    r.A02 = 4.0f;   // 40800000
    r.A11 = -2.0f;  // C0000000
    r.A20 = 0.25f;  // 3E800000
    r.A01 = 8.0f;   // 41000000
    r.A10 = 1.5f;   // 3FC00000
    r.A00 = -0.5f;  // BF000000
    r.reserve0 = 0x04030201;
    r.reserve1 = 0x08070605;
    r.reserve2 = 0x0C0B0A09;
    r.reserve3 = 0x100F0E0D;
    r.reserve4 = 0x11;
    r.reserve5 = 0x12;
    const Bytes58 expected{
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0xBF,  // A03 A12 A21
        0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x40, 0x00, 0x00, 0x00, 0xC0,  // A30 A02 A11
        0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x00, 0x41, 0x00, 0x00, 0xC0, 0x3F,  // A20 A01 A10
        0x00, 0x00, 0x00, 0xBF,                                                  // A00
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,                          // reserve0, 1
        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,                          // reserve2, 3
        0x11, 0x12,                                                              // reserve4, 5
    };
    Bytes58 bytes{};
    EncodeCalibPara(r, bytes);
    EXPECT_EQ(bytes, expected);

    const CalibPara back = DecodeCalibPara(expected);
    EXPECT_EQ(back.A03, 1.0f);
    EXPECT_EQ(back.A12, 2.0f);
    EXPECT_EQ(back.A21, -1.0f);
    EXPECT_EQ(back.A30, 0.5f);
    EXPECT_EQ(back.A02, 4.0f);
    EXPECT_EQ(back.A11, -2.0f);
    EXPECT_EQ(back.A20, 0.25f);
    EXPECT_EQ(back.A01, 8.0f);
    EXPECT_EQ(back.A10, 1.5f);
    EXPECT_EQ(back.A00, -0.5f);
    EXPECT_EQ(back.reserve0, 0x04030201u);
    EXPECT_EQ(back.reserve1, 0x08070605u);
    EXPECT_EQ(back.reserve2, 0x0C0B0A09u);
    EXPECT_EQ(back.reserve3, 0x100F0E0Du);
    EXPECT_EQ(back.reserve4, 0x11);
    EXPECT_EQ(back.reserve5, 0x12);
}

TEST(CalibParaRecord, DecodeThenEncodeKeepsAll58BytesReservedIncluded) {
    const Bytes58 original = test::CountingBytes<kCalibParaSize>(0x09);
    Bytes58 again{};
    EncodeCalibPara(DecodeCalibPara(original), again);
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace ots
