// The simulated coordinate controller, seen from the bus: the reports a person's touches
// produce, the faults it can be told to show, and how it paces its reports.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/usb_host.h"
#include "protocol/bytes.h"
#include "sim/coordinate_controller.h"

namespace ots::sim {
namespace {

// A bus that takes every report at once and remembers what happened on it.
class RecordingPort final : public ce::host::UsbPort {
  public:
    bool SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) override {
        std::lock_guard lock(mutex_);
        endpoints_.push_back(endpointAddress);
        reports_.emplace_back(report.begin(), report.end());
        sentWhileDisconnected_ = sentWhileDisconnected_ || disconnected_;
        return !refuse_;
    }
    void Stall(BYTE endpointAddress) override {
        std::lock_guard lock(mutex_);
        stalls_.push_back(endpointAddress);
    }
    void SetResponding(bool responding) override {
        std::lock_guard lock(mutex_);
        responding_ = responding;
    }
    bool WaitIdle(DWORD) override {
        std::lock_guard lock(mutex_);
        ++idleWaits_;
        return true;
    }
    std::size_t QueuedTransfers(BYTE) const override { return 0; }
    std::size_t PendingReports(BYTE) const override { return 0; }
    bool IsPipeOpen(BYTE) const override { return true; }

    std::vector<std::vector<BYTE>> reports() {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    std::vector<BYTE> endpoints() {
        std::lock_guard lock(mutex_);
        return endpoints_;
    }
    std::vector<BYTE> stalls() {
        std::lock_guard lock(mutex_);
        return stalls_;
    }
    bool responding() {
        std::lock_guard lock(mutex_);
        return responding_;
    }
    int idleWaits() {
        std::lock_guard lock(mutex_);
        return idleWaits_;
    }
    void MarkDisconnected() {
        std::lock_guard lock(mutex_);
        disconnected_ = true;
    }
    bool sentWhileDisconnected() {
        std::lock_guard lock(mutex_);
        return sentWhileDisconnected_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::vector<BYTE>> reports_;
    std::vector<BYTE> endpoints_;
    std::vector<BYTE> stalls_;
    bool responding_ = true;
    bool refuse_ = false;
    int idleWaits_ = 0;
    bool disconnected_ = false;
    bool sentWhileDisconnected_ = false;
};

struct Decoded {
    std::uint8_t status;
    std::uint16_t x;
    std::uint16_t y;
};

Decoded Decode(const std::vector<BYTE>& report) {
    EXPECT_EQ(report.size(), kCoordinateReportSize);
    return {report[1], LoadU16(report, 2), LoadU16(report, 4)};
}

std::uint16_t IdealRawX(double xPx, int widthPx) {
    return static_cast<std::uint16_t>(std::lround(xPx / widthPx * 4095.0));
}

class CoordinateControllerTest : public ::testing::Test {
  protected:
    // Reports at 100 Hz would make a test wait for real time; the platform clock runs fast.
    ce::host::ScopedTimeScale fast_{0.01};
    CoordinateControllerOptions options_;
    RecordingPort port_;

    std::shared_ptr<CoordinateController> Connect() {
        auto panel = std::make_shared<CoordinateController>(options_);
        panel->Connected(&port_);
        return panel;
    }
};

TEST_F(CoordinateControllerTest, DescribesAVendorSpecificInterfaceWithOutThenInterruptIn) {
    const auto panel = std::make_shared<CoordinateController>();
    const USB_DEVICE_DESCRIPTOR device = panel->DeviceDescriptor();
    EXPECT_NE(device.idVendor, 0x7E21);
    EXPECT_EQ(device.bNumConfigurations, 1);

    const auto interfaces = panel->Interfaces();
    ASSERT_EQ(interfaces.size(), 1u);
    EXPECT_EQ(interfaces[0].descriptor.bInterfaceClass, 0xFF);
    ASSERT_EQ(interfaces[0].endpoints.size(), 2u);
    const auto& out = interfaces[0].endpoints[0];
    const auto& in = interfaces[0].endpoints[1];
    EXPECT_EQ(out.bEndpointAddress & 0x80, 0);
    EXPECT_NE(out.bmAttributes & 0x03, 0);
    EXPECT_EQ(in.bEndpointAddress, CoordinateController::kInEndpoint);
    EXPECT_EQ(in.bmAttributes & 0x03, 0x03);  // interrupt
    EXPECT_EQ(in.wMaxPacketSize, 8);
}

TEST_F(CoordinateControllerTest, TapGivesTouchingReportsThenOneRelease) {
    const auto panel = Connect();
    panel->Tap(200, 150, 30);
    ASSERT_TRUE(panel->Settle());

    const auto reports = port_.reports();
    ASSERT_EQ(reports.size(), 1u + 3u + 1u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        const Decoded touching = Decode(reports[i]);
        EXPECT_EQ(touching.status, kStatusTouching) << i;
        EXPECT_EQ(touching.x, IdealRawX(200, options_.screenWidthPx));
        EXPECT_EQ(touching.y, 1024);  // 150 of 600 pixels: a quarter of 4095, rounded
    }
    const Decoded released = Decode(reports.back());
    EXPECT_EQ(released.status, kStatusReleased);
    EXPECT_EQ(released.x, IdealRawX(200, options_.screenWidthPx));
    EXPECT_EQ(port_.endpoints().front(), CoordinateController::kInEndpoint);
    EXPECT_EQ(panel->SentReports(), reports);
}

TEST_F(CoordinateControllerTest, DragReportsAPathFromStartToEnd) {
    const auto panel = Connect();
    panel->TouchDown(100, 300);
    panel->MoveTo(700, 300, 100);
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle());

    const auto reports = port_.reports();
    ASSERT_EQ(reports.size(), 1u + 10u + 1u);
    for (std::size_t i = 1; i + 1 < reports.size(); ++i) {
        EXPECT_GT(Decode(reports[i]).x, Decode(reports[i - 1]).x) << i;
    }
    EXPECT_EQ(Decode(reports[10]).x, IdealRawX(700, options_.screenWidthPx));
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
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle());

