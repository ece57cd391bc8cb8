// From controller units to the pointer range: the polynomials, truncation, the handling of
// unusable stored coefficients, and clamping to the calibrated area.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "protocol/bytes.h"
#include "touch/calibration_map.h"
#include "touch/panel_params.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

struct Mapped {
    INT32 x;
    INT32 y;
};

Mapped Map(const ots::CalibPara& cx, const ots::CalibPara& cy, INT32 x, INT32 y) {
    OpticalContext oc{};
    LoadActiveCalibration(cx, cy, &oc);
    Mapped m{-1, -1};
    MapCalibrated(Touch(x, y), &m.x, &m.y, oc);
    return m;
}

ots::CalibPara Constant(float a00) {
    ots::CalibPara c{};
    c.A00 = a00;
    return c;
}

TEST(MapCalibratedTest, IdentityPolynomialsKeepThePoint) {
    const Mapped m = Map(ots::IdentityCalibParaX(), ots::IdentityCalibParaY(), 1234, 32767);
    EXPECT_EQ(m.x, 1234);
    EXPECT_EQ(m.y, 32767);
}

TEST(MapCalibratedTest, EachCoefficientMultipliesItsMonomial) {
    // At x = 3, y = 5 every monomial x^i y^j has its own value.
    struct Case {
        float ots::CalibPara::*coefficient;
        INT32 monomial;
        const char* name;
    };
    const Case cases[] = {
        {&ots::CalibPara::A03, 125, "A03"}, {&ots::CalibPara::A12, 75, "A12"},
        {&ots::CalibPara::A21, 45, "A21"},  {&ots::CalibPara::A30, 27, "A30"},
        {&ots::CalibPara::A02, 25, "A02"},  {&ots::CalibPara::A11, 15, "A11"},
        {&ots::CalibPara::A20, 9, "A20"},   {&ots::CalibPara::A01, 5, "A01"},
        {&ots::CalibPara::A10, 3, "A10"},   {&ots::CalibPara::A00, 1, "A00"},
    };
    for (const Case& c : cases) {
        ots::CalibPara cx{};
        cx.*c.coefficient = 2.0f;
        ots::CalibPara cy{};
        cy.*c.coefficient = -1.0f;
        const Mapped m = Map(cx, cy, 3, 5);
        EXPECT_EQ(m.x, 2 * c.monomial) << c.name;
        EXPECT_EQ(m.y, -c.monomial) << c.name;
    }
}

TEST(MapCalibratedTest, TruncatesTowardZero) {
    EXPECT_EQ(Map(Constant(-0.5f), Constant(-1.9f), 0, 0).x, 0);
    EXPECT_EQ(Map(Constant(-0.5f), Constant(-1.9f), 0, 0).y, -1);
    EXPECT_EQ(Map(Constant(32767.9f), Constant(0.999f), 0, 0).x, 32767);
    EXPECT_EQ(Map(Constant(32767.9f), Constant(0.999f), 0, 0).y, 0);
}

TEST(MapCalibratedTest, InputIsTakenInSinglePrecision) {
    // 2^24 + 1 has no float; it becomes 2^24 before the polynomial sees it.
    const Mapped m = Map(ots::IdentityCalibParaX(), ots::IdentityCalibParaY(), 16777217, 5);
    EXPECT_EQ(m.x, 16777216);
    EXPECT_EQ(m.y, 5);
}

TEST(MapCalibratedTest, NonFiniteOrHugeResultsBecomeDefinedValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr INT32 kMax = std::numeric_limits<INT32>::max();
    constexpr INT32 kMin = std::numeric_limits<INT32>::min();

    EXPECT_EQ(Map(Constant(nan), Constant(nan), 1, 1).x, 0);
    EXPECT_EQ(Map(Constant(inf), Constant(-inf), 1, 1).x, kMax);
    EXPECT_EQ(Map(Constant(inf), Constant(-inf), 1, 1).y, kMin);
    EXPECT_EQ(Map(Constant(3e9f), Constant(-3e9f), 1, 1).x, kMax);
    EXPECT_EQ(Map(Constant(3e9f), Constant(-3e9f), 1, 1).y, kMin);
    // Infinity times zero is NaN: a stored infinity in an unused term still gives 0.
    ots::CalibPara cx{};
    cx.A10 = inf;
    EXPECT_EQ(Map(cx, cx, 0, 0).x, 0);
}

