// A panel whose blocks the driver cannot use (no frame rate, lens slope 0.5): the driver falls
// back to its default lens models and output scale, which describe this panel's cameras, so
// touches still land where the finger is. Its packet 0 carries camera B.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/camera_bus.h"
#include "protocol/control_codes.h"
#include "protocol/device_config.h"

namespace camera_e2e {
using namespace ots::test;
namespace {

// With the default lens a pixel spans 1.15 / 320 rad; half a pixel of rounding in each camera
// puts a finger within 3 px of where it is over the 800-pixel baseline, the far corners
// included. A drag's points also pass through the trajectory fit and the spline.
constexpr double kTolerancePx = 3.0;
constexpr double kDragTolerancePx = 5.0;

class DefaultsPanelTest : public CameraBusTest {};

TEST_F(DefaultsPanelTest, TouchesLandWhereTheFingerIsThroughTheDefaultModels) {
    const CameraPanel panel = ots::sim::DefaultsCameraPanel();
    ASSERT_FALSE(panel.CameraAFirst());
    Plug(MakeCamera(panel));
    double worst = 0.0;
    for (double yPx : {100.0, 300.0, 500.0}) {
        for (double xPx : {100.0, 400.0, 700.0}) {
            SCOPED_TRACE(testing::Message() << "tap at " << xPx << ", " << yPx);
            recorder_.Clear();
            camera().Tap(xPx, yPx, 100);
            Settle();
            const auto presses = EventsWithFlags(kMoveDown);
            ASSERT_FALSE(presses.empty());
            ASSERT_EQ(EventsWithFlags(kUp).size(), 1u);
            for (const auto& press : presses) {
                const ScreenPosition at = ToScreen(press, panel);
                const double off = std::hypot(at.xPx - xPx, at.yPx - yPx);
                EXPECT_LT(off, kTolerancePx) << "pressed at " << at.xPx << ", " << at.yPx;
                worst = std::max(worst, off);
            }
        }
    }
    std::printf("[ defaults ] 9 taps pressed within %.2f px of the finger\n", worst);
    // The upper bounds come from the panel block's size all the same.
    const std::vector<BYTE> config = ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, ots::kDeviceConfigSize);
    ASSERT_EQ(config.size(), ots::kDeviceConfigSize);
    const ots::DeviceConfig decoded =
        ots::DecodeDeviceConfig(std::span<const BYTE, ots::kDeviceConfigSize>(config));
    EXPECT_EQ(decoded.MaxX, 800);
    EXPECT_EQ(decoded.MaxY, 600);
}

TEST_F(DefaultsPanelTest, DragIsFollowedAcrossThePanel) {
    const CameraPanel panel = ots::sim::DefaultsCameraPanel();
    Plug(MakeCamera(panel));
    camera().Drag(150, 450, 650, 150, 800);
    Settle();
    const auto presses = EventsWithFlags(kMoveDown);
    ASSERT_GT(presses.size(), 40u);
    // Every press lies on the line of the drag, and they run from its start to its end.
    for (const auto& press : presses) {
        const ScreenPosition at = ToScreen(press, panel);
        // Distance to the line through (150, 450) and (650, 150): 3x + 5y - 2700 = 0.
        const double off = std::fabs(3.0 * at.xPx + 5.0 * at.yPx - 2700.0) / std::sqrt(34.0);
        EXPECT_LT(off, kDragTolerancePx) << "pressed at " << at.xPx << ", " << at.yPx;
    }
    const ScreenPosition last = ToScreen(presses.back(), panel);
    EXPECT_NEAR(last.xPx, 650.0, kDragTolerancePx);
    EXPECT_NEAR(last.yPx, 150.0, kDragTolerancePx);
    EXPECT_EQ(EventsWithFlags(kUp).size(), 1u);
}

}  // namespace
}  // namespace camera_e2e