    const auto reports = port_.reports();
    ASSERT_EQ(reports.size(), 5u + 4u);
    EXPECT_EQ(reports[0], (std::vector<BYTE>{kCoordinateReportId, kStatusTouching, 0x00}));
    EXPECT_EQ(reports[1].size(), 3u);
    EXPECT_EQ(reports[2].size(), kCoordinateReportSize);  // the fault has run out
    const Decoded ignored = Decode(reports[5]);
    EXPECT_EQ(ignored.status, kStatusTouching | kStatusIgnore);
    const Decoded outOfRange = Decode(reports[6]);
    EXPECT_EQ(outOfRange.x, 0xFFFF);
    EXPECT_EQ(outOfRange.y, 0xFFFF);
    EXPECT_EQ(reports[7].size(), kCoordinateReportSize);
    EXPECT_NE(reports[7], reports[6]);
    EXPECT_EQ(Decode(reports[8]).status, kStatusReleased);

    // Garbage comes from a seeded generator: the same seed gives the same bytes.
    RecordingPort again;
    CoordinateController twin(options_);
    twin.Connected(&again);
    twin.InjectFault(ReportFault::Garbage, 1);
    twin.TouchDown(0, 0);
    ASSERT_TRUE(twin.Settle());
    twin.Disconnected();
    EXPECT_EQ(again.reports().at(0), reports[7]);
}

TEST_F(CoordinateControllerTest, RawReportsGoOutInTurnWithTheScriptedOnes) {
    const auto panel = Connect();
    panel->TouchDown(0, 0);
    const std::vector<BYTE> raw = {0xAB, 0x02, 0x10, 0x00};
    panel->SendRawReport(raw);
    panel->TouchUp();
    ASSERT_TRUE(panel->Settle());

    const auto reports = port_.reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1], raw);
    EXPECT_EQ(Decode(reports[2]).status, kStatusReleased);
}