class ClampToScreenTest : public ::testing::Test {
  protected:
    void SetPanel(INT32 width, INT32 height) {
        ots::StoreI32(device.td().PanelParams, kPanelWidthOffset, width);
        ots::StoreI32(device.td().PanelParams, kPanelHeightOffset, height);
    }
    void SetBounds(UINT16 minX, UINT16 minY, UINT16 maxX, UINT16 maxY, BYTE isCalibrated = 1) {
        ots::DeviceConfig& dc = device.td().DeviceConfig;
        dc.MinX = minX;
        dc.MinY = minY;
        dc.MaxX = maxX;
        dc.MaxY = maxY;
        dc.IsCalibrated = isCalibrated;
    }
    Mapped Clamp(INT32 x, INT32 y, ScreenScale scale = kCameraScale) {
        Mapped m{x, y};
        ClampToScreen(&m.x, &m.y, device.td(), scale);
        return m;
    }

    TouchDevice device = TouchDevice::Camera();
};

TEST_F(ClampToScreenTest, ClampsToFullScaleOfEachGeneration) {
    EXPECT_EQ(Clamp(-1, 40000).x, 0);
    EXPECT_EQ(Clamp(-1, 40000).y, 32767);
    EXPECT_EQ(Clamp(32767, 0).x, 32767);
    EXPECT_EQ(Clamp(-5, 4097, kCoordinateScale).x, 0);
    EXPECT_EQ(Clamp(-5, 4097, kCoordinateScale).y, 4096);
    EXPECT_EQ(Clamp(4096, 4096, kCoordinateScale).x, 4096);
}

TEST_F(ClampToScreenTest, CalibratedBoundsRaiseAndLowerInPanelUnits) {
    SetPanel(1000, 500);
    SetBounds(100, 50, 900, 400);
    // 100 * 32768 / 1000 = 3276; 50 * 32768 / 500 = 3276; 900 -> 29491; 400 * 32768 / 500 = 26214.
    EXPECT_EQ(Clamp(0, 0).x, 3276);
    EXPECT_EQ(Clamp(0, 0).y, 3276);
    EXPECT_EQ(Clamp(3275, 3277).x, 3276);
    EXPECT_EQ(Clamp(3275, 3277).y, 3277);
    EXPECT_EQ(Clamp(32767, 32767).x, 29491);
    EXPECT_EQ(Clamp(32767, 32767).y, 26214);
    // The coordinate generation scales its bounds by 4096: 100 * 4096 / 1000 = 409.
    EXPECT_EQ(Clamp(0, 4096, kCoordinateScale).x, 409);
    EXPECT_EQ(Clamp(0, 4096, kCoordinateScale).y, 3276);
}

TEST_F(ClampToScreenTest, UpperBoundWinsOverACrossedLowerBound) {
    SetPanel(1000, 1000);
    SetBounds(800, 0, 100, 1000);
    EXPECT_EQ(Clamp(0, 0).x, 3276);  // 100 * 32768 / 1000
}

TEST_F(ClampToScreenTest, BoundsNeedAKnownPanelAndACalibration) {
    SetPanel(1000, 1000);
    SetBounds(100, 100, 200, 200, 0);
    EXPECT_EQ(Clamp(0, 32767).x, 0);
    EXPECT_EQ(Clamp(0, 32767).y, 32767);

    SetBounds(100, 100, 200, 200, 2);  // any nonzero value puts the bounds in force
    EXPECT_EQ(Clamp(0, 32767).x, 3276);

    SetPanel(0, 1000);
    EXPECT_EQ(Clamp(0, 32767).y, 32767);
    SetPanel(1000, 0);
    EXPECT_EQ(Clamp(0, 32767).x, 0);
}

TEST_F(ClampToScreenTest, NegativePanelSizeIsUnusable) {
    SetBounds(100, 100, 200, 200);
    SetPanel(-1000, 1000);
    EXPECT_EQ(Clamp(10, 32767).x, 10);
    EXPECT_EQ(Clamp(10, 32767).y, 32767);
    SetPanel(1000, -1);
    EXPECT_EQ(Clamp(10, 32767).x, 10);
}

}  // namespace
}  // namespace ots::test
