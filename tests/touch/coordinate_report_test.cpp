// Coordinate controllers: reports through ProcessReport after an initialisation from the
// registry copies: status decoding, the touch modes, and what calibration and settings do to the
// injected coordinates.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/golden.h"
#include "support/touch_device.h"
#include "touch/process_report.h"
#include "touch/sensor_init.h"

namespace ots::test {
namespace {

constexpr BYTE kTouching = 0x01, kReleased = 0x04, kIgnore = 0x10;

std::vector<BYTE> Report(BYTE status, UINT16 x, UINT16 y) {
    return {0x00, status, BYTE(x), BYTE(x >> 8), BYTE(y), BYTE(y >> 8)};
}

enum Calibration { kNone, kIdentity, kAffine, kWhileCalibrating };

// Each row's reports in every mode, on a fresh controller: per report what ProcessReport returns,
// then the mouse input, CurrentPoint (the raw position kept when calibrated), LastClickPoint and
// the button. Recorded from a good build; to record anew:
// OTS_REGOLDEN=1 build/default/bin/test_touch --gtest_filter='CoordinateReportTest.Status*'
TEST(CoordinateReportTest, StatusModeAndCalibrationDecideTheInjectedInput) {
    const struct {
        const char* name;
        Calibration calibration;
        std::vector<std::vector<BYTE>> reports;
        BYTE enableTouch = 1;
    } rows[] = {
        {"touching beats released", kNone, {Report(kTouching | kReleased, 100, 200)}},
        // Six bytes make a report: a shorter one is refused, what follows them is not read.
        {"short and long reports",
         kNone,
         {{0x00}, {0x00, kTouching, 100, 0, 200}, {0x00, kTouching, 100, 0, 200, 0, 0xEE, 0xEE}}},
        {"ignore bit",
         kNone,
         {Report(kIgnore | kTouching, 1, 2), Report(kIgnore | kReleased, 1, 2),
          Report(0xFF, 1, 2)}},
        {"neither touching nor released",
         kNone,
         {Report(0x00, 1, 2), Report(0x08, 1, 2), Report(0x20, 1, 2), Report(0x80, 1, 2),
          Report(0xE8, 1, 2)}},
        // 4096 is full scale: 65536 when calibrated.
        {"calibrated full scale",
         kIdentity,
         {Report(kTouching, 4096, 0), Report(kTouching, 5000, 65535)}},
        // x: 0.5 x + 100, y: 2 y: 600, 600 for 1000, 300.
        {"calibrated position is mapped",
         kAffine,
         {Report(kTouching, 1000, 300), Report(kReleased, 1000, 300)}},
        {"calibrating: raw",
         kWhileCalibrating,
         {Report(kTouching, 5000, 65535), Report(kReleased, 0, 0)}},
        {"uncalibrated: raw", kNone, {Report(kTouching, 6000, 4097), Report(kReleased, 6, 7)}},
        {"EnableTouch 0",
         kNone,
         {Report(kTouching, 1, 2), Report(kReleased, 1, 2), Report(kIgnore | kTouching, 1, 2)},
         0},
    };
    std::ostringstream trace;
    for (const auto& row : rows) {
        for (BYTE mode = 0; mode < 4; ++mode) {
            TouchDevice device = TouchDevice::Coordinate();
            ce::host::MouseEventRecorder recorder;
            device.config().Mode = mode;
            device.config().EnableTouch = row.enableTouch;
            TOUCH_DATA& td = device.td();
            // Initialisation puts the registry's calibration in force only for calibrated 1;
            // for 2 it clears the configuration, and the halving calibration must not show.
            td.DeviceConfig.IsCalibrated = row.calibration == kNone ? 2 : 1;
            device.config().IsCalibrating = row.calibration == kWhileCalibrating;
            if (row.calibration == kIdentity) {
                td.CalibParaX = IdentityCalibParaX();
                td.CalibParaY = IdentityCalibParaY();
            } else if (row.calibration == kAffine) {
                td.CalibParaX.A10 = 0.5f;
                td.CalibParaX.A00 = 100.0f;
                td.CalibParaY.A01 = 2.0f;
            } else {
                td.CalibParaX.A10 = td.CalibParaY.A10 = 0.5f;
            }
            ASSERT_EQ(InitCoordinateController(&device.ctx()), 0u);
            trace << row.name << ", mode " << int{mode} << ":";
            for (const std::vector<BYTE>& report : row.reports) {
                // Exactly sized, so that a read past the byte count is caught by the address
                // sanitizer.
                trace << " "
                      << ProcessReport(report.data(), static_cast<DWORD>(report.size()),
                                       &device.ctx());
            }
            for (const Injected& e : InjectedEvents(recorder)) {
                trace << " " << e;
            }
            trace << " point " << td.CurrentPoint.x << "," << td.CurrentPoint.y << " click "
                  << td.LastClickPoint.x << "," << td.LastClickPoint.y << " button "
                  << device.ctx().fButtonDown << "\n";
        }
    }
    ExpectGolden(trace.str(), OTS_GOLDEN_DIR "coordinate_reports.txt");
}

TEST(CoordinateReportTest, MissingContextsAreRefused) {
    TouchDevice device = TouchDevice::Coordinate();
    const std::vector<BYTE> full = Report(kTouching, 100, 200);
    EXPECT_EQ(ProcessReport(full.data(), 6, nullptr), 87u);
    EXPECT_EQ(ProcessReport(nullptr, 6, &device.ctx()), 87u);
    device.ctx().dwSig = 0;
    EXPECT_EQ(ProcessReport(full.data(), 6, &device.ctx()), 87u);
    device.ctx().dwSig = DEVICE_SIG;
    device.ctx().pTouchData = nullptr;
    EXPECT_EQ(ProcessReport(full.data(), 6, &device.ctx()), 87u);
}

}  // namespace
}  // namespace ots::test
