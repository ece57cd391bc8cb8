// Initialisation of a camera controller: the command sequence, what each block becomes, the
// calibration decision, and that a failed exchange changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "protocol/bytes.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "support/scripted_usb.h"
#include "support/touch_device.h"
#include "touch/panel_params.h"
#include "touch/sensor_init.h"
#include "touch/tap_filter.h"

namespace ots::test {
namespace {

using ::testing::_;
using ::testing::ElementsAreArray;
using ::testing::FieldsAre;

constexpr DWORD kFailed = 0xC0000001u;

// The commands of an initialisation, written out from the framing.
const Bytes kOpen0 = {0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
const Bytes kOpen1 = {0xAA, 0x01, 0x71, 0x02, 0x01, 0x01, 0x75};
const Bytes kCamera0 = {0xAA, 0x02, 0x10, 0x01, 0x00, 0x12};
const Bytes kCamera1 = {0xAA, 0x02, 0x10, 0x01, 0x01, 0x13};
const Bytes kPanel = {0xAA, 0x02, 0x30, 0x01, 0x00, 0x32};
const Bytes kDeviceConfig = {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};
const Bytes kCalibX = {0xAA, 0x02, 0x14, 0x01, 0x00, 0x16};
const Bytes kCalibY = {0xAA, 0x02, 0x14, 0x01, 0x01, 0x17};
const Bytes kClose0 = {0xAA, 0x01, 0x71, 0x02, 0x00, 0x00, 0x73};
const Bytes kClose1 = {0xAA, 0x01, 0x71, 0x02, 0x01, 0x00, 0x74};

Bytes PanelBlock(INT32 width, INT32 height) {
    Bytes block = PatternBlock(0x40);
    StoreI32(block, kPanelWidthOffset, width);
    StoreI32(block, kPanelHeightOffset, height);
    return block;
}

Bytes DeviceConfigBlock(BYTE isCalibrated) {
    DeviceConfig dc{3, 0, 100, 200, 900, 700, isCalibrated, 0x01020304u, 0, 0, 0, 0, 0, {}};
    dc.reserved[30] = 0x99;
    Bytes block(58);
    EncodeDeviceConfig(dc, std::span<std::uint8_t, 58>(block.data(), 58));
    return block;
}

Bytes CalibBlock(float a03, float a00) {
    CalibPara c{};
    c.A03 = a03;
    c.A00 = a00;
    Bytes block(58);
    EncodeCalibPara(c, std::span<std::uint8_t, 58>(block.data(), 58));
    return block;
}

Bytes Bytes58(const BYTE* block) {
    return Bytes(block, block + 58);
}

Bytes Snapshot(const TOUCH_DATA& td) {
    return Bytes(reinterpret_cast<const BYTE*>(&td), reinterpret_cast<const BYTE*>(&td + 1));
}

class CameraInitTest : public ::testing::Test {
  protected:
    CameraInitTest() { device.Plug(usb); }
    void TearDown() override { usb.ExpectAllConsumed(); }

    // The brackets around block reads; a read whose block is empty stalls all five attempts,
    // and the reads end there.
    void ExpectReads(const std::vector<std::pair<Bytes, Bytes>>& reads) {
        for (const Bytes& open : {kOpen0, kOpen1}) {
            usb.ExpectCommand(open, BlockResponse(0x11, 0x71, open[4], {}));
        }
        for (const auto& [command, block] : reads) {
            for (int attempt = 0; attempt < (block.empty() ? 5 : 0); ++attempt) {
                usb.ExpectCommandStalled(command);
            }
            if (block.empty()) {
                return;
            }
            usb.ExpectCommand(command, BlockResponse(0x12, command[2], command[4], block));
        }
        for (const Bytes& close : {kClose0, kClose1}) {
            usb.ExpectCommand(close, BlockResponse(0x11, 0x71, close[4], {}));
        }
    }
    void ExpectAttach() {
        ExpectReads({{kCamera0, camera0},
                     {kCamera1, camera1},
                     {kPanel, panel},
                     {kDeviceConfig, deviceConfig},
                     {kCalibX, calibX},
                     {kCalibY, calibY}});
    }
    // Filters left over from earlier touches must be cleared, and sized anew.
    void DirtyFilters() {
        TOUCH_DATA& td = device.td();
        td.Tap.state = TAP_HOLDING;
        td.Tap.count = 7;
        for (PointHistory* h : {&td.SecondHistory, &td.HistoryA, &td.HistoryB}) {
            std::fill(std::begin(h->E), std::end(h->E), Touch(1, 1));
        }
    }
    void ExpectFreshFilters(INT32 maxCount) {
        const TOUCH_DATA& td = device.td();
        EXPECT_THAT(std::tuple(td.Tap.maxCount, td.Tap.thresholdSq, td.Tap.state, td.Tap.count),
                    FieldsAre(maxCount, 131 * 131, TAP_IDLE, 0));  // area 4 over 1000 wide
        for (const PointHistory* h : {&td.SecondHistory, &td.HistoryA, &td.HistoryB}) {
            EXPECT_EQ(PointsText(h->E, 4), "- - - -");
        }
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    Bytes camera0 = PatternBlock(0x00), camera1 = PatternBlock(0x80);
    Bytes panel = PanelBlock(1000, 800), deviceConfig = DeviceConfigBlock(1);
    Bytes calibX = CalibBlock(7.0f, 1.0f), calibY = CalibBlock(8.0f, 2.0f);
};

TEST_F(CameraInitTest, AttachReadsEveryBlockBetweenTheBracketsAndAppliesThem) {
    device.ctx().ScreenConfig.MaxSpeed = 12345;
    device.ctx().ScreenConfig.VelocityRefCount = 200;
    device.ctx().ScreenConfig.VelocityWeight = 35;
    ExpectAttach();
    DirtyFilters();
    EXPECT_EQ(InitCameraController(&device.ctx()), 0u);

    const TOUCH_DATA& td = device.td();
    EXPECT_THAT(Bytes58(td.CameraParams0), ElementsAreArray(camera0));
    EXPECT_THAT(Bytes58(td.CameraParams1), ElementsAreArray(camera1));
    Bytes expectedPanel = panel;  // the speed limits come from the screen settings
    StoreI32(expectedPanel, kPanelMaxSpeedOffset, 12345);
    StoreI32(expectedPanel, kPanelVelocityRefCountOffset, 200);
    StoreReal4(expectedPanel, kPanelVelocityWeightOffset, static_cast<float>(35 * 0.01));
    EXPECT_THAT(Bytes58(td.PanelParams), ElementsAreArray(expectedPanel));
    EXPECT_THAT(td.DeviceConfig,
                FieldsAre(3, 0, 100, 200, 900, 700, 1, 0x01020304u, 0, 0, 0, 0, 0, _));
    EXPECT_EQ(td.DeviceConfig.reserved[30], 0x99);
    // Calibrated exactly 1: the stored calibration becomes active.
    EXPECT_THAT(std::tuple(td.DeviceCalibX.A03, td.Optical.CalibX.A03, td.Optical.CalibX.A00,
                           td.Optical.CalibY.A03, td.Optical.CalibY.A00),
                FieldsAre(7.0f, 7.0f, 1.0f, 8.0f, 2.0f));
    ExpectFreshFilters(31);

    // Other calibrated values clear the device configuration but for the upper bounds, the low
    // 16 bits of the panel size; the calibration is not put in force.
    for (BYTE isCalibrated : {BYTE{0}, BYTE{2}}) {
        deviceConfig = DeviceConfigBlock(isCalibrated);
        panel = PanelBlock(0x12345, 0x10300);
        calibX = CalibBlock(5.0f, 1.0f);
        ExpectAttach();
        ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
        EXPECT_THAT(td.DeviceConfig,
                    FieldsAre(0, 0, 0, 0, 0x2345, 0x0300, 0, 0u, 0u, 0, 0, 0, 0, _))
            << int{isCalibrated};
        EXPECT_EQ(td.DeviceConfig.reserved[30], 0);
        EXPECT_NE(td.Optical.CalibX.A03, 5.0f);
    }
}

TEST_F(CameraInitTest, FailedExchangeStopsAndAppliesNothing) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandUnanswered(kOpen0);  // silent from the first command on
    }
    const Bytes before = Snapshot(device.td());
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    usb.ExpectAllConsumed();
    ExpectReads({{kCamera0, camera0}, {kCamera1, camera1}, {kPanel, panel}, {kDeviceConfig, {}}});
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == before);
}

TEST_F(CameraInitTest, ReinitReadsOnlyConfigurationAndCalibration) {
    ExpectAttach();
    ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
    const Bytes panelAfterAttach = Bytes58(device.td().PanelParams);
    device.ctx().ScreenConfig.MaxSpeed = 999;  // no longer read after attach
    device.config().DoubleClickTime = 160;
    DirtyFilters();

    // A failed re-initialisation, even at its last read, keeps the last configuration.
    const Bytes before = Snapshot(device.td());
    ExpectReads({{kDeviceConfig, DeviceConfigBlock(0)}, {kCalibX, calibX}, {kCalibY, {}}});
    EXPECT_EQ(ReinitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == before);

    ExpectReads(
        {{kDeviceConfig, deviceConfig}, {kCalibX, CalibBlock(-3.0f, 10.0f)}, {kCalibY, calibY}});
    EXPECT_EQ(ReinitCameraController(&device.ctx()), 0u);
    const TOUCH_DATA& td = device.td();
    EXPECT_THAT(Bytes58(td.CameraParams0), ElementsAreArray(camera0));
    EXPECT_THAT(Bytes58(td.PanelParams), ElementsAreArray(panelAfterAttach));
    EXPECT_THAT(std::tuple(td.Optical.CalibX.A03, td.Optical.CalibX.A00, td.Optical.CalibY.A03),
                FieldsAre(-3.0f, 10.0f, 8.0f));
    ExpectFreshFilters(10);
}

TEST_F(CameraInitTest, ReportsCanRunWhileTheControllerIsRead) {
    // Every exchange asks another thread to take the touch lock; it must get it at once.
    std::vector<std::thread> probes;
    int lockedOut = 0;
    usb.SetTransferHook([&] {
        auto entered = std::make_shared<std::promise<void>>();
        std::future<void> done = entered->get_future();
        probes.emplace_back([&ctx = device.ctx(), entered] {
            EnterCriticalSection(&ctx.csTouch);
            LeaveCriticalSection(&ctx.csTouch);
            entered->set_value();
        });
        // A bound for a deadlock only; an unheld lock is taken at once.
        lockedOut += done.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    });
    ExpectAttach();
    EXPECT_EQ(InitCameraController(&device.ctx()), 0u);
    for (std::thread& t : probes) {
        t.join();
    }
    EXPECT_EQ(std::pair(probes.size(), lockedOut), std::pair(std::size_t{20}, 0));
}

}  // namespace
}  // namespace ots::test
