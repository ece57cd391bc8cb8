// One point at a time of the camera generation through HandlePoint: the polynomials, truncation
// and clamping to the calibrated area, the mode table, the click record, and what calibration
// and calibrating do to the coordinates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "protocol/bytes.h"
#include "support/touch_device.h"
#include "touch/calibration_map.h"
#include "touch/input_emulation.h"
#include "touch/panel_params.h"

namespace ots::test {
namespace {

using ::testing::ElementsAreArray;

constexpr INT32 kMax = std::numeric_limits<INT32>::max();
constexpr INT32 kMin = std::numeric_limits<INT32>::min();

std::pair<INT32, INT32> Map(const CalibPara& cx, const CalibPara& cy, INT32 x, INT32 y) {
    OpticalContext oc{};
    LoadActiveCalibration(cx, cy, &oc);
    std::pair<INT32, INT32> m{-1, -1};
    MapCalibrated(Touch(x, y), &m.first, &m.second, oc);
    return m;
}

TEST(MapCalibratedTest, EachCoefficientMultipliesItsMonomialAndResultsTruncate) {
    // At x = 3, y = 5 every monomial x^i y^j has its own value.
    const std::pair<float CalibPara::*, INT32> monomials[] = {
        {&CalibPara::A03, 125}, {&CalibPara::A12, 75}, {&CalibPara::A21, 45}, {&CalibPara::A30, 27},
        {&CalibPara::A02, 25},  {&CalibPara::A11, 15}, {&CalibPara::A20, 9},  {&CalibPara::A01, 5},
        {&CalibPara::A10, 3},   {&CalibPara::A00, 1}};
    for (const auto& [coefficient, monomial] : monomials) {
        CalibPara cx{}, cy{};
        cx.*coefficient = 2.0f;
        cy.*coefficient = -1.0f;
        EXPECT_EQ(Map(cx, cy, 3, 5), std::pair(2 * monomial, -monomial)) << monomial;
    }
    // Toward zero; unusable results saturate.
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, INT32> truncated[] = {
        {-0.5f, 0},  {-1.9f, -1},  {32767.9f, 32767}, {std::nanf(""), 0},
        {inf, kMax}, {-inf, kMin}, {3e9f, kMax},      {-3e9f, kMin}};
    for (const auto& [a00, want] : truncated) {
        CalibPara c{};
        c.A00 = a00;
        EXPECT_EQ(Map(c, c, 1, 1), std::pair(want, want)) << a00;
    }
}

TEST(ClampToScreenTest, BoundsApplyInPanelUnitsOnlyWhenCalibratedOnAKnownPanel) {
    const struct {
        const char* name;
        INT32 width, height;
        UINT16 minX, minY, maxX, maxY;
        BYTE calibrated;
        bool coordinate;
        INT32 x, y, wantX, wantY;
    } rows[] = {
        {"camera full scale", 0, 0, 9, 9, 9, 9, 1, false, -1, 40000, 0, 32767},
        {"coordinate full scale", 0, 0, 9, 9, 9, 9, 1, true, -5, 4097, 0, 4096},
        // 100 * 32768 / 1000 = 3276; 50 * 32768 / 500 = 3276; 900 -> 29491; 400 -> 26214.
        {"lower bounds", 1000, 500, 100, 50, 900, 400, 1, false, 0, 0, 3276, 3276},
        {"upper bounds", 1000, 500, 100, 50, 900, 400, 1, false, 32767, 32767, 29491, 26214},
        {"inside", 1000, 500, 100, 50, 900, 400, 1, false, 3277, 3275, 3277, 3276},
        {"coordinate bounds", 1000, 500, 100, 50, 900, 400, 1, true, 0, 4096, 409, 3276},
        {"crossed: upper wins", 1000, 1000, 800, 0, 100, 1000, 1, false, 0, 0, 3276, 0},
        {"any nonzero calibrated", 1000, 1000, 100, 100, 200, 200, 2, false, 0, 32767, 3276, 6553},
        {"uncalibrated", 1000, 1000, 100, 100, 200, 200, 0, false, 0, 32767, 0, 32767},
        {"no width", 0, 1000, 100, 100, 200, 200, 1, false, 0, 32767, 0, 32767},
        {"no height", 1000, 0, 100, 100, 200, 200, 1, false, 0, 32767, 0, 32767},
        {"negative width", -1000, 1000, 100, 100, 200, 200, 1, false, 10, 32767, 10, 32767},
        {"negative height", 1000, -1, 100, 100, 200, 200, 1, false, 10, 32767, 10, 32767},
    };
    for (const auto& row : rows) {
        TouchDevice device = TouchDevice::Camera();
        StoreI32(device.td().PanelParams, kPanelWidthOffset, row.width);
        StoreI32(device.td().PanelParams, kPanelHeightOffset, row.height);
        device.td().DeviceConfig = {0, 0, row.minX, row.minY, row.maxX, row.maxY, row.calibrated,
                                    0, 0, 0,        0,        0,        0,        {}};
        INT32 x = row.x, y = row.y;
        ClampToScreen(&x, &y, device.td(), row.coordinate ? kCoordinateScale : kCameraScale);
        EXPECT_EQ(std::pair(x, y), std::pair(row.wantX, row.wantY)) << row.name;
    }
}

TEST(CameraModesTest, EachModeInjectsItsSequence) {
    struct ModeCase {
        const char* name;
        BYTE mode;
        std::vector<TouchPoint> points;
        std::vector<Injected> events;
        std::pair<INT32, INT32> click{};
        BYTE calibrated = 0, calibrating = 0;
    };
    std::vector<ModeCase> cases;
    const auto add = [&cases](const char* name, BYTE mode, std::vector<TouchPoint> points,
                              std::vector<Injected> events, std::pair<INT32, INT32> click = {},
                              BYTE calibrated = 0, BYTE calibrating = 0) {
        cases.push_back({name, mode, points, events, click, calibrated, calibrating});
    };
    add("click on release: follows, clicks at the last touch", 1,
        {Touch(100, 200), Touch(150, 250), Lifted(9999, 9999), Lifted()},
        {{kMove, 200, 400}, {kMove, 300, 500}, {kDown, 300, 500}, {kUp, 300, 500}}, {150, 250});
    add("click on release: lift without touch", 1, {Lifted(77, 77)}, {});
    // The zero polynomials of a calibrated device would map everything to 0.
    add("calibrating passes raw unclamped values", 0, {Touch(40000, 33000)},
        {{kDown, 80000, 66000}, {kUp, 80000, 66000}}, {40000, 33000}, 1, 1);
    add("uncalibrated points are clamped but not bounded", 1, {Touch(40000, -3), Touch(100, 200)},
        {{kMove, 65534, 0}, {kMove, 200, 400}});
    for (BYTE other : {BYTE{3}, BYTE{0x80}, BYTE{0xFF}}) {
        add("other modes", other, {Touch(100, 200), Lifted()}, {});
    }
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
        }
        for (const TouchPoint& p : c.points) {
            td.CurrentPoint = p;
            HandlePoint(device.ctx(), device.config());
        }
        EXPECT_THAT(InjectedEvents(recorder), ElementsAreArray(c.events));
        EXPECT_EQ(std::pair(td.LastClickPoint.x, td.LastClickPoint.y), c.click);
        if (c.points.back().valid == 0) {
            EXPECT_EQ(device.ctx().fButtonDown, 0u);
        }
    }
}

TEST(CameraModesTest, ClickOnTouchKeepsTheButtonLatchedByAnotherMode) {
    TouchDevice device = TouchDevice::Camera();
    ce::host::MouseEventRecorder recorder;
    for (const auto& [mode, p] :
         {std::pair{BYTE{2}, Touch(10, 10)}, {BYTE{0}, Lifted()}, {BYTE{0}, Touch(20, 20)}}) {
        device.config().Mode = mode;
        device.td().CurrentPoint = p;
        HandlePoint(device.ctx(), device.config());
    }
    EXPECT_EQ(device.ctx().fButtonDown, 1u);  // mouse emulation's button is still down
    EXPECT_EQ(InjectedEvents(recorder).back(), (Injected{kMoveDown, 20, 20}));
}

}  // namespace
}  // namespace ots::test
