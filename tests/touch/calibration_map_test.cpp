// From controller units to the pointer range: the polynomials, truncation, unusable stored
// coefficients, and clamping to the calibrated area.
#include <gtest/gtest.h>

#include <limits>

#include "protocol/bytes.h"
#include "support/touch_device.h"
#include "touch/calibration_map.h"
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

TEST(MapCalibratedTest, EachCoefficientMultipliesItsMonomial) {
    // At x = 3, y = 5 every monomial x^i y^j has its own value.
    const struct {
        float CalibPara::*coefficient;
        INT32 monomial;
        const char* name;
    } rows[] = {{&CalibPara::A03, 125, "A03"}, {&CalibPara::A12, 75, "A12"},
                {&CalibPara::A21, 45, "A21"},  {&CalibPara::A30, 27, "A30"},
                {&CalibPara::A02, 25, "A02"},  {&CalibPara::A11, 15, "A11"},
                {&CalibPara::A20, 9, "A20"},   {&CalibPara::A01, 5, "A01"},
                {&CalibPara::A10, 3, "A10"},   {&CalibPara::A00, 1, "A00"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CalibPara cx{}, cy{};
        cx.*row.coefficient = 2.0f;
        cy.*row.coefficient = -1.0f;
        EXPECT_EQ(Map(cx, cy, 3, 5), std::pair(2 * row.monomial, -row.monomial));
    }
}

TEST(MapCalibratedTest, TruncatesTowardZeroAndSaturatesUnusableResults) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float a00;
        INT32 want;
    } rows[] = {{-0.5f, 0},  {-1.9f, -1},  {32767.9f, 32767}, {std::nanf(""), 0},
                {inf, kMax}, {-inf, kMin}, {3e9f, kMax},      {-3e9f, kMin}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.a00);
        CalibPara c{};
        c.A00 = row.a00;
        EXPECT_EQ(Map(c, c, 1, 1), std::pair(row.want, row.want));
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
        SCOPED_TRACE(row.name);
        TouchDevice device = TouchDevice::Camera();
        StoreI32(device.td().PanelParams, kPanelWidthOffset, row.width);
        StoreI32(device.td().PanelParams, kPanelHeightOffset, row.height);
        DeviceConfig& dc = device.td().DeviceConfig;
        dc.MinX = row.minX;
        dc.MinY = row.minY;
        dc.MaxX = row.maxX;
        dc.MaxY = row.maxY;
        dc.IsCalibrated = row.calibrated;
        INT32 x = row.x, y = row.y;
        ClampToScreen(&x, &y, device.td(), row.coordinate ? kCoordinateScale : kCameraScale);
        EXPECT_EQ(std::pair(x, y), std::pair(row.wantX, row.wantY));
    }
}

}  // namespace
}  // namespace ots::test
