// Initialisation of a coordinate controller: the registry copies decide the calibration, and
// nothing is sent to the controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scripted_usb.h"
#include "touch/sensor_init.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::FieldsAre;

class CoordinateInitTest : public ::testing::Test {
  protected:
    CoordinateInitTest() {
        device.ctx().lpUsbFuncs = usb.funcs();  // an empty script: any transfer fails the test
        device.ctx().hUsbDevice = usb.handle();
        device.ctx().ScreenConfig.width = 0x10500;
        device.ctx().ScreenConfig.hight = 768;
        ots::DeviceConfig& dc = device.td().DeviceConfig;
        dc.MinX = 10;
        dc.MaxX = 20;
        dc.OffY = 5;
        dc.reserved[0] = 1;
        device.td().CalibParaX.A10 = 0.25f;
        device.td().CalibParaY.A01 = 4.0f;
        device.td().Optical.CalibX.A00 = 99.0f;
    }

    TouchDevice device = TouchDevice::Coordinate();
    ScriptedUsb usb;
};

TEST_F(CoordinateInitTest, UncalibratedDeviceConfigIsClearedToTheScreenSize) {
    for (BYTE isCalibrated : {BYTE{0}, BYTE{2}}) {
        device.td().DeviceConfig.IsCalibrated = isCalibrated;
        device.td().DeviceConfig.MinX = 10;
        EXPECT_EQ(InitCoordinateController(&device.ctx()), 0u);
        EXPECT_THAT(device.td().DeviceConfig,
                    FieldsAre(0, 0, 0, 0, 0x0500, 768, 0, 0u, 0u, 0, 0, 0, 0, ::testing::_));
        EXPECT_EQ(device.td().DeviceConfig.reserved[0], 0);
        EXPECT_EQ(device.td().Optical.CalibX.A00, 99.0f);  // calibration not touched
    }
    EXPECT_EQ(usb.TransfersSeen(), 0u);
}

TEST_F(CoordinateInitTest, CalibratedDeviceActivatesTheRegistryCalibration) {
    device.td().DeviceConfig.IsCalibrated = 1;
    EXPECT_EQ(InitCoordinateController(&device.ctx()), 0u);
    EXPECT_EQ(device.td().DeviceConfig.MinX, 10);
    EXPECT_EQ(device.td().DeviceConfig.MaxX, 20);
    EXPECT_EQ(device.td().Optical.CalibX.A10, 0.25f);
    EXPECT_EQ(device.td().Optical.CalibX.A00, 0.0f);
    EXPECT_EQ(device.td().Optical.CalibY.A01, 4.0f);
    EXPECT_EQ(usb.TransfersSeen(), 0u);
}

}  // namespace
}  // namespace ots::test
