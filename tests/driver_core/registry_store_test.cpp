// The registry configuration store: defaults, the value rules, and which keys a save touches.
#include <gtest/gtest.h>

#include <array>
#include <bit>

#include "ce/registry.h"
#include "core/registry_store.h"
#include "support/driver_fixture.h"
#include "protocol/registry_form.h"
#include "touch/touch_data.h"

namespace {

using ots::test::KeyExists;
using ots::test::ReadDword;
using ots::test::ValueNames;

const std::wstring kValueKey = std::wstring(ots::kClientDriverKey) + L"\\Probe";

class RegistryStoreTest : public ots::test::DriverCoreTest {
  protected:
    DEVICE_CONTEXT* Device() {
        if (device_ == nullptr) {
            device_ = Create(usb_);
        }
        return device_;
    }
    ots::test::FakeUsb usb_;
    DEVICE_CONTEXT* device_ = nullptr;
};

TEST_F(RegistryStoreTest, EmptyRegistryGivesDefaultsAndCreatesEveryKeyRead) {
    DEVICE_CONTEXT* pDevice = Device();  // attach loads all five records
    ASSERT_NE(pDevice, nullptr);

    const ots::DriverConfig& driver = pDevice->DriverConfig;
    EXPECT_EQ(driver.Mode, 2);
    EXPECT_EQ(driver.EnableTouch, 1);
    EXPECT_EQ(driver.EnableRightClick, 1);
    EXPECT_EQ(driver.CalibrateType, 1);
    EXPECT_EQ(driver.EnableDoubleClick, 1);
    EXPECT_EQ(driver.HideCursor, 0);
    EXPECT_EQ(driver.EnableBeep, 0);
    EXPECT_EQ(driver.BeepType, 1);
    EXPECT_EQ(driver.BeepMode, 1);
    EXPECT_EQ(driver.IsCalibrating, 0);
    EXPECT_EQ(driver.BeepFrequency, 2000u);
    EXPECT_EQ(driver.BeepDuration, 100u);
    EXPECT_EQ(driver.Smoothness, 1u);
    EXPECT_EQ(driver.RightClickTime, 1000u);
    EXPECT_EQ(driver.RightClickArea, 4u);
    EXPECT_EQ(driver.DoubleClickTime, 500u);
    EXPECT_EQ(driver.DoubleClickArea, 4u);
    EXPECT_EQ(driver.reserved, (std::array<std::uint8_t, 20>{}));

    const ots::ScreenConfig& screen = pDevice->ScreenConfig;
    EXPECT_EQ(screen.MaxSpeed, 15000u);
    EXPECT_EQ(screen.VelocityRefCount, 5);
    EXPECT_EQ(screen.VelocityWeight, 20);
    EXPECT_EQ(screen.pos, 0);
    EXPECT_EQ(screen.s1, 0);
    EXPECT_EQ(screen.width, 0u);
    EXPECT_EQ(screen.hight, 0u);
    EXPECT_EQ(screen.fps, 0u);
    EXPECT_EQ(screen.camOffsetY, 0u);
    EXPECT_EQ(screen.camLOffsetX, 0u);
    EXPECT_EQ(screen.camROffsetX, 0u);

    EXPECT_EQ(pDevice->pTouchData->CalibParaX.A10, 0.0f);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.IsCalibrated, 0);

    for (const wchar_t* key : {ots::kDriverConfigKey, ots::kScreenConfigKey, ots::kCalibParaXKey,
                               ots::kCalibParaYKey, ots::kDeviceConfigKey}) {
        EXPECT_TRUE(KeyExists(key)) << key;
        EXPECT_TRUE(ValueNames(key).empty()) << "a load writes no values";
    }
}

