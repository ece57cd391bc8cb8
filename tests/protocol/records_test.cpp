// Every record against bytes written out by hand from its layout table, and every named value
// the registry keeps for it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "protocol/calib_para.h"
#include "protocol/control_codes.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/messages.h"
#include "protocol/registry_form.h"
#include "protocol/screen_config.h"
#include "protocol/touch_point.h"

namespace ots {
namespace {

using Bytes = std::vector<std::uint8_t>;

// n zero bytes with the given runs written in at their offsets.
Bytes Sparse(std::size_t n, std::initializer_list<std::pair<std::size_t, Bytes>> runs) {
    Bytes out(n, 0);
    for (const auto& [at, run] : runs) {
        std::copy(run.begin(), run.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return out;
}

struct RecordCase {
    std::string name;
    Bytes encoded;      // the sample record encoded over 0xEE bytes
    Bytes expected;     // written out from the layout table
    Bytes reencoded;    // the expected bytes decoded and encoded again
    Bytes pattern;      // distinct bytes everywhere, decoded and encoded again
    Bytes patternSeed;  // what that should give back
};

template <std::size_t N, class R>
RecordCase Row(std::string name, const R& sample,
               void (*encode)(const R&, std::span<std::uint8_t, N>),
               R (*decode)(std::span<const std::uint8_t, N>), Bytes expected) {
    RecordCase c{std::move(name), {}, std::move(expected), {}, {}, {}};
    std::array<std::uint8_t, N> out{};
    out.fill(0xEE);
    encode(sample, out);
    c.encoded.assign(out.begin(), out.end());
    std::array<std::uint8_t, N> in{};
    std::copy_n(c.expected.begin(), std::min(N, c.expected.size()), in.begin());
    encode(decode(in), out);
    c.reencoded.assign(out.begin(), out.end());
    for (std::size_t i = 0; i < N; ++i) {
        in[i] = static_cast<std::uint8_t>(0x03 + 7 * i);
    }
    c.patternSeed.assign(in.begin(), in.end());
    encode(decode(in), out);
    c.pattern.assign(out.begin(), out.end());
    return c;
}

DeviceConfig SampleDeviceConfig() {
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

CalibPara SampleCalibPara() {
    CalibPara r{};
    r.A03 = 1.0f;
    r.A12 = 2.0f;
    r.A21 = -1.0f;
    r.A30 = 0.5f;
    r.A02 = 4.0f;
    r.A11 = -2.0f;
    r.A20 = 0.25f;
    r.A01 = 8.0f;
    r.A10 = 1.5f;
    r.A00 = -0.5f;
    r.reserve0 = 0x04030201;
    r.reserve1 = 0x08070605;
    r.reserve2 = 0x0C0B0A09;
    r.reserve3 = 0x100F0E0D;
    r.reserve4 = 0x11;
    r.reserve5 = 0x12;
    return r;
}

std::vector<RecordCase> RecordCases() {
    return {
        Row<kTouchPointSize>("TouchPoint", TouchPoint{-2, 0x01020304, 0x7FFFFFFF, 1},
                             EncodeTouchPoint, DecodeTouchPoint,
                             {0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01,  // x -2, y
                              0xFF, 0xFF, 0xFF, 0x7F, 0x01}),                  // z, valid
        Row<kDeviceIdentitySize>("DeviceIdentity", DeviceIdentity{0x7E21, 0x0C20, 0x0100},
                                 EncodeDeviceIdentity, DecodeDeviceIdentity,
                                 {0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}),
        Row<kScreenConfigSize>("ScreenConfig defaults", DefaultScreenConfig(), EncodeScreenConfig,
                               DecodeScreenConfig,
                               // MaxSpeed 15000, VelocityRefCount 5, VelocityWeight 20
                               Sparse(kScreenConfigSize, {{0, {0x98, 0x3A, 0, 0, 0x05, 0x14}}})),
        Row<kDriverConfigSize>(
            "DriverConfig defaults", DefaultDriverConfig(), EncodeDriverConfig, DecodeDriverConfig,
            Sparse(kDriverConfigSize,
                   {{0, {0x02, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00}},  // bytes
                    {10, {0xD0, 0x07, 0, 0, 0x64, 0, 0, 0}},  // BeepFrequency, BeepDuration
                    {18, {0x01, 0, 0, 0, 0xE8, 0x03, 0, 0}},  // Smoothness, RightClickTime
                    {26, {0x04, 0, 0, 0, 0xF4, 0x01, 0, 0}},  // RightClickArea, DoubleClickTime
                    {34, {0x04, 0, 0, 0}}})),                 // DoubleClickArea; reserved 0
        Row<kDeviceConfigSize>(
            "DeviceConfig", SampleDeviceConfig(), EncodeDeviceConfig, DecodeDeviceConfig,
            Sparse(kDeviceConfigSize,
                   {{0, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x01}},
                    {11, {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}},
                    {19, {0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20}},
                    {27, {0xC0}},
                    {57, {0xCF}}})),
        Row<kCalibParaSize>(
            "CalibPara", SampleCalibPara(), EncodeCalibPara, DecodeCalibPara,
            {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x80, 0xBF,  // A03 A12 A21
             0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x40, 0x00, 0x00, 0x00, 0xC0,  // A30 A02 A11
             0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x00, 0x41, 0x00, 0x00, 0xC0, 0x3F,  // A20 A01 A10
             0x00, 0x00, 0x00, 0xBF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // A00 res0 1
             0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12}),            // res2..5
        Row<kCalibParaSize>("CalibParaX identity: A10 1.0", IdentityCalibParaX(), EncodeCalibPara,
                            DecodeCalibPara, Sparse(kCalibParaSize, {{32, {0, 0, 0x80, 0x3F}}})),
        Row<kCalibParaSize>("CalibParaY identity: A01 1.0", IdentityCalibParaY(), EncodeCalibPara,
                            DecodeCalibPara, Sparse(kCalibParaSize, {{28, {0, 0, 0x80, 0x3F}}})),
    };
}

TEST(Records, MatchTheirLayoutTables) {
    for (const RecordCase& c : RecordCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.encoded, c.expected) << "encoding";
        EXPECT_EQ(c.reencoded, c.expected) << "decoding";
        EXPECT_EQ(c.pattern, c.patternSeed) << "a byte is lost between decode and encode";
    }
}

TEST(ControlCodes, KeepTheirPublishedValues) {
    const std::pair<std::uint32_t, std::uint32_t> codes[] = {
        {IOCTL_GET_MOUSE_UP_DATA, 0x80002000u}, {IOCTL_CLEAR_MOUSE_UP_DATA, 0x80002004u},
        {IOCTL_GET_COMMAND, 0x80002008u},       {IOCTL_SET_COMMAND, 0x8000200Cu},
        {IOCTL_REINIT_OPTCORE, 0x80002010u},    {IOCTL_GET_DRIVER_CONFIG, 0x80002014u},
        {IOCTL_SET_DRIVER_CONFIG, 0x80002018u}, {IOCTL_GET_DEVICE_ID, 0x8000201Cu},
        {IOCTL_SET_CALIB_PARA_X, 0x80002020u},  {IOCTL_SET_CALIB_PARA_Y, 0x80002024u},
        {IOCTL_GET_DEVICE_CONFIG, 0x80002040u}, {IOCTL_SET_DEVICE_CONFIG, 0x80002044u},
        {WM_CALIBRATION_END, 0x474u},           {WM_CONNECTION_LOST, 0x46Fu}};
    for (const auto& [code, published] : codes) {
        EXPECT_EQ(code, published) << std::hex << published;
    }
}

TEST(ControllerFamilies, DecidedByVendorAndProduct) {
    struct Case {
        std::uint16_t vendor, product;
        ControllerFamily family;
        std::wstring_view stream;
    };
    const Case cases[] = {{0x7E21, 0x0C20, ControllerFamily::Camera, L"OTS1:"},
                          {0x7E21, 0x0012, ControllerFamily::SecondStream, L"OTS2:"},
                          // Near misses stay coordinate controllers on the first stream.
                          {0x7E21, 0x0C21, ControllerFamily::Coordinate, L"OTS1:"},
                          {0x7E22, 0x0C20, ControllerFamily::Coordinate, L"OTS1:"},
                          {0x7E20, 0x0012, ControllerFamily::Coordinate, L"OTS1:"},
                          {0x0C20, 0x7E21, ControllerFamily::Coordinate, L"OTS1:"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.vendor << "/" << c.product);
        EXPECT_EQ(FamilyOf(c.vendor, c.product), c.family);
        EXPECT_EQ(std::wstring_view(StreamNameFor(c.family)), c.stream);
        EXPECT_EQ(IsCameraGeneration(c.vendor, c.product), c.family == ControllerFamily::Camera);
    }
}

// Each table as "name@offset:width" in load order; REAL4 fields are marked 'f'.
std::wstring Describe(std::span<const RegistryField> table) {
    std::wstring out;
    for (const RegistryField& f : table) {
        const wchar_t* width = f.type == FieldType::Byte    ? L"1"
                               : f.type == FieldType::Word  ? L"2"
                               : f.type == FieldType::Dword ? L"4"
                                                            : L"f";
        out += std::wstring(f.name) + L"@" + std::to_wstring(f.offset) + L":" + width + L" ";
    }
    return out;
}

TEST(RegistryTables, NameEveryFieldInLoadOrder) {
    EXPECT_EQ(Describe(DriverConfigFields()),
              L"Mode@0:1 EnableRightClick@2:1 RightClickArea@26:4 RightClickTime@22:4 "
              L"EnableDoubleClick@4:1 DoubleClickTime@30:4 DoubleClickArea@34:4 HideCursor@5:1 "
              L"EnableBeep@6:1 BeepType@7:1 BeepMode@8:1 BeepFrequency@10:4 BeepDuration@14:4 "
              L"EnableTouch@1:1 CalibrateType@3:1 Smoothness@18:4 IsCalibrating@9:1 ");
    EXPECT_EQ(Describe(ScreenConfigFields()),
              L"MaxSpeed@0:4 VelocityRefCount@4:1 VelocityWeight@5:1 pos@6:1 s1@7:1 width@8:4 "
              L"hight@12:4 fps@16:4 camOffsetY@20:4 camLOffsetX@24:4 camROffsetX@28:4 ");
    EXPECT_EQ(Describe(DeviceConfigFields()),
              L"DeviceID@0:1 MonitorID@1:1 MinX@2:2 MinY@4:2 MaxX@6:2 MaxY@8:2 IsCalibrated@10:1 "
              L"OffX@11:4 OffY@15:4 ResolutionX@19:2 ResolutionY@21:2 PrimaryResolutionX@23:2 "
              L"PrimaryResolutionY@25:2 ");
    EXPECT_EQ(Describe(CalibParaFields()),
              L"A03@0:f A12@4:f A21@8:f A30@12:f A02@16:f A11@20:f A20@24:f A01@28:f A10@32:f "
              L"A00@36:f reserve0@40:4 reserve1@44:4 reserve2@48:4 reserve3@52:4 reserve4@56:1 "
              L"reserve5@57:1 ");
}

const RegistryField& Field(std::span<const RegistryField> table, std::wstring_view name) {
    for (const RegistryField& f : table) {
        if (name == f.name) {
            return f;
        }
    }
    throw std::out_of_range("no such field");
}

TEST(RegistryValues, LoadOnlyTheFieldsBytesAndStoreThemZeroExtended) {
    struct Case {
        const char* name;
        std::span<const RegistryField> table;
        const wchar_t* field;
        std::size_t recordSize;
        std::uint32_t value;
        Bytes written;         // the bytes from one before the field to one after it
        std::uint32_t stored;  // what is read back into the registry
    };
    const Case cases[] = {
        {"byte takes the low byte",
         DriverConfigFields(),
         L"EnableTouch",
         kDriverConfigSize,
         0x1234,
         {0x77, 0x34, 0x77},
         0x34},
        {"word takes the low word",
         DeviceConfigFields(),
         L"MinX",
         kDeviceConfigSize,
         0xABCDEF,
         {0x77, 0xEF, 0xCD, 0x77},
         0xCDEF},
        {"dword at an unaligned offset",
         DeviceConfigFields(),
         L"OffX",
         kDeviceConfigSize,
         0x89ABCDEF,
         {0x77, 0xEF, 0xCD, 0xAB, 0x89, 0x77},
         0x89ABCDEF},
        {"REAL4 as its bit pattern",
         CalibParaFields(),
         L"A11",
         kCalibParaSize,
         0xBF000000u,
         {0x77, 0x00, 0x00, 0x00, 0xBF, 0x77},
         0xBF000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RegistryField& f = Field(c.table, c.field);
        Bytes record(c.recordSize, 0x77);
        FieldFromRegistry(record, f, c.value);
        EXPECT_EQ(
            Bytes(record.begin() + f.offset - 1,
                  record.begin() + f.offset - 1 + static_cast<std::ptrdiff_t>(c.written.size())),
            c.written);
        EXPECT_EQ(FieldToRegistry(record, f), c.stored);
    }
}

TEST(RegistryValues, FieldBeyondTheGivenBytesIsNeitherReadNorWritten) {
    const RegistryField& area = Field(DriverConfigFields(), L"DoubleClickArea");  // 34..37
    Bytes shortRecord(37, 0x5A);
    FieldFromRegistry(shortRecord, area, 0x01020304);
    EXPECT_EQ(shortRecord, Bytes(37, 0x5A));
    EXPECT_EQ(FieldToRegistry(shortRecord, area), 0u);

    Bytes justLongEnough(38, 0);
    FieldFromRegistry(justLongEnough, area, 0x01020304);
    EXPECT_EQ(justLongEnough[34], 0x04);
    EXPECT_EQ(justLongEnough[37], 0x01);
}

}  // namespace
}  // namespace ots
