// The controller's vendor command exchange (the two control transfers byte for byte, which reply
// it takes, retries, what a silent controller costs, exchanges that overlap) and the
// initialisation of a camera controller built on it: the command sequence, what each block
// becomes, the calibration decision, and that a failed exchange changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <mutex>
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
#include "touch/vendor_exchange.h"

namespace ots::test {
namespace {

using ::testing::_;
using ::testing::ElementsAreArray;
using ::testing::FieldsAre;

constexpr DWORD kFailed = 0xC0000001u;
using Response = std::array<BYTE, 64>;

// Written out from the framing: the first command of an initialisation, and a block read.
const Bytes kOpenCamera0 = {0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74};
const Bytes kReadConfig = {0xAA, 0x02, 0x30, 0x01, 0x01, 0x33};

class ControllerTest : public ::testing::Test {
  protected:
    ControllerTest() { device.Plug(usb); }
    void TearDown() override { usb.ExpectAllConsumed(); }

    DWORD Send(const Bytes& command) {
        response.fill(0x5A);
        return SendVendorCommand(&device.ctx(), command.data(), static_cast<DWORD>(command.size()),
                                 response.data());
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    ScriptedUsb usb;
    Response response{};
};

using VendorExchangeTest = ControllerTest;

TEST_F(VendorExchangeTest, OnlyAWholeReplyToItsOwnCommandIsTakenWithinFiveAttempts) {
    const Bytes good = BlockResponse(0x12, 0x30, 0x01, PatternBlock(2));
    Bytes noSync = good;
    noSync[0] = 0xAB;
    const Bytes otherIndex = BlockResponse(0x12, 0x30, 0x00, PatternBlock(7));
    const Bytes cut(good.begin(), good.begin() + 5);
    const Bytes stall{}, silent{0};  // markers: a stalled command, an unanswered one
    const struct {
        const char* name;
        std::vector<Bytes> attempts;  // what the controller does on each attempt
        bool accepted;
        double minMs = 0;
    } rows[] = {
        // Which replies are accepted is the framing's matter; here: what a refused one costs.
        {"another index, then a cut reply, are retried", {otherIndex, cut, good}, true},
        {"a stalled command skips its response", {stall, stall, stall, stall, good}, true},
        {"refused five times",
         {noSync, noSync, noSync, noSync, BlockResponse(0x21, 0x30, 1, {})},
         false},
        // Five full attempts: 20 ms before the command and 40 before the response each.
        {"a silent controller", std::vector<Bytes>(5, silent), false, 5 * (20 + 40)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const Bytes& attempt : row.attempts) {
            if (attempt == stall) {
                usb.ExpectCommandStalled(kReadConfig);
            } else if (attempt == silent) {
                usb.ExpectCommandUnanswered(kReadConfig);
            } else {
                usb.ExpectCommand(kReadConfig, attempt);
            }
        }
        const double start = ce::host::PlatformNowMs();
        EXPECT_EQ(Send(kReadConfig), row.accepted ? 0u : kFailed);
        EXPECT_GE(ce::host::PlatformNowMs() - start, row.minMs);
        if (row.accepted) {
            EXPECT_THAT(response, ElementsAreArray(row.attempts.back()));
        } else {
            EXPECT_THAT(response, testing::Each(0x5A));
        }
        usb.ExpectAllConsumed();
    }
}

TEST_F(VendorExchangeTest, CommandsTooShortForAnIndexOrTooLongForWLengthAreRefused) {
    EXPECT_EQ(Send(Bytes(kOpenCamera0.begin(), kOpenCamera0.begin() + 4)), kFailed);
    EXPECT_EQ(Send(Bytes(65536, 0xAA)), kFailed);
    EXPECT_EQ(SendVendorCommand(nullptr, kReadConfig.data(), 6, response.data()), kFailed);
    EXPECT_EQ(SendVendorCommand(&device.ctx(), kReadConfig.data(), 6, nullptr), kFailed);
    EXPECT_EQ(usb.TransfersSeen(), 0u);
    EXPECT_THAT(response, testing::Each(0x5A));

    // Five bytes carry the index: the command goes out as given.
    const Bytes indexOnly(kReadConfig.begin(), kReadConfig.begin() + 5);
    usb.ExpectCommand(indexOnly, BlockResponse(0x12, 0x30, 0x01, {}));
    EXPECT_EQ(Send(indexOnly), 0u);
}

// Answers the last command it received, as a controller does: two exchanges that overlap on
// the bus take each other's replies.
class LastCommandController {
  public:
    LastCommandController() {
        funcs_.dwCount = sizeof(USB_FUNCS);
        funcs_.lpIssueVendorTransfer = &Issue;
        funcs_.lpGetTransferStatus = &Status;
        funcs_.lpCloseTransfer = &Close;
    }
    LPCUSB_FUNCS funcs() const { return &funcs_; }
    USB_HANDLE handle() { return reinterpret_cast<USB_HANDLE>(this); }