TEST_F(RegistryStoreTest, NarrowFieldsTakeTheLowBytesOfTheStoredValue) {
    ots::test::WriteDword(ots::kDriverConfigKey, L"Mode", 0x1234);
    ots::test::WriteDword(ots::kDriverConfigKey, L"BeepFrequency", 0xCAFEBABE);
    ots::test::WriteDword(ots::kDeviceConfigKey, L"MaxX", 0x12345678);
    DEVICE_CONTEXT* pDevice = Device();
    EXPECT_EQ(pDevice->DriverConfig.Mode, 0x34);
    EXPECT_EQ(pDevice->DriverConfig.BeepFrequency, 0xCAFEBABEu);
    EXPECT_EQ(pDevice->pTouchData->DeviceConfig.MaxX, 0x5678);
}

TEST_F(RegistryStoreTest, ValueNamesAreTheRecordsOwnSpelling) {
    ots::test::WriteDword(ots::kScreenConfigKey, L"hight", 768);
    ots::test::WriteDword(ots::kScreenConfigKey, L"camLOffsetX", 7);
    ots::test::WriteDword(ots::kCalibParaYKey, L"A01", std::bit_cast<DWORD>(1.0f));
    DEVICE_CONTEXT* pDevice = Device();
    EXPECT_EQ(pDevice->ScreenConfig.hight, 768u);
    EXPECT_EQ(pDevice->ScreenConfig.camLOffsetX, 7u);
    EXPECT_EQ(pDevice->pTouchData->CalibParaY.A01, 1.0f);
    EXPECT_EQ(pDevice->pTouchData->CalibParaX.A01, 0.0f);
}

TEST_F(RegistryStoreTest, SavingCalibParaForAnUnknownAxisWritesNothing) {
    DEVICE_CONTEXT* pDevice = Device();
    EXPECT_TRUE(SaveCalibPara(pDevice, 2));
    EXPECT_TRUE(ValueNames(ots::kCalibParaXKey).empty());
    EXPECT_TRUE(ValueNames(ots::kCalibParaYKey).empty());
}

// ReadConfigValue's value rules, one value at a time.
class ReadConfigValueTest : public ots::test::DriverCoreTest {};

TEST_F(ReadConfigValueTest, MissingValueGivesTheDefaultAndCreatesTheKey) {
    DWORD value = 0;
    EXPECT_FALSE(ReadConfigValue(kValueKey.c_str(), L"Missing", &value, 77));
    EXPECT_EQ(value, 77u);
    EXPECT_TRUE(KeyExists(kValueKey));
}

TEST_F(ReadConfigValueTest, TypeIsNotChecked) {
    ots::test::WriteRaw(kValueKey, L"Binary", REG_BINARY, {0x78, 0x56, 0x34, 0x12});
    DWORD value = 0;
    EXPECT_TRUE(ReadConfigValue(kValueKey.c_str(), L"Binary", &value, 1));
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(ReadConfigValueTest, ValueLongerThanFourBytesGivesTheDefault) {
    ots::test::WriteRaw(kValueKey, L"Long", REG_BINARY, {1, 2, 3, 4, 5});
    DWORD value = 0;
    EXPECT_FALSE(ReadConfigValue(kValueKey.c_str(), L"Long", &value, 9));
    EXPECT_EQ(value, 9u);
}

TEST_F(ReadConfigValueTest, ShorterValueReadsZeroExtended) {
    ots::test::WriteRaw(kValueKey, L"Short", REG_BINARY, {0x34, 0x12});
    ots::test::WriteRaw(kValueKey, L"Empty", REG_BINARY, {});
    DWORD value = 0xFFFFFFFF;
    EXPECT_TRUE(ReadConfigValue(kValueKey.c_str(), L"Short", &value, 9));
    EXPECT_EQ(value, 0x1234u);
    EXPECT_TRUE(ReadConfigValue(kValueKey.c_str(), L"Empty", &value, 9));
    EXPECT_EQ(value, 0u);
}

TEST_F(ReadConfigValueTest, WriteStoresADword) {
    WriteConfigValue(kValueKey.c_str(), L"Written", 0x3F800000);
    EXPECT_EQ(ReadDword(kValueKey, L"Written"), 0x3F800000u);
    DWORD value = 0;
    EXPECT_TRUE(ReadConfigValue(kValueKey.c_str(), L"Written", &value, 0));
    EXPECT_EQ(value, 0x3F800000u);
}

}  // namespace
