// Every record against bytes written out by hand from its layout table, and every named value
// the registry keeps for it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
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
#include "support/hex_bytes.h"
#include "support/records.h"

namespace ots {
namespace {

using test::Bytes;
using test::Hex;

// n zero bytes with the given hex runs written in at their offsets.
Bytes Sparse(std::size_t n, std::initializer_list<std::pair<std::size_t, const char*>> runs) {
    Bytes out(n, 0);
    for (const auto& [at, run] : runs) {
        const Bytes bytes = Hex(run);
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return out;
}

// The sample encodes to the expected bytes over a filled buffer, and distinct bytes everywhere
// decode and encode back unchanged, so decoding puts every field where encoding takes it.
template <std::size_t N, class R>
void ExpectLayout(const char* name, const R& sample,
                  void (*encode)(const R&, std::span<std::uint8_t, N>),
                  R (*decode)(std::span<const std::uint8_t, N>), const Bytes& expected) {
    SCOPED_TRACE(name);
    std::array<std::uint8_t, N> out{};
    out.fill(0xEE);
    encode(sample, out);
    EXPECT_EQ(Bytes(out.begin(), out.end()), expected) << "encoding";
    const auto pattern = test::ArrayOf<N>(test::Pattern(N, 3));
    encode(decode(pattern), out);
    EXPECT_EQ(out, pattern) << "a byte is lost between decode and encode";
}

TEST(Records, MatchTheirLayoutTables) {
    ExpectLayout<kTouchPointSize>("TouchPoint", TouchPoint{-2, 0x01020304, 0x7FFFFFFF, 1},
                                  EncodeTouchPoint, DecodeTouchPoint,
                                  Hex("FE FF FF FF 04 03 02 01 FF FF FF 7F 01"));
    ExpectLayout<kDeviceIdentitySize>("DeviceIdentity", DeviceIdentity{0x7E21, 0x0C20, 0x0100},
                                      EncodeDeviceIdentity, DecodeDeviceIdentity,
                                      Hex("21 7E 20 0C 00 01"));
    // MaxSpeed 15000, VelocityRefCount 5, VelocityWeight 20
    ExpectLayout<kScreenConfigSize>("ScreenConfig defaults", DefaultScreenConfig(),
                                    EncodeScreenConfig, DecodeScreenConfig,
                                    Sparse(kScreenConfigSize, {{0, "98 3A 00 00 05 14"}}));
    ExpectLayout<kDriverConfigSize>(
        "DriverConfig defaults", DefaultDriverConfig(), EncodeDriverConfig, DecodeDriverConfig,
        Sparse(kDriverConfigSize, {{0, "02 01 01 01 01 00 00 01 01 00"},  // the byte fields
                                   {10, "D0 07 00 00 64"},     // BeepFrequency, BeepDuration
                                   {18, "01 00 00 00 E8 03"},  // Smoothness, RightClickTime
                                   {26, "04 00 00 00 F4 01"},  // RightClickArea, DoubleClickTime
                                   {34, "04"}}));              // DoubleClickArea; reserved 0
    DeviceConfig device{1,          2,          0x0403, 0x0605, 0x0807, 0x0A09, 1,
                        0x11223344, 0x55667788, 0x1A19, 0x1C1B, 0x1E1D, 0x201F, {0xC0}};
    device.reserved[30] = 0xCF;
    ExpectLayout<kDeviceConfigSize>(
        "DeviceConfig", device, EncodeDeviceConfig, DecodeDeviceConfig,
        Sparse(kDeviceConfigSize, {{0, "01 02 03 04 05 06 07 08 09 0A 01"},
                                   {11, "44 33 22 11 88 77 66 55"},  // unaligned DWORDs
                                   {19, "19 1A 1B 1C 1D 1E 1F 20 C0"},
                                   {57, "CF"}}));
    const CalibPara calib{1.0f, 2.0f,  -1.0f,      0.5f,       4.0f,       -2.0f,      0.25f, 8.0f,
                          1.5f, -0.5f, 0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D, 0x11,  0x12};
    ExpectLayout<kCalibParaSize>(
        "CalibPara", calib, EncodeCalibPara, DecodeCalibPara,
        Hex("00 00 80 3F 00 00 00 40 00 00 80 BF 00 00 00 3F 00 00 80 40 00 00 00 C0 00 00 80 3E "
            "00 00 00 41 00 00 C0 3F 00 00 00 BF 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 "
            "11 12"));
    ExpectLayout<kCalibParaSize>("CalibParaX identity: A10 1.0", IdentityCalibParaX(),
                                 EncodeCalibPara, DecodeCalibPara,
                                 Sparse(kCalibParaSize, {{32, "00 00 80 3F"}}));
    ExpectLayout<kCalibParaSize>("CalibParaY identity: A01 1.0", IdentityCalibParaY(),
                                 EncodeCalibPara, DecodeCalibPara,
                                 Sparse(kCalibParaSize, {{28, "00 00 80 3F"}}));
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
    const std::tuple<std::uint16_t, std::uint16_t, ControllerFamily, std::wstring_view> cases[] = {
        {0x7E21, 0x0C20, ControllerFamily::Camera, L"OTS1:"},
        {0x7E21, 0x0012, ControllerFamily::SecondStream, L"OTS2:"},
        // Near misses stay coordinate controllers on the first stream.
        {0x7E21, 0x0C21, ControllerFamily::Coordinate, L"OTS1:"},
        {0x7E22, 0x0C20, ControllerFamily::Coordinate, L"OTS1:"},
        {0x7E20, 0x0012, ControllerFamily::Coordinate, L"OTS1:"},
        {0x0C20, 0x7E21, ControllerFamily::Coordinate, L"OTS1:"}};
    for (const auto& [vendor, product, family, stream] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << vendor << "/" << product);
        EXPECT_EQ(FamilyOf(vendor, product), family);
        EXPECT_EQ(std::wstring_view(StreamNameFor(family)), stream);
        EXPECT_EQ(IsCameraGeneration(vendor, product), family == ControllerFamily::Camera);
    }
}

// Each table as "name@offset:width" in load order; REAL4 fields are marked 'f'.
std::wstring Describe(std::span<const RegistryField> table) {
    std::wstring out;
    for (const RegistryField& f : table) {
        out += std::wstring(f.name) + L"@" + std::to_wstring(f.offset) + L":" +
               L"124f"[static_cast<int>(f.type)] + L" ";
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

// A field is written with only its own bytes, read back zero-extended, and neither read nor
// written where the record given ends inside it.
TEST(RegistryValues, LoadOnlyTheFieldsBytesAndStoreThemZeroExtended) {
    struct Case {
        const char* name;
        std::span<const RegistryField> table;
        std::size_t index, recordSize;
        std::uint32_t value;
        const char* written;  // from one byte before the field to one after it or the end
        std::uint32_t stored;
    };
    const Case cases[] = {
        {"byte: EnableTouch", DriverConfigFields(), 13, kDriverConfigSize, 0x1234, "77 34 77",
         0x34},
        {"word: MinX", DeviceConfigFields(), 2, kDeviceConfigSize, 0xABCDEF, "77 EF CD 77", 0xCDEF},
        {"unaligned dword: OffX", DeviceConfigFields(), 7, kDeviceConfigSize, 0x89ABCDEF,
         "77 EF CD AB 89 77", 0x89ABCDEF},
        {"REAL4 bits: A11", CalibParaFields(), 5, kCalibParaSize, 0xBF000000u, "77 00 00 00 BF 77",
         0xBF000000u},
        {"DoubleClickArea, record ends inside", DriverConfigFields(), 6, 37, 0x01020304,
         "77 77 77 77", 0},
        {"DoubleClickArea, record just long enough", DriverConfigFields(), 6, 38, 0x01020304,
         "77 04 03 02 01", 0x01020304},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RegistryField& f = c.table[c.index];
        Bytes record(c.recordSize, 0x77);
        FieldFromRegistry(record, f, c.value);
        const Bytes written = Hex(c.written);
        EXPECT_EQ(
            Bytes(record.begin() + f.offset - 1,
                  record.begin() + f.offset - 1 + static_cast<std::ptrdiff_t>(written.size())),
            written);
        EXPECT_EQ(FieldToRegistry(record, f), c.stored);
    }
}

}  // namespace
}  // namespace ots