  private:
    static USB_TRANSFER Issue(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE, LPVOID, DWORD,
                              LPCUSB_DEVICE_REQUEST request, LPVOID buffer, ULONG) {
        auto* self = reinterpret_cast<LastCommandController*>(hDevice);
        auto* bytes = static_cast<BYTE*>(buffer);
        const std::lock_guard lock(self->mutex_);
        if ((request->bmRequestType & 0x80) == 0) {
            self->last_.assign(bytes, bytes + request->wLength);
        } else if (self->last_.size() > 4) {
            const Bytes& last = self->last_;
            const Bytes reply = BlockResponse(0x12, last[2], last[4], PatternBlock(last[2]));
            std::copy(reply.begin(), reply.end(), bytes);
        }
        return reinterpret_cast<USB_TRANSFER>(new DWORD(request->wLength));
    }
    static BOOL Status(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
        *bytes = *reinterpret_cast<DWORD*>(hTransfer);
        *usbError = USB_NO_ERROR;
        return TRUE;
    }
    static BOOL Close(USB_TRANSFER hTransfer) {
        delete reinterpret_cast<DWORD*>(hTransfer);
        return TRUE;
    }

    USB_FUNCS funcs_{};
    std::mutex mutex_;
    Bytes last_;
};

TEST(VendorReplyTest, OverlappingExchangesEachGetTheirOwnReply) {
    const ce::host::ScopedTimeScale fast{0.05};
    TouchDevice device = TouchDevice::Camera();
    LastCommandController controller;
    device.Plug(controller);
    // The device configuration and the y calibration share index 1.
    const auto readBlocks = [&device](BYTE code, int* foreign) {
        for (int i = 0; i < 8; ++i) {
            Response response{};
            ExchangeVendorCommand(&device.ctx(), 2, code, 1, nullptr, 0, response.data());
            *foreign += response[2] != code ? 1 : 0;
        }
    };
    int foreignConfig = 0;
    int foreignCalib = 0;
    std::thread other(readBlocks, BYTE{0x14}, &foreignCalib);
    readBlocks(0x30, &foreignConfig);
    other.join();
    EXPECT_EQ(foreignConfig, 0);
    EXPECT_EQ(foreignCalib, 0);
}

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

// Block reads by code and index: camera parameters 10, panel blocks 30, calibration 14.
struct Read {
    BYTE code, index;
    Bytes block;  // none: the command stalls all five attempts, and the reads end there
};

class CameraInitTest : public ControllerTest {
  protected:
    // The reads between the brackets that open (1) and close (0) each camera's block access.
    void ExpectReads(const std::vector<Read>& reads) {
        for (const BYTE camera : {BYTE{0}, BYTE{1}}) {
            usb.ExpectCommand(Framed(1, 0x71, camera, {1}), BlockResponse(0x11, 0x71, camera, {}));
        }
        for (const Read& r : reads) {
            for (int attempt = 0; attempt < (r.block.empty() ? 5 : 0); ++attempt) {
                usb.ExpectCommandStalled(Framed(2, r.code, r.index));
            }
            if (r.block.empty()) {
                return;
            }
            usb.ExpectCommand(Framed(2, r.code, r.index),
                              BlockResponse(0x12, r.code, r.index, r.block));
        }
        for (const BYTE camera : {BYTE{0}, BYTE{1}}) {
            usb.ExpectCommand(Framed(1, 0x71, camera, {0}), BlockResponse(0x11, 0x71, camera, {}));
        }
    }
    void ExpectAttach() {
        const std::vector<Read> reads = {{0x10, 0, camera0}, {0x10, 1, camera1},
                                         {0x30, 0, panel},   {0x30, 1, deviceConfig},
                                         {0x14, 0, calibX},  {0x14, 1, calibY}};
        ExpectReads(reads);
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

TEST_F(CameraInitTest, FailedExchangesApplyNothingAndReinitReadsOnlyConfigurationAndCalibration) {
    // A failed initialisation, silent from the first command on or failing a read, applies
    // nothing; so does a failed re-initialisation, even at its last read.
    for (int attempt = 0; attempt < 5; ++attempt) {
        usb.ExpectCommandUnanswered(kOpenCamera0);
    }
    const Bytes initial = Snapshot(device.td());
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    usb.ExpectAllConsumed();
    ExpectReads({{0x10, 0, camera0}, {0x10, 1, camera1}, {0x30, 0, panel}, {0x30, 1, {}}});
    EXPECT_EQ(InitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == initial);

    ExpectAttach();
    ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
    const Bytes panelAfterAttach = Bytes58(device.td().PanelParams);
    device.ctx().ScreenConfig.MaxSpeed = 999;  // no longer read after attach
    device.config().DoubleClickTime = 160;
    DirtyFilters();

    const Bytes before = Snapshot(device.td());
    ExpectReads({{0x30, 1, DeviceConfigBlock(0)}, {0x14, 0, calibX}, {0x14, 1, {}}});
    EXPECT_EQ(ReinitCameraController(&device.ctx()), kFailed);
    EXPECT_TRUE(Snapshot(device.td()) == before);

    ExpectReads({{0x30, 1, deviceConfig}, {0x14, 0, CalibBlock(-3.0f, 10.0f)}, {0x14, 1, calibY}});
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
