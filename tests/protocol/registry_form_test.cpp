#include "protocol/registry_form.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/driver_config.h"
#include "protocol/screen_config.h"
#include "record_patterns.h"

namespace ots {
namespace {

struct Expected {
    std::wstring name;
    std::size_t offset;
    FieldType type;
};

std::size_t Width(FieldType type) {
    switch (type) {
        case FieldType::Byte:
            return 1;
        case FieldType::Word:
            return 2;
        default:
            return 4;
    }
}

void ExpectTable(std::span<const RegistryField> table, const std::vector<Expected>& expected) {
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::wstring(table[i].name), expected[i].name);
        EXPECT_EQ(table[i].offset, expected[i].offset);
        EXPECT_EQ(table[i].type, expected[i].type);
    }
}

// Names once each, and the named fields cover bytes [0, namedEnd) exactly once: the rest of the
// record is reserved.
void ExpectTiles(std::span<const RegistryField> table, std::size_t namedEnd) {
    std::set<std::wstring> names;
    std::vector<int> cover(namedEnd, 0);
    for (const RegistryField& f : table) {
        EXPECT_TRUE(names.insert(f.name).second) << "twice: " << f.name;
        ASSERT_LE(f.offset + Width(f.type), namedEnd);
        for (std::size_t b = f.offset; b < f.offset + Width(f.type); ++b) {
            ++cover[b];
        }
    }
    for (std::size_t b = 0; b < namedEnd; ++b) {
        EXPECT_EQ(cover[b], 1) << "byte " << b;
    }
}

TEST(RegistryTables, DriverConfigInItsOwnLoadOrder) {
    ExpectTable(DriverConfigFields(), {
                                          {L"Mode", 0, FieldType::Byte},
                                          {L"EnableRightClick", 2, FieldType::Byte},
                                          {L"RightClickArea", 26, FieldType::Dword},
                                          {L"RightClickTime", 22, FieldType::Dword},
                                          {L"EnableDoubleClick", 4, FieldType::Byte},
                                          {L"DoubleClickTime", 30, FieldType::Dword},
                                          {L"DoubleClickArea", 34, FieldType::Dword},
                                          {L"HideCursor", 5, FieldType::Byte},
                                          {L"EnableBeep", 6, FieldType::Byte},
                                          {L"BeepType", 7, FieldType::Byte},
                                          {L"BeepMode", 8, FieldType::Byte},
                                          {L"BeepFrequency", 10, FieldType::Dword},
                                          {L"BeepDuration", 14, FieldType::Dword},
                                          {L"EnableTouch", 1, FieldType::Byte},
                                          {L"CalibrateType", 3, FieldType::Byte},
                                          {L"Smoothness", 18, FieldType::Dword},
                                          {L"IsCalibrating", 9, FieldType::Byte},
                                      });
    ExpectTiles(DriverConfigFields(), 38);
}

TEST(RegistryTables, ScreenConfigInTableOrderWithLowerCaseNames) {
    ExpectTable(ScreenConfigFields(), {
                                          {L"MaxSpeed", 0, FieldType::Dword},
                                          {L"VelocityRefCount", 4, FieldType::Byte},
                                          {L"VelocityWeight", 5, FieldType::Byte},
                                          {L"pos", 6, FieldType::Byte},
                                          {L"s1", 7, FieldType::Byte},
                                          {L"width", 8, FieldType::Dword},
                                          {L"hight", 12, FieldType::Dword},
                                          {L"fps", 16, FieldType::Dword},
                                          {L"camOffsetY", 20, FieldType::Dword},
                                          {L"camLOffsetX", 24, FieldType::Dword},
                                          {L"camROffsetX", 28, FieldType::Dword},
                                      });
    ExpectTiles(ScreenConfigFields(), kScreenConfigSize);
}

TEST(RegistryTables, DeviceConfigInTableOrder) {
    ExpectTable(DeviceConfigFields(), {
                                          {L"DeviceID", 0, FieldType::Byte},
                                          {L"MonitorID", 1, FieldType::Byte},
                                          {L"MinX", 2, FieldType::Word},
                                          {L"MinY", 4, FieldType::Word},
                                          {L"MaxX", 6, FieldType::Word},
                                          {L"MaxY", 8, FieldType::Word},
                                          {L"IsCalibrated", 10, FieldType::Byte},
                                          {L"OffX", 11, FieldType::Dword},
                                          {L"OffY", 15, FieldType::Dword},
                                          {L"ResolutionX", 19, FieldType::Word},
                                          {L"ResolutionY", 21, FieldType::Word},
                                          {L"PrimaryResolutionX", 23, FieldType::Word},
                                          {L"PrimaryResolutionY", 25, FieldType::Word},
                                      });
    ExpectTiles(DeviceConfigFields(), 27);
}

TEST(RegistryTables, CalibParaCoefficientsThenNamedReserves) {
    ExpectTable(CalibParaFields(), {
                                       {L"A03", 0, FieldType::Real4},
                                       {L"A12", 4, FieldType::Real4},
                                       {L"A21", 8, FieldType::Real4},
                                       {L"A30", 12, FieldType::Real4},
                                       {L"A02", 16, FieldType::Real4},
                                       {L"A11", 20, FieldType::Real4},
                                       {L"A20", 24, FieldType::Real4},
                                       {L"A01", 28, FieldType::Real4},
                                       {L"A10", 32, FieldType::Real4},
                                       {L"A00", 36, FieldType::Real4},
                                       {L"reserve0", 40, FieldType::Dword},
                                       {L"reserve1", 44, FieldType::Dword},
                                       {L"reserve2", 48, FieldType::Dword},
                                       {L"reserve3", 52, FieldType::Dword},
                                       {L"reserve4", 56, FieldType::Byte},
                                       {L"reserve5", 57, FieldType::Byte},
                                   });
    ExpectTiles(CalibParaFields(), kCalibParaSize);
}

