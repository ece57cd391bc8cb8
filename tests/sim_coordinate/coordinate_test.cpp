// The simulated coordinate controller, seen from the bus: the reports a person's touches
// produce, the faults it can be told to show, how it paces its reports; and the panel model
// that turns screen pixels into its raw values.
#include <gtest/gtest.h>

#include <cmath>

#include "ce/host/clock.h"
#include "protocol/bytes.h"
#include "sim/coordinate_controller.h"
#include "support/camera_bus.h"

namespace ots::sim {
namespace {

using ots::test::Bytes;

struct Decoded {
    int status, x, y;
};

Decoded Decode(const Bytes& r) {
    EXPECT_EQ(r.size(), kCoordinateReportSize);
    return r.size() < 6 ? Decoded{} : Decoded{r[1], LoadU16(r, 2), LoadU16(r, 4)};
}

class CoordinateControllerTest : public ::testing::Test {
  protected:
    // Reports at 100 Hz would make a test wait for real time; the platform clock runs fast.
    ce::host::ScopedTimeScale fast_{0.01};
    CoordinateControllerOptions options_;
    ots::test::RecordingPort port_;

    std::shared_ptr<CoordinateController> Connect() {
        auto panel = std::make_shared<CoordinateController>(options_);
        panel->Connected(&port_);
        return panel;
    }
};

TEST_F(CoordinateControllerTest, TouchesAreReportedWhileDownAndOnceOnTheLift) {
    const auto panel = Connect();
    panel->Tap(200, 150, 30);
    panel->TouchDown(100, 300);
    panel->MoveTo(700, 300, 100);
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle(ots::test::kSettleMs));

    const auto reports = port_.Reports(0x81);
    ASSERT_EQ(port_.size(), reports.size());
    ASSERT_EQ(reports.size(), (1u + 3u + 1u) + (1u + 10u + 1u));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const bool lift = i == 4 || i + 1 == reports.size();
        EXPECT_EQ(Decode(reports[i]).status, lift ? kStatusReleased : kStatusTouching) << i;
    }
    // 200 of 800 and 150 of 600 pixels: a quarter of 4095, rounded; the lift keeps the place.
    EXPECT_EQ(Decode(reports[0]).x, 1024);
    EXPECT_EQ(Decode(reports[0]).y, 1024);
    EXPECT_EQ(Decode(reports[4]).x, 1024);
    for (std::size_t i = 6; i + 1 < reports.size(); ++i) {
        EXPECT_GT(Decode(reports[i]).x, Decode(reports[i - 1]).x) << i;
    }
    EXPECT_EQ(Decode(reports[15]).x, 3583);  // 700 of 800
    EXPECT_EQ(panel->SentReports(), reports);
}

TEST_F(CoordinateControllerTest, FaultsSpoilExactlyTheNextReports) {
    options_.mounting.seed = 99;
    const auto panel = Connect();
    panel->InjectFault(ReportFault::Short, 2);
    panel->Tap(400, 300, 30);
    panel->InjectFault(ReportFault::IgnoreFlag, 1);
    panel->TouchDown(400, 300);
    panel->InjectFault(ReportFault::OutOfRange, 1);
    panel->MoveTo(410, 300);
    panel->InjectFault(ReportFault::Garbage, 1);
    panel->MoveTo(420, 300);
    const Bytes raw = {0xAB, 0x02, 0x10, 0x00};
    panel->SendRawReport(raw);
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle(ots::test::kSettleMs));

    const auto reports = port_.Reports(0x81);
    ASSERT_EQ(reports.size(), 5u + 5u);
    EXPECT_EQ(reports[0], (Bytes{kCoordinateReportId, kStatusTouching, 0x00}));
    EXPECT_EQ(reports[1].size(), 3u);
    EXPECT_EQ(reports[2].size(), kCoordinateReportSize);  // the fault has run out
    EXPECT_EQ(Decode(reports[5]).status, kStatusTouching | kStatusIgnore);
    EXPECT_EQ(Decode(reports[6]).x, 0xFFFF);
    EXPECT_EQ(Decode(reports[6]).y, 0xFFFF);
    EXPECT_EQ(reports[7].size(), kCoordinateReportSize);
    EXPECT_EQ(reports[8], raw) << "in turn with the scripted ones";
    EXPECT_EQ(Decode(reports[9]).status, kStatusReleased);

    // Garbage comes from a seeded generator: the same seed gives the same bytes.
    ots::test::RecordingPort again;
    CoordinateController twin(options_);
    twin.Connected(&again);
    twin.InjectFault(ReportFault::Garbage, 1);
    twin.TouchDown(0, 0);
    ASSERT_TRUE(twin.Settle(ots::test::kSettleMs));
    twin.Disconnected();
    EXPECT_EQ(again.Reports(0x81).at(0), reports[7]);
    EXPECT_NE(reports[7], reports[6]);
}