TEST_F(CoordinateControllerTest, AsFastAsTakenWaitsForTheHostAfterEachReport) {
    options_.pacing = Pacing::AsFastAsTaken;
    const auto panel = Connect();
    panel->Drag(0, 0, 100, 0, 100);
    ASSERT_TRUE(panel->Settle());

    EXPECT_EQ(port_.reports().size(), 12u);
    EXPECT_EQ(port_.idleWaits(), 12 + 1);  // one per report, one for Settle
}

TEST_F(CoordinateControllerTest, UnplugMidStreamStopsTheReportsAtOnce) {
    const auto panel = Connect();
    panel->Drag(0, 0, 799, 599, 5000);  // 502 reports
    ASSERT_TRUE(panel->WaitReportsSent(5));

    panel->Disconnected();
    port_.MarkDisconnected();
    const std::size_t sent = panel->ReportsSent();

    EXPECT_LT(sent, 502u);
    EXPECT_EQ(port_.reports().size(), sent);
    EXPECT_FALSE(port_.sentWhileDisconnected());
    EXPECT_FALSE(panel->IsConnected());
    EXPECT_FALSE(panel->Settle(10));
}

TEST_F(CoordinateControllerTest, FaultSwitchesReachTheBus) {
    const auto panel = Connect();
    panel->StallReportEndpoint();
    panel->SetResponding(false);
    EXPECT_EQ(port_.stalls(), std::vector<BYTE>{CoordinateController::kInEndpoint});
    EXPECT_FALSE(port_.responding());
    panel->SetResponding(true);
    EXPECT_TRUE(port_.responding());
}

TEST_F(CoordinateControllerTest, AnswersStandardRequestsAndStallsVendorOnes) {
    const auto panel = std::make_shared<CoordinateController>();
    std::vector<BYTE> data(64);
    const USB_DEVICE_REQUEST getDevice{0x80, 6, 0x0100, 0, 64};
    const auto device = panel->Control(getDevice, data);
    EXPECT_EQ(device.usbError, USB_NO_ERROR);
    ASSERT_EQ(device.bytesTransferred, 18u);
    EXPECT_EQ(LoadU16(data, 8), options_.idVendor);
    EXPECT_EQ(LoadU16(data, 10), options_.idProduct);

    const USB_DEVICE_REQUEST getConfig{0x80, 6, 0x0200, 0, 64};
    const auto config = panel->Control(getConfig, data);
    EXPECT_EQ(config.bytesTransferred, 9u + 9u + 2u * 7u);
    EXPECT_EQ(LoadU16(data, 2), 32);
    EXPECT_EQ(data[9 + 5], 0xFF);          // interface class
    EXPECT_EQ(data[9 + 9 + 7 + 2], 0x81);  // second endpoint: the report endpoint

    const USB_DEVICE_REQUEST vendor{0x40, 0, 0, 0, 7};
    EXPECT_EQ(panel->Control(vendor, std::span(data).first(7)).usbError, USB_STALL_ERROR);
    EXPECT_EQ(panel->ControlRequests().size(), 3u);
}

TEST_F(CoordinateControllerTest, ReportsWaitInTheStacksFifoUntilADriverReads) {
    auto panel = std::make_shared<CoordinateController>(options_);
    ce::host::ScopedUsbDevice plugged(panel);  // no driver registered: nobody reads
    panel->Tap(300, 300, 20);
    ASSERT_TRUE(panel->WaitReportsSent(4));

    ASSERT_TRUE(panel->IsConnected());
    EXPECT_FALSE(panel->Settle(20));
    plugged.Unplug();
    EXPECT_FALSE(panel->IsConnected());
}

}  // namespace
}  // namespace ots::sim