const RegistryField& FieldNamed(std::span<const RegistryField> table, std::wstring_view name) {
    for (const RegistryField& f : table) {
        if (name == f.name) {
            return f;
        }
    }
    throw std::out_of_range("no such field");
}

TEST(RegistryValues, ByteFieldLoadsTheLowByteOnly) {
    auto bytes = test::FilledBytes<kDriverConfigSize>(0x77);
    FieldFromRegistry(bytes, FieldNamed(DriverConfigFields(), L"Mode"), 0x1234);
    EXPECT_EQ(bytes[0], 0x34);
    EXPECT_EQ(bytes[1], 0x77);  // EnableTouch untouched
    EXPECT_EQ(DecodeDriverConfig(bytes).Mode, 0x34);
}

TEST(RegistryValues, WordFieldLoadsTheLowWordOnly) {
    auto bytes = test::FilledBytes<kDeviceConfigSize>(0x77);
    FieldFromRegistry(bytes, FieldNamed(DeviceConfigFields(), L"MinX"), 0x00ABCDEF);
    EXPECT_EQ(bytes[1], 0x77);
    EXPECT_EQ(bytes[2], 0xEF);
    EXPECT_EQ(bytes[3], 0xCD);
    EXPECT_EQ(bytes[4], 0x77);  // MinY untouched
    EXPECT_EQ(DecodeDeviceConfig(bytes).MinX, 0xCDEF);
}

TEST(RegistryValues, DwordFieldLoadsAllFourBytesAtAnUnalignedOffset) {
    auto bytes = test::FilledBytes<kDeviceConfigSize>(0x77);
    FieldFromRegistry(bytes, FieldNamed(DeviceConfigFields(), L"OffX"), 0x89ABCDEF);
    EXPECT_EQ(bytes[10], 0x77);
    EXPECT_EQ(bytes[11], 0xEF);
    EXPECT_EQ(bytes[12], 0xCD);
    EXPECT_EQ(bytes[13], 0xAB);
    EXPECT_EQ(bytes[14], 0x89);
    EXPECT_EQ(bytes[15], 0x77);
}

TEST(RegistryValues, NarrowFieldsAreStoredZeroExtended) {
    auto driver = test::FilledBytes<kDriverConfigSize>(0xFF);
    EXPECT_EQ(FieldToRegistry(driver, FieldNamed(DriverConfigFields(), L"IsCalibrating")), 0xFFu);
    EXPECT_EQ(FieldToRegistry(driver, FieldNamed(DriverConfigFields(), L"BeepFrequency")),
              0xFFFFFFFFu);
    auto device = test::FilledBytes<kDeviceConfigSize>(0xFF);
    EXPECT_EQ(FieldToRegistry(device, FieldNamed(DeviceConfigFields(), L"MaxY")), 0xFFFFu);
}

TEST(RegistryValues, Real4IsStoredAsItsBitPattern) {
    std::array<std::uint8_t, kCalibParaSize> bytes{};
    EncodeCalibPara(IdentityCalibParaX(), bytes);
    EXPECT_EQ(FieldToRegistry(bytes, FieldNamed(CalibParaFields(), L"A10")), 0x3F800000u);
    EXPECT_EQ(FieldToRegistry(bytes, FieldNamed(CalibParaFields(), L"A01")), 0u);

    std::array<std::uint8_t, kCalibParaSize> loaded{};
    FieldFromRegistry(loaded, FieldNamed(CalibParaFields(), L"A00"), 0xBF000000u);
    EXPECT_EQ(DecodeCalibPara(loaded).A00, -0.5f);
}

TEST(RegistryValues, EveryFieldSurvivesSaveAndLoad) {
    // Saving each named field and loading it into a zeroed record rebuilds the named bytes;
    // the reserved bytes stay zero, as after an attach.
    const auto original = test::CountingBytes<kDriverConfigSize>(0x11);
    std::array<std::uint8_t, kDriverConfigSize> loaded{};
    for (const RegistryField& f : DriverConfigFields()) {
        FieldFromRegistry(loaded, f, FieldToRegistry(original, f));
    }
    for (std::size_t b = 0; b < 38; ++b) {
        EXPECT_EQ(loaded[b], original[b]) << "byte " << b;
    }
    for (std::size_t b = 38; b < kDriverConfigSize; ++b) {
        EXPECT_EQ(loaded[b], 0) << "byte " << b;
    }
}

TEST(RegistryValues, FieldOutsideTheGivenBytesIsNeitherReadNorWritten) {
    const RegistryField& area = FieldNamed(DriverConfigFields(), L"DoubleClickArea");  // 34..37
    std::array<std::uint8_t, 37> shortRecord{};
    shortRecord.fill(0x5A);
    FieldFromRegistry(shortRecord, area, 0x01020304);
    EXPECT_EQ(shortRecord, test::FilledBytes<37>(0x5A));
    EXPECT_EQ(FieldToRegistry(shortRecord, area), 0u);

    std::array<std::uint8_t, 38> justLongEnough{};
    FieldFromRegistry(justLongEnough, area, 0x01020304);
    EXPECT_EQ(justLongEnough[34], 0x04);
    EXPECT_EQ(justLongEnough[37], 0x01);
}

}  // namespace
}  // namespace ots
