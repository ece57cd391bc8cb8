// Saving a calibration with the real driver behind the device access library: a run that
// cannot give a calibration must leave the device as it was, never marked calibrated.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "calibration/calibration_save.h"
#include "calibration_screen/touch_bench.h"
#include "ce/host/debug_sink.h"
#include "device/device_access.h"

namespace calib_test {
namespace {

struct Unsaved {
    const char* name;
    std::vector<float> rawY;  // raw x runs along the four targets
    INT32 samplesTaken;
    const char* logged;  // nullptr: nothing
};

class SaveTest : public it::IntegrationTest, public ::testing::WithParamInterface<Unsaved> {};

TEST_P(SaveTest, RunWithoutCalibrationLeavesDeviceUncalibrated) {
    TouchBench bench(Generation::Coordinate);
    const ots::DeviceIdentity identity{0x5A17, 0x0101, 0};
    ots::DeviceConfig before{};
    ASSERT_TRUE(GetDeviceConfig(&before, 0, &identity));
    ASSERT_EQ(before.IsCalibrated, 0);

    const std::array<float, 4> target{2048, 30720, 2048, 30720};
    const std::array<float, 4> rawX{100, 4000, 100, 4000};
    ots::DeviceConfig member{};
    ce::host::DebugCapture log;
    const CalibrationRun run{
        target.data(),          target.data(), rawX.data(), GetParam().rawY.data(), 4,
        GetParam().samplesTaken};
    EXPECT_FALSE(SaveCalibration(run, identity, &member));

    ots::DeviceConfig after{};
    ASSERT_TRUE(GetDeviceConfig(&after, 0, &identity));
    EXPECT_EQ(after.IsCalibrated, 0);
    EXPECT_EQ(member.IsCalibrated, 0);
    if (GetParam().logged != nullptr) {
        EXPECT_TRUE(log.Contains(GetParam().logged));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SaveTest,
    ::testing::Values(
        // The thread ended after three of four targets.
        Unsaved{"ShortRun", {100, 100, 3000, 3000}, 3, nullptr},
        // Every sample on one raw line: the affine system is singular.
        Unsaved{"SingularFit", {0, 0, 0, 0}, 4, "<GetMouseUpData>GetCalibrateData Failed!"}),
    [](const auto& run) { return run.param.name; });

}  // namespace
}  // namespace calib_test
