// The calibration dialog with a finger on a simulated controller and the real driver behind
// it: the pointer ends on the finger after OK, every other way out leaves the stored
// calibration alone, and each way out restores the driver and the task bar exactly once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <array>

#include "calibration/calibration_save.h"
#include "calibration_screen/panel_harness.h"
#include "ce/host/debug_sink.h"
#include "device/device_access.h"
#include "protocol/control_codes.h"

namespace calib_test {
namespace {

using ::testing::ElementsAre;

constexpr int IDC_OK = 1008;
constexpr int IDC_CANCEL = 1009;
constexpr BYTE kMouseEmulation = 2;

void SetUpDriver(bool twentyFivePoints) {
    ots::DriverConfig config{};
    ASSERT_TRUE(GetDriverConfig(&config, 0));
    config.CalibrateType = twentyFivePoints ? 1 : 0;
    config.Mode = kMouseEmulation;
    ASSERT_TRUE(SetDriverConfig(&config));
}

// The driver back in its own mode, out of calibration mode, and the task bar shown.
void ExpectRestored() {
    ots::DriverConfig config{};
    ASSERT_TRUE(GetDriverConfig(&config, 0));
    EXPECT_EQ(config.Mode, kMouseEmulation);
    EXPECT_EQ(config.IsCalibrating, 0);
    EXPECT_TRUE(PanelHarness::TaskBarVisible());
}

struct Accurate {
    const char* name;
    Generation generation;
    bool twentyFivePoints;
    // Worst finger-to-pointer distance over 16 taps. The coordinate panel is mounted affinely,
    // so either fit takes it out to its 12-bit resolution. The camera panel is bowed like a
    // lens error: the cubic takes that out to the optics' quantization (about 0.6 mm at the
    // worst point), the affine 4-point fit cannot (1.5 mm at the corners).
    double boundMm;
};

class AccurateCalibration : public ots::test::IntegrationTest,
                            public ::testing::WithParamInterface<Accurate> {};

TEST_P(AccurateCalibration, PointerEndsOnTheFinger) {
    TouchBench bench(GetParam().generation);
    SetUpDriver(GetParam().twentyFivePoints);
    ASSERT_GT(bench.WorstTapErrorMm(), GetParam().boundMm);  // the mounting error shows

    PanelHarness panel;
    CCalibrateDlg& dialog = panel.Start();
    ASSERT_EQ(dialog.Targets(), GetParam().twentyFivePoints ? 25 : 4);
    ASSERT_TRUE(panel.TouchTargets(bench, dialog.Targets()));
    ASSERT_TRUE(panel.WaitForVerification());
    ASSERT_TRUE(panel.Click(IDC_OK));
    EXPECT_THAT(panel.Ends(), ElementsAre(EndMessage{0, 0}));
    ExpectRestored();
    EXPECT_LE(bench.WorstTapErrorMm(), GetParam().boundMm);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, AccurateCalibration,
    ::testing::Values(Accurate{"Coordinate4", Generation::Coordinate, false, 0.5},
                      Accurate{"Coordinate25", Generation::Coordinate, true, 0.5},
                      Accurate{"Camera25", Generation::Camera, true, 1.0},
                      Accurate{"Camera4", Generation::Camera, false, 2.0}),
    [](const auto& screen) { return screen.param.name; });

enum class Way { EscCollecting, EscVerifying, Cancel };

struct Closing {
    const char* name;
    Way way;
};

class ClosingWithoutSaving : public ots::test::IntegrationTest,
                             public ::testing::WithParamInterface<Closing> {};

// After the first way out, the others are tried too: none may post, restore or toggle again.
TEST_P(ClosingWithoutSaving, LeavesTheCalibrationAndClosesOnce) {
    TouchBench bench(Generation::Coordinate);
    SetUpDriver(false);
    const ots::test::Bytes storedBefore = ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58);
    bench.Tap({400, 300});
    const std::optional<Pixel> pointerBefore = bench.Pointer();

    PanelHarness panel;
    CCalibrateDlg& dialog = panel.Start();
    const bool verifying = GetParam().way != Way::EscCollecting;
    ASSERT_TRUE(panel.TouchTargets(bench, verifying ? dialog.Targets() : 1));
    if (verifying) {
        ASSERT_TRUE(panel.WaitForVerification());
    } else {
        panel.Press(VK_RETURN);  // reaches the hidden OK, which waits for the verification view
    }
    ASSERT_TRUE(GetParam().way == Way::Cancel ? panel.Click(IDC_CANCEL) : panel.Press(VK_ESCAPE));
    panel.Press(VK_ESCAPE);
    panel.Click(IDC_CANCEL);
    panel.Click(IDC_OK);
    EXPECT_THAT(panel.Ends(), ElementsAre(EndMessage{1, 0}));
    EXPECT_TRUE(panel.Boxes().empty());
    ExpectRestored();

    EXPECT_EQ(ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58), storedBefore);
    bench.Tap({400, 300});
    ASSERT_TRUE(bench.Pointer() && pointerBefore);
    EXPECT_NEAR(bench.Pointer()->x, pointerBefore->x, 0.5);
    EXPECT_NEAR(bench.Pointer()->y, pointerBefore->y, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingWithoutSaving,
                         ::testing::Values(Closing{"EscWhileCollecting", Way::EscCollecting},
                                           Closing{"EscWhileVerifying", Way::EscVerifying},
                                           Closing{"Cancel", Way::Cancel}),
                         [](const auto& way) { return way.param.name; });

class CalibrateDialogTest : public ots::test::IntegrationTest {};

// Through the main dialog, which owns the calibration dialog and reports the lost device.
TEST_F(CalibrateDialogTest, UnplugDuringCollectionGivesTheConnectionMessage) {
    TouchBench bench(Generation::Coordinate);
    SetUpDriver(false);
    PanelHarness panel;
    ASSERT_NE(panel.StartFromMainDialog(), nullptr);
    ASSERT_TRUE(panel.TouchTargets(bench, 1));
    bench.Unplug();
    EXPECT_TRUE(panel.WaitForBox(L"Please check the connection..."));
    EXPECT_TRUE(PanelHarness::TaskBarVisible());
}

// A controller that identifies as 0x7E21/0x0012 on "OTS1:": the dialog samples on "OTS2:",
// which is not there, so the verification view comes without a single sample.
TEST_F(CalibrateDialogTest, OkWithTooFewSamplesChangesNothingAndSaysSo) {
    TouchBench bench(Generation::Coordinate, 0x7E21, 0x0012);
    SetUpDriver(false);
    const ots::test::Bytes storedBefore = ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58);
    PanelHarness panel;
    panel.Start();
    ASSERT_TRUE(panel.WaitForVerification());
    ASSERT_TRUE(panel.Click(IDC_OK));
    EXPECT_THAT(panel.Ends(), ElementsAre(EndMessage{1, 0}));
    EXPECT_THAT(panel.Boxes(),
                ElementsAre(L"Not every target was touched; the calibration was not saved."));
    ExpectRestored();
    EXPECT_EQ(ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58), storedBefore);
}

// A fit that fails must not mark the device calibrated, or the coordinate generation would map
// every touch through zero polynomials into a corner.
TEST_F(CalibrateDialogTest, FailedFitLeavesTheDeviceUncalibrated) {
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
