// One point at a time of the camera generation through HandlePoint: the polynomials, truncation
// and clamping to the calibrated area, the mode table, the click record, and what calibration
// and calibrating do to the coordinates.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <vector>

#include "protocol/bytes.h"
#include "support/golden.h"
#include "support/touch_device.h"
#include "touch/calibration_map.h"
#include "touch/input_emulation.h"
#include "touch/panel_params.h"

namespace ots::test {
namespace {

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
        {-0.5f, 0},  {-1.9f, -1},  {32767.9f, 32767}, {std::numeric_limits<float>::quiet_NaN(), 0},
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

// Each row's points through HandlePoint in every mode, on a fresh device: the mouse input, the
// click record and the button. Recorded from a good build; to record anew:
// OTS_REGOLDEN=1 build/default/bin/test_touch --gtest_filter='CameraModesTest.*'
TEST(CameraModesTest, EachModeInjectsItsSequence) {
    const struct {
        const char* name;
        std::vector<TouchPoint> points;
        BYTE calibrated = 0, calibrating = 0;
        bool pressed = false;  // a touch in mouse emulation holds the button first
    } rows[] = {
        {"touch, move, lift", {Touch(100, 200), Touch(150, 250), Lifted(9999, 9999), Lifted()}},
        {"lift without touch", {Lifted(77, 77)}},
        // The zero polynomials of a calibrated device would map everything to 0.
        {"calibrating passes raw unclamped values", {Touch(40000, 33000), Lifted()}, 1, 1},
        {"uncalibrated points are clamped but not bounded",
         {Touch(40000, -3), Touch(100, 200), Lifted()}},
        {"a button held by another mode", {Lifted(), Touch(20, 20)}, 0, 0, true},
    };
    std::ostringstream trace;
    for (const auto& row : rows) {
        for (const int mode : {0, 1, 2, 3, 0x80, 0xFF}) {
            TouchDevice device = TouchDevice::Camera();
            ce::host::MouseEventRecorder recorder;
            device.config().IsCalibrating = row.calibrating;
            TOUCH_DATA& td = device.td();
            td.DeviceConfig.IsCalibrated = row.calibrated;
            if (row.calibrated == 0) {  // bounds that would show if they were applied
                td.DeviceConfig.MinX = 500;
                td.DeviceConfig.MaxY = 10;
                StoreI32(td.PanelParams, kPanelWidthOffset, 1000);
                StoreI32(td.PanelParams, kPanelHeightOffset, 1000);
            }
            const auto handle = [&](int inMode, const TouchPoint& p) {
                device.config().Mode = static_cast<BYTE>(inMode);
                td.CurrentPoint = p;
                HandlePoint(device.ctx(), device.config());
            };
            if (row.pressed) {
                handle(2, Touch(10, 10));
            }
            for (const TouchPoint& p : row.points) {
                handle(mode, p);
            }
            trace << row.name << ", mode " << mode << ":";
            for (const Injected& e : InjectedEvents(recorder)) {
                trace << " " << e;
            }
            trace << " click " << td.LastClickPoint.x << "," << td.LastClickPoint.y << " button "
                  << device.ctx().fButtonDown << "\n";
        }
    }
    ExpectGolden(trace.str(), OTS_GOLDEN_DIR "camera_points.txt");
}

}  // namespace
}  // namespace ots::test
