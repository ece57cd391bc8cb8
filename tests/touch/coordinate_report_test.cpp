// Reports of the coordinate generation through ProcessReport: status decoding, the three touch
// modes, and what calibration and settings do to the injected coordinates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "touch/process_report.h"
#include "touch/touch_data.h"
#include "support/touch_device.h"

namespace ots::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr BYTE kTouching = 0x01;
constexpr BYTE kTouchingOther = 0x02;
constexpr BYTE kReleased = 0x04;
constexpr BYTE kIgnore = 0x10;
constexpr BYTE kModes[] = {0, 1, 2};
constexpr BYTE kNeitherTouchingNorReleased[] = {0x00, 0x08, 0x20, 0x80, 0xE8};

std::vector<BYTE> Report(BYTE status, UINT16 x, UINT16 y) {
    return {0x00,
            status,
            static_cast<BYTE>(x),
            static_cast<BYTE>(x >> 8),
            static_cast<BYTE>(y),
            static_cast<BYTE>(y >> 8)};
}

class CoordinateReportTest : public ::testing::Test {
  protected:
    DWORD Send(BYTE status, UINT16 x, UINT16 y) {
        const std::vector<BYTE> report = Report(status, x, y);
        return ProcessReport(report.data(), static_cast<DWORD>(report.size()), &device.ctx());
    }
    std::vector<Injected> Events() const { return InjectedEvents(recorder); }

    void UseCalibration(ots::CalibPara x, ots::CalibPara y) {
        device.td().DeviceConfig.IsCalibrated = 1;
        device.td().Optical.CalibX = x;
        device.td().Optical.CalibY = y;
    }

    TouchDevice device = TouchDevice::Coordinate();
    ce::host::MouseEventRecorder recorder;
};

TEST_F(CoordinateReportTest, TouchingWinsOverReleasedInOneReport) {
    device.config().Mode = 2;
    Send(kTouching | kReleased, 100, 200);
    EXPECT_THAT(Events(), ElementsAre(Injected{kMoveDown, 1600, 3200}));
}

TEST_F(CoordinateReportTest, IgnoreBitRefusesTheReportWhateverElseIsSet) {
    for (const BYTE mode : kModes) {
        device.config().Mode = mode;
        EXPECT_EQ(Send(kIgnore | kTouching, 100, 200), 87u);
        EXPECT_EQ(Send(kIgnore | kReleased, 100, 200), 87u);
        EXPECT_EQ(Send(0xFF, 100, 200), 87u);
    }
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
}

TEST_F(CoordinateReportTest, ReportNeitherTouchingNorReleasedDoesNothing) {
    for (const BYTE mode : kModes) {
        device.config().Mode = mode;
        for (const BYTE status : kNeitherTouchingNorReleased) {
            EXPECT_EQ(Send(status, 100, 200), 0u) << "status " << int{status};
        }
    }
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.td().LastClickPoint.x, 0);
    EXPECT_EQ(device.td().LastTouchX, 0u);
}

TEST_F(CoordinateReportTest, FullScaleBecomes65536WhenCalibrated) {
    device.config().Mode = 1;
    UseCalibration(ots::IdentityCalibParaX(), ots::IdentityCalibParaY());

    Send(kTouching, 4096, 0);
    Send(kTouching, 5000, 65535);  // clamped to full scale

    EXPECT_THAT(Events(), ElementsAre(Injected{kMove, 65536, 0}, Injected{kMove, 65536, 65536}));
}

TEST_F(CoordinateReportTest, CalibratedPositionIsMappedAndStoredRawInCurrentPoint) {
    device.config().Mode = 1;
    ots::CalibPara x{};
    x.A10 = 0.5f;
    x.A00 = 100.0f;
    ots::CalibPara y{};
    y.A01 = 2.0f;
    UseCalibration(x, y);

    Send(kTouching, 1000, 300);

    EXPECT_THAT(Events(), ElementsAre(Injected{kMove, 600 * 16, 600 * 16}));
    EXPECT_EQ(device.td().CurrentPoint.x, 1000);
    EXPECT_EQ(device.td().CurrentPoint.y, 300);
    EXPECT_EQ(device.td().LastTouchX, 600u);
}

