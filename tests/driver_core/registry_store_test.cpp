// The registry configuration store: defaults, the value rules, and which keys a load or save
// touches.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "ce/registry.h"
#include "core/registry_store.h"
#include "protocol/registry_form.h"
#include "support/driver_fixture.h"
#include "touch/touch_data.h"

namespace ots::test {
namespace {

const std::wstring kValueKey = std::wstring(ots::kClientDriverKey) + L"\\Probe";

using RegistryStoreTest = DriverCoreTest;

TEST_F(RegistryStoreTest, EmptyRegistryGivesDefaultsAndCreatesEveryKeyRead) {
    DEVICE_CONTEXT* pDevice = Create(usb_);  // attach loads all five records
    ASSERT_NE(pDevice, nullptr);
    const ots::DriverConfig& d = pDevice->DriverConfig;
    EXPECT_EQ((std::vector<long>{d.Mode, d.EnableTouch, d.EnableRightClick, d.CalibrateType,
                                 d.EnableDoubleClick, d.HideCursor, d.EnableBeep, d.BeepType,
                                 d.BeepMode, d.IsCalibrating, d.BeepFrequency, d.BeepDuration,
                                 d.Smoothness, d.RightClickTime, d.RightClickArea,
                                 d.DoubleClickTime, d.DoubleClickArea}),
              (std::vector<long>{2, 1, 1, 1, 1, 0, 0, 1, 1, 0, 2000, 100, 1, 1000, 4, 500, 4}));
    const ots::ScreenConfig& s = pDevice->ScreenConfig;
    EXPECT_EQ(
        (std::vector<long>{s.MaxSpeed, s.VelocityRefCount, s.VelocityWeight, s.pos, s.s1, s.width,
                           s.hight, s.fps, s.camOffsetY, s.camLOffsetX, s.camROffsetX}),
        (std::vector<long>{15000, 5, 20, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(pDevice->pTouchData->CalibParaX.A10, 0.0f);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.IsCalibrated, 0);
    for (const wchar_t* key : {ots::kDriverConfigKey, ots::kScreenConfigKey, ots::kCalibParaXKey,
                               ots::kCalibParaYKey, ots::kDeviceConfigKey}) {
        EXPECT_TRUE(KeyExists(key)) << key;
        EXPECT_TRUE(ValueNames(key).empty()) << "a load writes no values";
    }
    EXPECT_TRUE(SaveCalibPara(pDevice, 2)) << "an unknown axis";
    EXPECT_TRUE(ValueNames(ots::kCalibParaXKey).empty());
    EXPECT_TRUE(ValueNames(ots::kCalibParaYKey).empty());
}

TEST_F(RegistryStoreTest, StoredValuesLoadByTheRecordsOwnNamesIntoTheirLowBytes) {
    WriteDword(ots::kDriverConfigKey, L"Mode", 0x1234);
    WriteDword(ots::kDriverConfigKey, L"BeepFrequency", 0xCAFEBABE);
    WriteDword(ots::kDeviceConfigKey, L"MaxX", 0x12345678);
    WriteDword(ots::kScreenConfigKey, L"hight", 768);
    WriteDword(ots::kScreenConfigKey, L"camLOffsetX", 7);
    WriteDword(ots::kCalibParaYKey, L"A01", std::bit_cast<DWORD>(1.0f));
    DEVICE_CONTEXT* pDevice = Create(usb_);
    EXPECT_EQ(pDevice->DriverConfig.Mode, 0x34);
    EXPECT_EQ(pDevice->DriverConfig.BeepFrequency, 0xCAFEBABEu);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxX, 0x5678);
    EXPECT_EQ(pDevice->ScreenConfig.hight, 768u);
    EXPECT_EQ(pDevice->ScreenConfig.camLOffsetX, 7u);
    EXPECT_EQ(pDevice->pTouchData->CalibParaY.A01, 1.0f);
    EXPECT_EQ(pDevice->pTouchData->CalibParaX.A01, 0.0f);
}

TEST_F(RegistryStoreTest, ConfigValuesOfAnyTypeUpToFourBytesReadZeroExtended) {
    const struct {
        const char* name;
        std::vector<BYTE> stored;  // empty with missing: no value at all
        bool missing;
        bool read;
        DWORD value;
    } rows[] = {
        {"missing", {}, true, false, 77},
        {"binary of four", {0x78, 0x56, 0x34, 0x12}, false, true, 0x12345678},
        {"longer than four", {1, 2, 3, 4, 5}, false, false, 77},
        {"two bytes", {0x34, 0x12}, false, true, 0x1234},
        {"empty", {}, false, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.missing) {
            WriteRaw(kValueKey, L"V", REG_BINARY, row.stored);
        }
        DWORD value = 0xFFFFFFFF;
        EXPECT_EQ(ReadConfigValue(kValueKey.c_str(), L"V", &value, 77) != FALSE, row.read);
        EXPECT_EQ(value, row.value);
        EXPECT_TRUE(KeyExists(kValueKey));
    }
    WriteConfigValue(kValueKey.c_str(), L"Written", 0x3F800000);
    EXPECT_EQ(ReadDword(kValueKey, L"Written"), 0x3F800000u) << "a REG_DWORD";
}

}  // namespace
}  // namespace ots::test
