// Coordinate controllers: reports through ProcessReport after an initialisation from the
// registry copies: status decoding, the touch modes, and what calibration and settings do to the
// injected coordinates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/touch_device.h"
#include "touch/process_report.h"
#include "touch/sensor_init.h"

namespace ots::test {
namespace {

using ::testing::ElementsAreArray;

constexpr BYTE kTouching = 0x01, kReleased = 0x04, kIgnore = 0x10;

std::vector<BYTE> Report(BYTE status, UINT16 x, UINT16 y) {
    return {0x00, status, BYTE(x), BYTE(x >> 8), BYTE(y), BYTE(y >> 8)};
}

DWORD Send(TouchDevice& device, BYTE status, UINT16 x, UINT16 y) {
    const std::vector<BYTE> report = Report(status, x, y);
    return ProcessReport(report.data(), static_cast<DWORD>(report.size()), &device.ctx());
}

enum Calibration { kNone, kIdentity, kAffine, kWhileCalibrating };
constexpr BYTE kAnyMode = 0xFF;  // the row runs in modes 0, 1 and 2

struct Sent {
    BYTE status;
    UINT16 x, y;
    DWORD result = 0;
};

TEST(CoordinateReportTest, StatusModeAndCalibrationDecideTheInjectedInput) {
    constexpr BYTE kBoth = kTouching | kReleased;
    struct Row {
        const char* name;
        BYTE mode;
        Calibration calibration;
        std::vector<Sent> reports;
        std::vector<Injected> events;
        // CurrentPoint, the raw position kept when calibrated; LastClickPoint
        std::pair<INT32, INT32> point, click;
        BYTE enableTouch;
    };
    std::vector<Row> rows;
    const auto add = [&rows](const char* name, BYTE mode, Calibration calibration,
                             std::vector<Sent> reports, std::vector<Injected> events,
                             std::pair<INT32, INT32> point = {}, std::pair<INT32, INT32> click = {},
                             BYTE enableTouch = 1) {
        rows.push_back({name, mode, calibration, reports, events, point, click, enableTouch});
    };
    add("touching beats released", 2, kNone, {{kBoth, 100, 200}}, {{kMoveDown, 1600, 3200}});
    add("ignore bit", kAnyMode, kNone,
        {{kIgnore | kTouching, 1, 2, 87}, {kIgnore | kReleased, 1, 2, 87}, {0xFF, 1, 2, 87}}, {});
    add("neither touching nor released", kAnyMode, kNone,
        {{0x00, 1, 2}, {0x08, 1, 2}, {0x20, 1, 2}, {0x80, 1, 2}, {0xE8, 1, 2}}, {});
    add("full scale is 65536 when calibrated", 1, kIdentity,
        {{kTouching, 4096, 0}, {kTouching, 5000, 65535}},
        {{kMove, 65536, 0}, {kMove, 65536, 65536}}, {5000, 65535});
    // x: 0.5 x + 100, y: 2 y; the release clicks where it is reported, mapped alike.
    add("calibrated position is mapped", 1, kAffine,
        {{kTouching, 1000, 300}, {kReleased, 1000, 300}},
        {{kMove, 9600, 9600}, {kDown, 9600, 9600}, {kUp, 9600, 9600}}, {1000, 300}, {600, 600});
    // The click record keeps the raw position of the touch.
    add("calibrating: raw", 1, kWhileCalibrating, {{kTouching, 5000, 65535}, {kReleased, 0, 0}},
        {{kMove, 80000, 1048560}, {kDown, 0, 0}, {kUp, 0, 0}}, {}, {5000, 65535});
    add("uncalibrated: raw", 1, kNone, {{kTouching, 6000, 4097}}, {{kMove, 96000, 65552}});
    add("mode 3 maps only", 3, kIdentity, {{kTouching, 100, 200}, {kReleased, 100, 200}}, {},
        {100, 200});
    add("EnableTouch 0", kAnyMode, kNone,
        {{kTouching, 1, 2}, {kReleased, 1, 2}, {kIgnore | kTouching, 1, 2}}, {}, {}, {}, 0);
    for (const auto& row : rows) {
        for (BYTE mode = 0; mode < 3; ++mode) {
            if (row.mode != kAnyMode && mode != std::min<BYTE>(row.mode, 2)) {
                continue;
            }
            SCOPED_TRACE(testing::Message() << row.name << ", mode " << int{mode});
            TouchDevice device = TouchDevice::Coordinate();
            ce::host::MouseEventRecorder recorder;
            device.config().Mode = row.mode == kAnyMode ? mode : row.mode;
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
            for (const Sent& r : row.reports) {
                EXPECT_EQ(Send(device, r.status, r.x, r.y), r.result) << int{r.status};
            }
            EXPECT_THAT(InjectedEvents(recorder), ElementsAreArray(row.events));
            EXPECT_EQ(std::pair(td.CurrentPoint.x, td.CurrentPoint.y), row.point);
            if (device.config().Mode == 1) {
                EXPECT_EQ(std::pair(td.LastClickPoint.x, td.LastClickPoint.y), row.click);
            }
            EXPECT_EQ(device.ctx().fButtonDown, 0u);
        }
    }
}

TEST(CoordinateReportTest, ShortReportsAndMissingContextsAreRefused) {
    TouchDevice device = TouchDevice::Coordinate();
    ce::host::MouseEventRecorder recorder;
    device.config().Mode = 2;
    const std::vector<BYTE> full = Report(kTouching, 100, 200);
    for (std::size_t size = 0; size < full.size(); ++size) {
        // Exactly sized, so that a read past the byte count is caught by the address sanitizer.
        const std::vector<BYTE> cut(full.begin(), full.begin() + static_cast<long>(size));
        EXPECT_EQ(ProcessReport(cut.data(), static_cast<DWORD>(size), &device.ctx()), 87u)
            << size << " bytes";
    }
    EXPECT_EQ(recorder.Count(), 0u);
    std::vector<BYTE> longer = full;
    longer.resize(8, 0xEE);
    EXPECT_EQ(ProcessReport(longer.data(), 8, &device.ctx()), 0u);
    EXPECT_EQ(recorder.Count(), 1u);

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