TEST_F(CoordinateReportTest, RawValuesPassUnclampedWhileCalibratingOrUncalibrated) {
    device.config().Mode = 1;
    ots::CalibPara halve{};
    halve.A10 = 0.5f;
    UseCalibration(halve, halve);
    device.config().IsCalibrating = 1;
    Send(kTouching, 5000, 65535);

    device.config().IsCalibrating = 0;
    device.td().DeviceConfig.IsCalibrated = 0;
    Send(kTouching, 6000, 4097);

    EXPECT_THAT(Events(),
                ElementsAre(Injected{kMove, 80000, 1048560}, Injected{kMove, 96000, 65552}));
}

TEST_F(CoordinateReportTest, CalibratingReleaseRecordsTheRawTouchPosition) {
    device.config().Mode = 1;
    device.config().IsCalibrating = 1;
    Send(kTouching, 3210, 1234);
    Send(kReleased, 0, 0);
    EXPECT_EQ(device.td().LastClickPoint.x, 3210);
    EXPECT_EQ(device.td().LastClickPoint.y, 1234);
}

TEST_F(CoordinateReportTest, EnableTouchZeroSilencesEveryReport) {
    device.config().EnableTouch = 0;
    for (const BYTE mode : kModes) {
        device.config().Mode = mode;
        EXPECT_EQ(Send(kTouching, 100, 200), 0u);
        EXPECT_EQ(Send(kReleased, 100, 200), 0u);
        EXPECT_EQ(Send(kIgnore | kTouching, 100, 200), 0u);
    }
    const std::array<BYTE, 1> tooShort{kTouching};
    EXPECT_EQ(ProcessReport(tooShort.data(), 1, &device.ctx()), 0u);
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.ctx().fButtonDown, 0u);
    EXPECT_EQ(device.td().LastTouchX, 0u);
}

TEST_F(CoordinateReportTest, ModeThreeInjectsNothingButStillMaps) {
    device.config().Mode = 3;
    UseCalibration(ots::IdentityCalibParaX(), ots::IdentityCalibParaY());
    EXPECT_EQ(Send(kTouching, 100, 200), 0u);
    EXPECT_EQ(Send(kReleased, 100, 200), 0u);
    EXPECT_THAT(Events(), IsEmpty());
    EXPECT_EQ(device.td().CurrentPoint.x, 100);
    EXPECT_EQ(device.td().CurrentPoint.y, 200);
}

TEST_F(CoordinateReportTest, ReportShorterThanItsFormatIsRefused) {
    device.config().Mode = 2;
    const std::vector<BYTE> full = Report(kTouching, 100, 200);
    for (std::size_t size = 0; size < full.size(); ++size) {
        // Exactly sized, so that a read past the byte count is caught by the address sanitizer.
        const std::vector<BYTE> cut(full.begin(), full.begin() + static_cast<long>(size));
        EXPECT_EQ(ProcessReport(cut.data(), static_cast<DWORD>(size), &device.ctx()), 87u)
            << size << " bytes";
    }
    EXPECT_THAT(Events(), IsEmpty());

    EXPECT_EQ(ProcessReport(full.data(), 6, &device.ctx()), 0u);
    std::vector<BYTE> longer = full;
    longer.resize(8, 0xEE);
    EXPECT_EQ(ProcessReport(longer.data(), 8, &device.ctx()), 0u);
    EXPECT_THAT(Events(),
                ElementsAre(Injected{kMoveDown, 1600, 3200}, Injected{kMoveDown, 1600, 3200}));
}

TEST(ProcessReportTest, RefusesAMissingOrUnsignedContext) {
    TouchDevice device = TouchDevice::Coordinate();
    const std::vector<BYTE> report = Report(kTouching, 1, 2);
    EXPECT_EQ(ProcessReport(report.data(), 6, nullptr), 87u);
    EXPECT_EQ(ProcessReport(nullptr, 6, &device.ctx()), 87u);
    device.ctx().dwSig = 0;
    EXPECT_EQ(ProcessReport(report.data(), 6, &device.ctx()), 87u);
    device.ctx().dwSig = DEVICE_SIG;
    device.ctx().pTouchData = nullptr;
    EXPECT_EQ(ProcessReport(report.data(), 6, &device.ctx()), 87u);
}

}  // namespace
}  // namespace ots::test
