// Saving with the real driver behind the device access library: a fit that fails must not mark
// the device calibrated, or the coordinate generation would map every touch through zero
// polynomials into a corner.
#include <gtest/gtest.h>

#include <array>

#include "calibration/calibration_save.h"
#include "calibration_screen/touch_bench.h"
#include "ce/host/debug_sink.h"
#include "device/device_access.h"

namespace calib_test {
namespace {

class SaveTest : public ots::test::IntegrationTest {};

TEST_F(SaveTest, FailedFitLeavesTheDeviceUncalibrated) {
    TouchBench bench(Generation::Coordinate);
    const ots::DeviceIdentity identity{0x5A17, 0x0101, 0};
    const std::array<float, 4> target{2048, 30720, 2048, 30720};
    const std::array<float, 4> rawX{100, 4000, 100, 4000};
    const std::array<float, 4> rawY{};  // every sample on one raw line: a singular system
    ots::DeviceConfig member{};
    ce::host::DebugCapture log;
    EXPECT_FALSE(SaveCalibration({target.data(), target.data(), rawX.data(), rawY.data(), 4, 4},
                                 identity, &member));
    EXPECT_TRUE(log.Contains("<GetMouseUpData>GetCalibrateData Failed!"));

    ots::DeviceConfig stored{};
    ASSERT_TRUE(GetDeviceConfig(&stored, 0, &identity));
    EXPECT_EQ(stored.IsCalibrated, 0);
    EXPECT_EQ(member.IsCalibrated, 0);
}

}  // namespace
}  // namespace calib_test
