// The simulated coordinate controller, seen from the bus: its descriptors, the reports a
// person's touches produce, the faults it can be told to show, how it paces its reports; and
// the panel model that turns screen pixels into its raw values.
#include <gtest/gtest.h>

#include <string>

#include "ce/host/clock.h"
#include "protocol/bytes.h"
#include "sim/coordinate_controller.h"
#include "support/camera_bus.h"

namespace ots::sim {
namespace {

using ots::test::Bytes;

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

// What the bus sees of the controller: its descriptors, the reports of a tap and a drag (200 of
// 800 and 150 of 600 pixels is raw 1024, 1024; a lift keeps the place), then the faults it was
// told to show, each spoiling exactly the next reports, garbage drawn from the mounting's seed.
// Regenerate: OTS_REGOLDEN=1 build/default/bin/test_sim_coordinate
TEST_F(CoordinateControllerTest, DescriptorsTouchesAndFaultsGiveTheTranscript) {
    options_.mounting.seed = 99;
    const auto panel = Connect();
    std::string text;
    for (const WORD descriptor : {WORD{0x0100}, WORD{0x0200}}) {
        Bytes data(64);
        data.resize(panel->Control({0x80, 6, descriptor, 0, 64}, data).bytesTransferred);
        text += "descriptor " + ots::test::HexDump(data) + "\n";
    }
    panel->Tap(200, 150, 30);
    panel->TouchDown(100, 300);
    panel->MoveTo(700, 300, 100);
    panel->TouchUp();
    panel->InjectFault(ReportFault::Short, 2);
    panel->Tap(400, 300, 30);
    panel->InjectFault(ReportFault::IgnoreFlag, 1);
    panel->TouchDown(400, 300);
    panel->InjectFault(ReportFault::OutOfRange, 1);
    panel->MoveTo(410, 300);
    panel->InjectFault(ReportFault::Garbage, 1);
    panel->MoveTo(420, 300);
    panel->SendRawReport(Bytes{0xAB, 0x02, 0x10, 0x00});
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle(ots::test::kSettleMs));
    ots::test::ExpectGolden(text + port_.Transcript(), OTS_GOLDEN_DIR "transcript.txt");
    panel->StallReportEndpoint();
    EXPECT_EQ(port_.stalled, 0x81);
}

TEST_F(CoordinateControllerTest, AsFastAsTakenWaitsForTheHostAfterEachReport) {
    options_.pacing = Pacing::AsFastAsTaken;
    const auto panel = Connect();
    panel->Drag(0, 0, 100, 0, 100);
    ASSERT_TRUE(panel->Settle(ots::test::kSettleMs));
    EXPECT_EQ(port_.size(), 12u);
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
    EXPECT_EQ(port_.size(), sent);
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