TEST_F(CoordinateControllerTest, AsFastAsTakenWaitsForTheHostAfterEachReport) {
    options_.pacing = Pacing::AsFastAsTaken;
    const auto panel = Connect();
    panel->Drag(0, 0, 100, 0, 100);
    ASSERT_TRUE(panel->Settle(ots::test::kSettleMs));
    EXPECT_EQ(port_.Reports(0x81).size(), 12u);
    EXPECT_EQ(port_.idleWaits, 12 + 1);  // one per report, one for Settle
}

TEST_F(CoordinateControllerTest, UnplugMidStreamStopsTheReportsAtOnce) {
    const auto panel = Connect();
    panel->Drag(0, 0, 799, 599, 5000);  // 502 reports
    ASSERT_TRUE(panel->WaitReportsSent(5, ots::test::kSettleMs));
    panel->Disconnected();
    const std::size_t sent = panel->ReportsSent();
    EXPECT_LT(sent, 502u);
    EXPECT_FALSE(panel->IsConnected());
    EXPECT_FALSE(panel->Settle(10));
    EXPECT_EQ(port_.Reports(0x81).size(), sent);
}

TEST_F(CoordinateControllerTest, AnswersStandardRequestsAndStallsItsReportEndpoint) {
    const auto panel = Connect();
    Bytes data(64);
    EXPECT_EQ(panel->Control({0x80, 6, 0x0100, 0, 64}, data).bytesTransferred, 18u);
    EXPECT_EQ(LoadU16(data, 8), 0x5A17);
    EXPECT_EQ(LoadU16(data, 10), 0x0101);
    EXPECT_EQ(panel->Control({0x80, 6, 0x0200, 0, 64}, data).bytesTransferred, 32u);
    EXPECT_EQ(LoadU16(data, 2), 32) << "configuration, interface and two endpoints";
    EXPECT_EQ(data[9 + 9 + 7 + 2], 0x81) << "the report endpoint second";
    panel->StallReportEndpoint();
    EXPECT_EQ(port_.stalled, 0x81);
}

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// Measurements round to the nearest raw value and are clamped to the raw range.
TEST(PanelModel, RawValuesSpanTheRangeAndMoveAsTheMountingSays) {
    const struct {
        const char* name;
        Mounting mounting;
        double xPx, yPx;
        std::int32_t rawX, rawY;
    } rows[] = {
        {"top left", {}, 0, 0, 0, 0},
        {"bottom right", {}, kWidth, kHeight, 4095, 4095},
        {"centre", {}, kWidth / 2.0, kHeight / 2.0, 2048, 2048},  // 2047.5
        {"offset", {.offsetX = 100.0, .offsetY = -50.0}, 400, 300, 2148, 1998},
        // The right edge's midpoint turns to the bottom edge's midpoint.
        {"quarter turn", {.rotationDeg = 90.0}, kWidth, 300, 2048, 4095},
        {"clamped", {.offsetX = 500.0, .offsetY = -500.0}, kWidth, 0, 4095, 0},
    };
    for (const auto& row : rows) {
        const RawPoint raw = PanelModel(kWidth, kHeight, row.mounting).ToRaw(row.xPx, row.yPx);
        EXPECT_EQ(raw.x, row.rawX) << row.name;
        EXPECT_EQ(raw.y, row.rawY) << row.name;
    }
}

TEST(PanelModel, InverseUndoesEveryMountingError) {
    const Mounting mountings[] = {{},
                                  {.offsetX = 120.0, .offsetY = -80.0},
                                  {.scaleX = 0.92, .scaleY = 1.05},
                                  {.rotationDeg = 2.5},
                                  {.radialK = 0.04},
                                  {-60.0, 45.0, 0.95, 0.9, -1.5, -0.03}};  // all at once
    for (const Mounting& mounting : mountings) {
        const PanelModel panel(kWidth, kHeight, mounting);
        for (double xPx = 80; xPx <= kWidth - 80; xPx += 80) {
            for (double yPx = 60; yPx <= kHeight - 60; yPx += 60) {
                double rawX = 0;
                double rawY = 0;
                panel.IdealRaw(xPx, yPx, rawX, rawY);
                const ScreenPoint back = panel.ToScreen(rawX, rawY);
                EXPECT_NEAR(back.xPx, xPx, 1e-6) << &mounting - mountings;
                EXPECT_NEAR(back.yPx, yPx, 1e-6) << &mounting - mountings;
            }
        }
    }
}

}  // namespace
}  // namespace ots::sim
