// Initialisation of a coordinate controller: the registry copies decide the calibration, and
// nothing is sent to the controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scripted_usb.h"
#include "support/touch_device.h"
#include "touch/sensor_init.h"

namespace ots::test {
namespace {

using ::testing::_;
using ::testing::FieldsAre;

TEST(CoordinateInitTest, RegistryCalibrationIsActivatedOnlyWhenCalibratedIsOne) {
    for (BYTE isCalibrated : {BYTE{0}, BYTE{1}, BYTE{2}}) {
        SCOPED_TRACE(int{isCalibrated});
        TouchDevice device = TouchDevice::Coordinate();
        ScriptedUsb usb;  // an empty script: any transfer fails the test
        device.Plug(usb);
        device.ctx().ScreenConfig.width = 0x10500;
        device.ctx().ScreenConfig.hight = 768;
        TOUCH_DATA& td = device.td();
        td.DeviceConfig.MinX = 10;
        td.DeviceConfig.MaxX = 20;
        td.DeviceConfig.OffY = 5;
        td.DeviceConfig.reserved[0] = 1;
        td.DeviceConfig.IsCalibrated = isCalibrated;
        td.CalibParaX.A10 = 0.25f;
        td.CalibParaY.A01 = 4.0f;
        td.Optical.CalibX.A00 = 99.0f;
        EXPECT_EQ(InitCoordinateController(&device.ctx()), 0u);
        if (isCalibrated == 1) {
            EXPECT_THAT(td.DeviceConfig, FieldsAre(0, 0, 10, 0, 20, 0, 1, 0u, 5u, 0, 0, 0, 0, _));
            EXPECT_THAT(
                std::tuple(td.Optical.CalibX.A10, td.Optical.CalibX.A00, td.Optical.CalibY.A01),
                FieldsAre(0.25f, 0.0f, 4.0f));
        } else {  // cleared to the screen size; the calibration is not touched
            EXPECT_THAT(td.DeviceConfig,
                        FieldsAre(0, 0, 0, 0, 0x0500, 768, 0, 0u, 0u, 0, 0, 0, 0, _));
            EXPECT_EQ(td.DeviceConfig.reserved[0], 0);
            EXPECT_EQ(td.Optical.CalibX.A00, 99.0f);
        }
    }
}

}  // namespace
}  // namespace ots::test
