// One point at a time of the camera generation through HandlePoint: the mode table, the click
// record, and what calibration and calibrating do to the coordinates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/bytes.h"
#include "support/touch_device.h"
#include "touch/input_emulation.h"
#include "touch/panel_params.h"

namespace ots::test {
namespace {

using ::testing::ElementsAreArray;

struct ModeCase {
    const char* name;
    BYTE mode;
    std::vector<TouchPoint> points;
    std::vector<Injected> events;
    INT32 clickX, clickY;
    BYTE calibrated, calibrating;
};

TEST(CameraModesTest, EachModeInjectsItsSequence) {
    std::vector<ModeCase> cases;
    const auto add = [&cases](const char* name, BYTE mode, std::vector<TouchPoint> points,
                              std::vector<Injected> events, INT32 clickX = 0, INT32 clickY = 0,
                              BYTE calibrated = 0, BYTE calibrating = 0) {
        cases.push_back({name, mode, points, events, clickX, clickY, calibrated, calibrating});
    };
    add("click on touch: once, at the first point", 0,
        {Touch(1000, 2000), Touch(1001, 2001), Touch(1002, 2002)},
        {{kDown, 2000, 4000}, {kUp, 2000, 4000}}, 1000, 2000);
    add("click on touch: again after a lift", 0, {Touch(10, 10), Lifted(), Touch(300, 400)},
        {{kDown, 20, 20}, {kUp, 20, 20}, {kDown, 600, 800}, {kUp, 600, 800}}, 300, 400);
    add("click on release: follows, clicks at the last touch", 1,
        {Touch(100, 200), Touch(150, 250), Lifted(9999, 9999), Lifted()},
        {{kMove, 200, 400}, {kMove, 300, 500}, {kDown, 300, 500}, {kUp, 300, 500}}, 150, 250);
    add("click on release: lift without touch", 1, {Lifted(77, 77)}, {});
    add("mouse emulation: drags, releases at the last touch", 2,
        {Touch(100, 200), Touch(110, 210), Lifted(5000, 5000), Lifted()},
        {{kMoveDown, 200, 400}, {kMoveDown, 220, 420}, {kUp, 220, 420}});
    for (BYTE other : {BYTE{3}, BYTE{0x80}, BYTE{0xFF}}) {
        add("other modes", other, {Touch(100, 200), Lifted()}, {});
    }
    // The zero polynomials of a calibrated device would map everything to 0.
    add("calibrating passes raw unclamped values", 0, {Touch(40000, 33000)},
        {{kDown, 80000, 66000}, {kUp, 80000, 66000}}, 40000, 33000, 1, 1);
    add("uncalibrated points are clamped but not bounded", 1, {Touch(40000, -3), Touch(100, 200)},
        {{kMove, 65534, 0}, {kMove, 200, 400}});
    // x: 0.5 x; y: y + 10, then clamped.
    add("calibrated points are mapped then clamped", 1, {Touch(1000, 2000), Touch(1000, 40000)},
        {{kMove, 1000, 4020}, {kMove, 1000, 65534}}, 0, 0, 1);
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TouchDevice device = TouchDevice::Camera();
        ce::host::MouseEventRecorder recorder;
        device.config().Mode = c.mode;
        device.config().IsCalibrating = c.calibrating;
        TOUCH_DATA& td = device.td();
        td.DeviceConfig.IsCalibrated = c.calibrated;
        if (c.calibrated == 0) {  // bounds that would show if they were applied
            td.DeviceConfig.MinX = 500;
            td.DeviceConfig.MaxY = 10;
            StoreI32(td.PanelParams, kPanelWidthOffset, 1000);
            StoreI32(td.PanelParams, kPanelHeightOffset, 1000);
        } else if (c.calibrating == 0) {
            td.Optical.CalibX.A10 = 0.5f;
            td.Optical.CalibY.A01 = 1.0f;
            td.Optical.CalibY.A00 = 10.0f;
        }
        for (const TouchPoint& p : c.points) {
            td.CurrentPoint = p;
            HandlePoint(device.ctx(), device.config());
        }
        EXPECT_THAT(InjectedEvents(recorder), ElementsAreArray(c.events));
        EXPECT_EQ(td.LastClickPoint.x, c.clickX);
        EXPECT_EQ(td.LastClickPoint.y, c.clickY);
        if (c.points.back().valid == 0) {
            EXPECT_EQ(device.ctx().fButtonDown, 0u);
        }
    }
}

TEST(CameraModesTest, ClickOnTouchKeepsTheButtonLatchedByAnotherMode) {
    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
    device.config().Mode = 2;
    device.td().CurrentPoint = Touch(10, 10);  // button down
    HandlePoint(device.ctx(), device.config());
    device.config().Mode = 0;
    for (const TouchPoint& p : {Lifted(), Touch(20, 20)}) {
        device.td().CurrentPoint = p;
        HandlePoint(device.ctx(), device.config());
    }
    EXPECT_EQ(device.ctx().fButtonDown, 1u);
    EXPECT_EQ(InjectedEvents(recorder).back(), (Injected{kMoveDown, 20, 20}));
}

}  // namespace
}  // namespace ots::test
