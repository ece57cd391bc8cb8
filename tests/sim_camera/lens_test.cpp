#include "sim/camera_lens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "sim/camera_panel.h"

namespace ots::sim {
namespace {

constexpr double kQuarterPi = std::numbers::pi / 4.0;

CameraParams LensWithSlope(float p1) {
    CameraParams lens;
    lens.firstPixel = 10;
    lens.lastPixel = 630;
    lens.p = {0.25f, p1, 0.5f, 0, 0, 0, 0, 0.125f};
    lens.J = 0.5f;
    lens.K = 2.0f;
    return lens;
}

TEST(LensModel, DefaultModelIsLinearOverTheWholeLine) {
    const LensModel a = LensModel::Default(Camera::A);
    const LensModel b = LensModel::Default(Camera::B);
    EXPECT_TRUE(a.usesDefault());
    EXPECT_EQ(a.firstPixel(), 0);
    EXPECT_EQ(a.lastPixel(), 640);
    // pixel 480: u = 0.5
    EXPECT_DOUBLE_EQ(a.AngleAt(480), kQuarterPi + 1.15f * 0.5);
    EXPECT_DOUBLE_EQ(b.AngleAt(480), kQuarterPi - 1.15f * 0.5);
    EXPECT_DOUBLE_EQ(a.AngleAt(320), kQuarterPi);
    EXPECT_DOUBLE_EQ(b.AngleAt(320), kQuarterPi);
}

TEST(LensModel, CoefficientsAreKTimesPPlusJAndNegatedForCameraB) {
    const LensModel a = LensModel::FromBlock(LensWithSlope(1.0f), Camera::A);
    const LensModel b = LensModel::FromBlock(LensWithSlope(1.0f), Camera::B);
    EXPECT_FALSE(a.usesDefault());
    EXPECT_EQ(a.firstPixel(), 10);
    EXPECT_EQ(a.lastPixel(), 630);
    const std::array<float, 8> expected{2.0f * 0.25f + 0.5f, 2.0f, 1.0f, 0, 0, 0, 0, 0.25f};
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(a.coefficients()[k], expected[k]) << "c" << k;
        EXPECT_EQ(b.coefficients()[k], -expected[k]) << "c" << k;
    }
    // pixel 160: u = -0.5 -> 1 - 1 + 0.25 - 0.25/128
    EXPECT_DOUBLE_EQ(a.AngleAt(160), kQuarterPi + 1.0 - 1.0 + 0.25 - 0.25 / 128.0);
}

TEST(LensModel, LinearTermOutside08To15SelectsTheDefault) {
    EXPECT_TRUE(LensModel::FromBlock(LensWithSlope(0.5f), Camera::A).usesDefault());
    EXPECT_TRUE(LensModel::FromBlock(LensWithSlope(0.79f), Camera::A).usesDefault());
    EXPECT_FALSE(LensModel::FromBlock(LensWithSlope(0.8f), Camera::A).usesDefault());
    EXPECT_FALSE(LensModel::FromBlock(LensWithSlope(-0.8f), Camera::A).usesDefault());
    EXPECT_FALSE(LensModel::FromBlock(LensWithSlope(1.5f), Camera::A).usesDefault());
    EXPECT_TRUE(LensModel::FromBlock(LensWithSlope(1.51f), Camera::A).usesDefault());
    EXPECT_TRUE(LensModel::FromBlock(LensWithSlope(NAN), Camera::A).usesDefault());
}

TEST(LensModel, EmptyPixelRangeSelectsTheDefault) {
    CameraParams lens = LensWithSlope(1.0f);
    lens.firstPixel = 400;
    lens.lastPixel = 400;
    EXPECT_TRUE(LensModel::FromBlock(lens, Camera::A).usesDefault());
    lens.firstPixel = -50;  // clamped to the line
    lens.lastPixel = 9000;
    const LensModel clamped = LensModel::FromBlock(lens, Camera::A);
    EXPECT_FALSE(clamped.usesDefault());
    EXPECT_EQ(clamped.firstPixel(), 0);
    EXPECT_EQ(clamped.lastPixel(), 640);
}

TEST(LensModel, PixelAtInvertsAngleAtForBothCamerasOfBothPanels) {
    for (const CameraPanel& panel : {RealisticCameraPanel(), DefaultsCameraPanel()}) {
        for (Camera camera : {Camera::A, Camera::B}) {
            const LensModel lens =
                LensModel::FromBlock(camera == Camera::A ? panel.camera1 : panel.camera0, camera);
            for (double pixel = 0.0; pixel <= 640.0; pixel += 12.5) {
                const std::optional<double> back = lens.PixelAt(lens.AngleAt(pixel));
                ASSERT_TRUE(back.has_value()) << panel.name << " pixel " << pixel;
                // A thousandth of a pixel: far below what rounding to whole pixels keeps.
                EXPECT_NEAR(*back, pixel, 1e-3) << panel.name << " pixel " << pixel;
            }
        }
    }
}

TEST(LensModel, AnglesOutsideTheFieldOfViewHaveNoPixel) {
    const LensModel a = LensModel::Default(Camera::A);
    const LensModel b = LensModel::Default(Camera::B);
    EXPECT_DOUBLE_EQ(a.LowestAngle(), kQuarterPi - 1.15f);
    EXPECT_DOUBLE_EQ(a.HighestAngle(), kQuarterPi + 1.15f);
    EXPECT_FALSE(a.PixelAt(a.HighestAngle() + 1e-6).has_value());
    EXPECT_FALSE(a.PixelAt(a.LowestAngle() - 1e-6).has_value());
    // Single-precision pixel positions near 640 are 6e-5 apart.
    EXPECT_NEAR(*a.PixelAt(a.HighestAngle()), 640.0, 1e-3);
    EXPECT_NEAR(*b.PixelAt(b.HighestAngle()), 0.0, 1e-3);  // camera B runs the other way
}

TEST(LensModel, RealisticLensesCoverThePanelFromBothCameras) {
    // Seen from either camera the panel spans about 0.03 to 1.55 radians (cameras 20 pixels
    // beyond the sides and 15 above the top of an 800 x 600 panel).
    const CameraPanel panel = RealisticCameraPanel();
    for (Camera camera : {Camera::A, Camera::B}) {
        const LensModel lens =
            LensModel::FromBlock(camera == Camera::A ? panel.camera1 : panel.camera0, camera);
        EXPECT_FALSE(lens.usesDefault());
        for (double angle : {0.03, 1.55}) {
            const std::optional<double> pixel = lens.PixelAt(angle);
            ASSERT_TRUE(pixel.has_value());
            EXPECT_GE(*pixel, lens.firstPixel());
            EXPECT_LT(*pixel, lens.lastPixel());
        }
    }
}

}  // namespace
}  // namespace ots::sim
