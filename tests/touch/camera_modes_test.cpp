// One point at a time of the camera generation through HandlePoint: the mode table, the click
// record, and what calibration and calibrating do to the coordinates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/bytes.h"
#include "touch/input_emulation.h"
#include "touch/panel_params.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CameraModesTest : public ::testing::Test {
  protected:
    void Point(const ots::TouchPoint& p) {
        device.td().CurrentPoint = p;
        HandlePoint(device.ctx(), device.config());
    }
    std::vector<Injected> Events() const { return InjectedEvents(recorder); }

    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
};

TEST_F(CameraModesTest, ClickOnTouchClicksOnceAtTheFirstTouchingPoint) {
    device.config().Mode = 0;
    for (int frame = 0; frame < 50; ++frame) {
        Point(Touch(1000 + frame, 2000 + frame));
    }
    EXPECT_THAT(Events(), ElementsAre(Injected{kDown, 2000, 4000}, Injected{kUp, 2000, 4000}));
    EXPECT_EQ(device.td().LastClickPoint.x, 1000);
    EXPECT_EQ(device.td().LastClickPoint.y, 2000);
    EXPECT_EQ(device.td().LastAction, 4);

    Point(Lifted());
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
    Point(Touch(300, 400));
    EXPECT_EQ(Events().size(), 4u);
    EXPECT_EQ(device.td().LastClickPoint.x, 300);
}

TEST_F(CameraModesTest, ClickOnTouchKeepsTheButtonStateAfterAnotherAction) {
    device.config().Mode = 2;
    Point(Touch(10, 10));  // LastAction 2, button down
    device.config().Mode = 0;
    Point(Lifted());
    EXPECT_EQ(device.ctx().fButtonDown, 1u);
    Point(Touch(20, 20));  // still latched: no click
    EXPECT_THAT(Events(), ElementsAre(Injected{kMoveDown, 20, 20}));
}

TEST_F(CameraModesTest, ClickOnReleaseFollowsAndClicksAtTheLastTouch) {
    device.config().Mode = 1;
    Point(Touch(100, 200));
    Point(Touch(150, 250));
    Point(Lifted(9999, 9999));
    Point(Lifted());  // no touch in progress: nothing

    EXPECT_THAT(Events(), ElementsAre(Injected{kMove, 200, 400}, Injected{kMove, 300, 500},
                                      Injected{kDown, 300, 500}, Injected{kUp, 300, 500}));
    EXPECT_EQ(device.td().LastClickPoint.x, 150);
    EXPECT_EQ(device.td().LastClickPoint.y, 250);
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
}

TEST_F(CameraModesTest, ClickOnReleaseLiftWithoutTouchDoesNothing) {
    device.config().Mode = 1;
    device.td().LastTouchX = 77;
    Point(Lifted());
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.td().LastClickPoint.x, 0);
}

TEST_F(CameraModesTest, MouseEmulationDragsAndReleasesAtTheLastTouch) {
    device.config().Mode = 2;
    Point(Touch(100, 200));
    Point(Touch(110, 210));
    Point(Lifted(5000, 5000));
    Point(Lifted());

    EXPECT_THAT(Events(), ElementsAre(Injected{kMoveDown, 200, 400}, Injected{kMoveDown, 220, 420},
                                      Injected{kUp, 220, 420}));
    EXPECT_EQ(device.td().LastAction, 2);
    EXPECT_EQ(device.td().LastClickPoint.x, 0);
}

TEST_F(CameraModesTest, OtherModesInjectNothing) {
    for (BYTE mode : {BYTE{3}, BYTE{0x80}, BYTE{0xFF}}) {
        device.config().Mode = mode;
        Point(Touch(100, 200));
        Point(Lifted());
    }
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
}

TEST_F(CameraModesTest, CalibratingPassesRawUnclampedValues) {
    device.config().Mode = 0;
    device.config().IsCalibrating = 1;
    device.td().DeviceConfig.IsCalibrated = 1;  // the zero polynomials would map to 0
    Point(Touch(40000, 33000));
    EXPECT_THAT(Events(), ElementsAre(Injected{kDown, 80000, 66000}, Injected{kUp, 80000, 66000}));
    EXPECT_EQ(device.td().LastClickPoint.x, 40000);
    EXPECT_EQ(device.td().LastClickPoint.y, 33000);
}

TEST_F(CameraModesTest, UncalibratedPointsAreClampedButNotBounded) {
    device.config().Mode = 1;
    ots::StoreI32(device.td().PanelParams, kPanelWidthOffset, 1000);
    ots::StoreI32(device.td().PanelParams, kPanelHeightOffset, 1000);
    device.td().DeviceConfig.MinX = 500;
    device.td().DeviceConfig.MaxY = 10;
    Point(Touch(40000, -3));
    Point(Touch(100, 200));
    EXPECT_THAT(Events(), ElementsAre(Injected{kMove, 65534, 0}, Injected{kMove, 200, 400}));
}

TEST_F(CameraModesTest, CalibratedPointsAreMappedThenBounded) {
    device.config().Mode = 1;
    device.td().DeviceConfig.IsCalibrated = 1;
    device.td().Optical.CalibX.A10 = 0.5f;
    device.td().Optical.CalibY.A01 = 1.0f;
    device.td().Optical.CalibY.A00 = 10.0f;
    Point(Touch(1000, 2000));
    Point(Touch(1000, 40000));
    EXPECT_THAT(Events(), ElementsAre(Injected{kMove, 1000, 4020}, Injected{kMove, 1000, 65534}));
}

}  // namespace
}  // namespace ots::test
