// Initialisation of a camera controller: the command sequence, what each block becomes, the
// calibration decision, and that a failed exchange changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
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

Bytes Answer(const Bytes& command, const Bytes& block = {}) {
    return BlockResponse(block.empty() ? 0x11 : 0x12, command[2], command[4], block);
}

Bytes PanelBlock(INT32 width, INT32 height) {
    Bytes block = PatternBlock(0x40);
    StoreI32(block, kPanelWidthOffset, width);
    StoreI32(block, kPanelHeightOffset, height);
    return block;
}

Bytes DeviceConfigBlock(BYTE isCalibrated) {
    DeviceConfig dc{};
    dc.DeviceID = 3;
    dc.MinX = 100;
    dc.MinY = 200;
    dc.MaxX = 900;
    dc.MaxY = 700;
    dc.IsCalibrated = isCalibrated;
    dc.OffX = 0x01020304;
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

    void ExpectReads(const std::vector<std::pair<Bytes, Bytes>>& reads, bool close = true) {
        usb.ExpectCommand(kOpen0, Answer(kOpen0));
        usb.ExpectCommand(kOpen1, Answer(kOpen1));
        for (const auto& [command, block] : reads) {
            usb.ExpectCommand(command, Answer(command, block));
        }
        if (close) {
            usb.ExpectCommand(kClose0, Answer(kClose0));
            usb.ExpectCommand(kClose1, Answer(kClose1));
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
            for (const TouchPoint& e : h->E) {
                EXPECT_EQ(e.valid, 0);
            }
        }
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    Bytes camera0 = PatternBlock(0x00);
    Bytes camera1 = PatternBlock(0x80);
    Bytes panel = PanelBlock(1000, 800);
    Bytes deviceConfig = DeviceConfigBlock(1);
    Bytes calibX = CalibBlock(7.0f, 1.0f);
    Bytes calibY = CalibBlock(8.0f, 2.0f);
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
}

TEST_F(CameraInitTest, OtherCalibratedValuesClearTheDeviceConfig) {
    for (BYTE isCalibrated : {BYTE{0}, BYTE{2}, BYTE{0xFF}}) {
        SCOPED_TRACE(int{isCalibrated});
        deviceConfig = DeviceConfigBlock(isCalibrated);
        panel = PanelBlock(0x12345, 0x10300);
        ExpectAttach();
        ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
        const DeviceConfig& dc = device.td().DeviceConfig;
        // Only the upper bounds are set, to the low 16 bits of the panel size.
        EXPECT_THAT(dc, FieldsAre(0, 0, 0, 0, 0x2345, 0x0300, 0, 0u, 0u, 0, 0, 0, 0, _));
        EXPECT_EQ(std::count(dc.reserved.begin(), dc.reserved.end(), 0), dc.reserved.size());
        EXPECT_NE(device.td().Optical.CalibX.A03, 7.0f);
    }
}

TEST_F(CameraInitTest, FailedExchangeStopsAndAppliesNothing) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandUnanswered(kOpen0);  // silent from the first command on
    }
    const Bytes before = Snapshot(device.td());
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    usb.ExpectAllConsumed();

    ExpectReads({{kCamera0, camera0}, {kCamera1, camera1}, {kPanel, panel}}, false);
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandStalled(kDeviceConfig);
    }
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == before);
}

TEST_F(CameraInitTest, ReinitReadsOnlyConfigurationAndCalibration) {
    ExpectAttach();
    ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
    usb.ExpectAllConsumed();
    const Bytes panelAfterAttach = Bytes58(device.td().PanelParams);
    device.ctx().ScreenConfig.MaxSpeed = 999;  // no longer read after attach
    device.config().DoubleClickTime = 160;
    DirtyFilters();

    // A failed re-initialisation keeps the last configuration.
    const Bytes before = Snapshot(device.td());
    ExpectReads({{kDeviceConfig, DeviceConfigBlock(0)}}, false);
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandStalled(kCalibX);
    }
    EXPECT_EQ(ReinitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == before);

    calibX = CalibBlock(-3.0f, 10.0f);
    ExpectReads({{kDeviceConfig, deviceConfig}, {kCalibX, calibX}, {kCalibY, calibY}});
    EXPECT_EQ(ReinitCameraController(&device.ctx()), 0u);
    const TOUCH_DATA& td = device.td();
    EXPECT_THAT(Bytes58(td.CameraParams0), ElementsAreArray(camera0));
    EXPECT_THAT(Bytes58(td.PanelParams), ElementsAreArray(panelAfterAttach));
    EXPECT_EQ(td.Optical.CalibX.A03, -3.0f);
    EXPECT_EQ(td.Optical.CalibX.A00, 10.0f);
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
    EXPECT_EQ(probes.size(), 20u);
    EXPECT_EQ(lockedOut, 0);
}

}  // namespace
}  // namespace ots::test
