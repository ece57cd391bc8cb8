#include "protocol/device_config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "record_patterns.h"

namespace ots {
namespace {

using Bytes58 = std::array<std::uint8_t, kDeviceConfigSize>;

// One record with a distinct value in every field, and its bytes written out from the layout.
DeviceConfig SampleRecord() {
    DeviceConfig r{};
    r.DeviceID = 0x01;
    r.MonitorID = 0x02;
    r.MinX = 0x0403;
    r.MinY = 0x0605;
    r.MaxX = 0x0807;
    r.MaxY = 0x0A09;
    r.IsCalibrated = 1;
    r.OffX = 0x11223344;  // unaligned: offset 11
    r.OffY = 0x55667788;
    r.ResolutionX = 0x1A19;
    r.ResolutionY = 0x1C1B;
    r.PrimaryResolutionX = 0x1E1D;
    r.PrimaryResolutionY = 0x201F;
    r.reserved[0] = 0xC0;
    r.reserved[30] = 0xCF;
    return r;
}

const Bytes58 kSampleBytes{
    0x01, 0x02,                          // DeviceID, MonitorID
    0x03, 0x04, 0x05, 0x06,              // MinX, MinY
    0x07, 0x08, 0x09, 0x0A,              // MaxX, MaxY
    0x01,                                // IsCalibrated
    0x44, 0x33, 0x22, 0x11,              // OffX at 11
    0x88, 0x77, 0x66, 0x55,              // OffY at 15
    0x19, 0x1A, 0x1B, 0x1C,              // ResolutionX, ResolutionY
    0x1D, 0x1E, 0x1F, 0x20,              // PrimaryResolutionX, PrimaryResolutionY
    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,  // reserved 27..57
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xCF,
};

TEST(DeviceConfigRecord, EncodeLaysFieldsAtTheirOffsets) {
    Bytes58 bytes = test::FilledBytes<kDeviceConfigSize>(0xEE);
    EncodeDeviceConfig(SampleRecord(), bytes);
    EXPECT_EQ(bytes, kSampleBytes);
}

TEST(DeviceConfigRecord, DecodeReadsEachFieldAtItsOffset) {
    const DeviceConfig r = DecodeDeviceConfig(kSampleBytes);
    EXPECT_EQ(r.DeviceID, 0x01);
    EXPECT_EQ(r.MonitorID, 0x02);
    EXPECT_EQ(r.MinX, 0x0403);
    EXPECT_EQ(r.MinY, 0x0605);
    EXPECT_EQ(r.MaxX, 0x0807);
    EXPECT_EQ(r.MaxY, 0x0A09);
    EXPECT_EQ(r.IsCalibrated, 1);
    EXPECT_EQ(r.OffX, 0x11223344u);
    EXPECT_EQ(r.OffY, 0x55667788u);
    EXPECT_EQ(r.ResolutionX, 0x1A19);
    EXPECT_EQ(r.ResolutionY, 0x1C1B);
    EXPECT_EQ(r.PrimaryResolutionX, 0x1E1D);
    EXPECT_EQ(r.PrimaryResolutionY, 0x201F);
    EXPECT_EQ(r.reserved, SampleRecord().reserved);
}

TEST(DeviceConfigRecord, OffXAloneOccupiesBytes11To14) {
    DeviceConfig r{};
    r.OffX = 0x12345678;
    Bytes58 bytes = test::FilledBytes<kDeviceConfigSize>(0xEE);
    EncodeDeviceConfig(r, bytes);
    Bytes58 expected{};
    expected[11] = 0x78;
    expected[12] = 0x56;
    expected[13] = 0x34;
    expected[14] = 0x12;
    EXPECT_EQ(bytes, expected);
}

TEST(DeviceConfigRecord, DecodeThenEncodeKeepsAll58BytesReservedIncluded) {
    const Bytes58 original = test::CountingBytes<kDeviceConfigSize>(0x05);
    Bytes58 again{};
    EncodeDeviceConfig(DecodeDeviceConfig(original), again);
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace ots
