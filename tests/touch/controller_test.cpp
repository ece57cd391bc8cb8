// The controller's vendor command exchange against the simulated camera controller (which reply
// it takes, retries, what a silent controller costs, exchanges that overlap) and the
// initialisation of a camera controller built on it: the commands sent, what each block
// becomes, the calibration decision, and that a failed exchange changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <future>
#include <span>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "sim/camera_device.h"
#include "sim/camera_optics.h"
#include "sim/camera_run_length.h"
#include "support/fake_usb.h"
#include "support/golden.h"
#include "support/records.h"
#include "support/touch_device.h"
#include "touch/process_report.h"
#include "touch/sensor_init.h"
#include "touch/tap_filter.h"
#include "touch/vendor_exchange.h"

namespace ots::test {
namespace {

using ots::sim::CameraDevice;
using ::testing::_;
using ::testing::ElementsAreArray;
using ::testing::FieldsAre;

constexpr DWORD kFailed = 0xC0000001u;
using Response = std::array<BYTE, 64>;
using CommandFilter = std::function<bool(std::span<const BYTE> command)>;

const Bytes kReadConfig = Framed(2, 0x30, 1);

// Stalls every command of this code and index.
CommandFilter Stall(BYTE code, BYTE index) {
    return [=](std::span<const BYTE> c) { return c[2] == code && c[4] == index; };
}

template <class Record>
Bytes BytesOf(const Record& record) {
    return Bytes(reinterpret_cast<const BYTE*>(&record),
                 reinterpret_cast<const BYTE*>(&record + 1));
}

class ControllerTest : public ::testing::Test {
  protected:
    // The simulated controller answers the vendor transfers at once, as the stack completes a
    // transfer issued without a completion routine.
    ControllerTest() {
        device.ctx().lpUsbFuncs = usb.Funcs();
        device.ctx().hUsbDevice = FakeUsb::Device();
        usb.vendor = [this](const USB_DEVICE_REQUEST& setup, std::span<const BYTE> command) {
            // Reports can run while the controller is read: at every transfer another thread
            // must get the touch lock at once (the bound is for a deadlock only). Off where a
            // case counts platform time, which the probes' own time would inflate.
            if (probeTouchLock) {
                probes.push_back(std::async(std::launch::async, [this] {
                    EnterCriticalSection(&device.ctx().csTouch);
                    LeaveCriticalSection(&device.ctx().csTouch);
                }));
                lockedOut +=
                    probes.back().wait_for(std::chrono::seconds(10)) != std::future_status::ready;
            }
            const bool in = (setup.bmRequestType & 0x80) != 0;
            if (!in && stalls && stalls(command)) {  // stalled before the controller sees it
                return VendorAnswer{USB_STALL_ERROR, {}};
            }
            Bytes data(command.begin(), command.end());
            data.resize(setup.wLength);
            const ce::host::ControlResult result = camera->Control(setup, data);
            data.resize(result.bytesTransferred - (in && cutReplies-- > 0 ? 1 : 0));
            return VendorAnswer{result.usbError, data};
        };
        Store(1, {7, 1});
    }
    DWORD Send(const Bytes& command) {
        response.fill(0x5A);
        return SendVendorCommand(&device.ctx(), command.data(), static_cast<DWORD>(command.size()),
                                 response.data());
    }
    // What the controller keeps in its memory: a device configuration calibrated as given,
    // and calibrations with the given gain (A10 for x, A01 for y) and A00.
    void Store(BYTE isCalibrated, std::pair<float, float> x, std::pair<float, float> y = {8, 2}) {
        DeviceConfig dc{3, 0, 100, 200, 900, 700, isCalibrated, 0x01020304u, 0, 0, 0, 0, 0, {}};
        dc.reserved[30] = 0x99;
        ots::sim::Block block{};
        EncodeDeviceConfig(dc, block);
        camera->Nvm()->StoreDeviceConfig(block);
        for (const int axis : {0, 1}) {
            CalibPara c{};
            std::tie(axis == 0 ? c.A10 : c.A01, c.A00) = axis == 0 ? x : y;
            EncodeCalibPara(c, block);
            camera->Nvm()->StoreCalibration(axis, block);
        }
    }
    // The commands the controller received since the last call, one a line; then forgets them.
    std::string Received() {
        std::string text;
        for (const ots::sim::CommandRecord& record : camera->Firmware().CommandLog()) {
            text += record.Text() + "\n";
        }
        camera->Firmware().ClearCommandLog();
        return text;
    }

    ce::host::DebugCapture debug;  // the transport's lines about failed transfers
    const ots::sim::CameraPanel panel = ots::sim::RealisticCameraPanel();  // 800 x 600
    ce::host::ScopedTimeScale fast{0.01};
    TouchDevice device = TouchDevice::Camera();
    std::shared_ptr<CameraDevice> camera = std::make_shared<CameraDevice>(panel);
    FakeUsb usb;
    // Faults of the bus: the commands the filter picks stall; so many of the next replies arrive
    // a byte short.
    CommandFilter stalls;
    int cutReplies = 0;
    Response response{};
    bool probeTouchLock = false;
    std::vector<std::future<void>> probes;  // of the touch lock, one per transfer
    int lockedOut = 0;
};

using VendorExchangeTest = ControllerTest;

TEST_F(VendorExchangeTest, OnlyAWholeReplyToItsOwnCommandIsTakenWithinFiveAttempts) {
    ots::sim::CameraFirmware& firmware = camera->Firmware();
    const struct {
        const char* name;
        std::function<void()> fault;
        std::size_t received;  // commands that reached the controller
        bool accepted;
        double minMs = 0;
    } rows[] = {
        // Which replies are accepted is the framing's matter; here: what a refused one costs.
        {"a reply to another index is retried", [&] { firmware.EchoWrongIndex(1); }, 2, true},
        {"a cut reply is retried", [&] { cutReplies = 1; }, 2, true},
        {"a stalled command skips its response",
         [&] { stalls = [n = 0](auto) mutable { return ++n <= 4; }; }, 1, true},
        {"refused five times", [&] { firmware.AnswerWithClass(0x21, 5); }, 5, false},
        // Five full attempts: 20 ms before the command and 40 before the response each.
        {"a silent controller", [&] { firmware.DropAnswers(5); }, 5, false, 5 * (20 + 40)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.fault();
        const double start = ce::host::PlatformNowMs();
        EXPECT_EQ(Send(kReadConfig), row.accepted ? 0u : kFailed);
        EXPECT_GE(ce::host::PlatformNowMs() - start, row.minMs);
        const std::vector<ots::sim::CommandRecord> log = firmware.CommandLog();
        ASSERT_EQ(log.size(), row.received);
        if (row.accepted) {
            EXPECT_THAT(response, ElementsAreArray(log.back().answer));
        } else {
            EXPECT_THAT(response, testing::Each(0x5A));
        }
        firmware.ClearCommandLog();
        stalls = nullptr;
    }
}

TEST_F(VendorExchangeTest, CommandsTooShortForAnIndexOrTooLongForWLengthAreRefused) {
    EXPECT_EQ(Send(Bytes(kReadConfig.begin(), kReadConfig.begin() + 4)), kFailed);
    EXPECT_EQ(Send(Bytes(65536, 0xAA)), kFailed);
    EXPECT_EQ(SendVendorCommand(nullptr, kReadConfig.data(), 6, response.data()), kFailed);
    EXPECT_EQ(SendVendorCommand(&device.ctx(), kReadConfig.data(), 6, nullptr), kFailed);
    EXPECT_EQ(Received(), "");
    EXPECT_THAT(response, testing::Each(0x5A));

    // Five bytes carry the index: the command goes out as given, and is refused as unframed.
    Send(Bytes(kReadConfig.begin(), kReadConfig.begin() + 5));
    EXPECT_EQ(Received().substr(0, 18), "AA 02 30 01 01 -> ");
}

TEST_F(VendorExchangeTest, OverlappingExchangesEachGetTheirOwnReply) {
    // The device configuration and the y calibration share index 1.
    const auto readBlocks = [this](BYTE code) {
        for (int i = 0; i < 8; ++i) {
            Response reply{};
            ExchangeVendorCommand(&device.ctx(), 2, code, 1, nullptr, 0, reply.data());
            EXPECT_EQ(reply[2], code);
        }
    };
    std::thread other(readBlocks, BYTE{0x14});
    readBlocks(0x30);
    other.join();
}

using CameraInitTest = ControllerTest;

// Filters left over from earlier touches must be cleared, and sized anew.
void DirtyFilters(TOUCH_DATA& td) {
    td.Tap.state = TAP_HOLDING;
    td.Tap.count = 7;
    for (PointHistory* h : {&td.SecondHistory, &td.HistoryA, &td.HistoryB}) {
        std::fill(std::begin(h->E), std::end(h->E), Touch(1, 1));
    }
}

void ExpectFreshFilters(const TOUCH_DATA& td, INT32 maxCount) {
    EXPECT_THAT(std::tuple(td.Tap.maxCount, td.Tap.thresholdSq, td.Tap.state, td.Tap.count),
                FieldsAre(maxCount, 163 * 163, TAP_IDLE, 0));  // area 4 over 800 wide
    for (const PointHistory* h : {&td.SecondHistory, &td.HistoryA, &td.HistoryB}) {
        EXPECT_EQ(PointsText(h->E, 4), "- - - -");
    }
}

// Attach and re-initialisation on one controller, failures first: the commands each step sent,
// as one wire transcript recorded from a good build (to record anew: OTS_REGOLDEN=1
// build/default/bin/test_touch --gtest_filter='CameraInitTest.*'), and what each step applied.
TEST_F(CameraInitTest, EachStepReadsItsBlocksBetweenTheBracketsAndAFailedOneAppliesNothing) {
    std::string transcript;
    const auto step = [&](const char* name, DWORD result) {
        transcript += name + (": " + std::to_string(result) + "\n") + Received();
    };
    probeTouchLock = true;
    device.ctx().ScreenConfig.MaxSpeed = 12345;
    device.ctx().ScreenConfig.VelocityRefCount = 200;
    device.ctx().ScreenConfig.VelocityWeight = 35;
    DirtyFilters(device.td());
    const Bytes initial = BytesOf(device.td());
    camera->Firmware().DropAnswers(5);
    step("attach, silent controller", InitCameraController(&device.ctx()));
    stalls = Stall(0x30, 1);
    step("attach, configuration y stalls", InitCameraController(&device.ctx()));
    EXPECT_TRUE(BytesOf(device.td()) == initial);
    stalls = nullptr;
    step("attach", InitCameraController(&device.ctx()));

    const TOUCH_DATA& td = device.td();
    EXPECT_THAT(BytesOf(td.CameraParams0), ElementsAreArray(EncodeCameraParams(panel.camera0)));
    EXPECT_THAT(BytesOf(td.CameraParams1), ElementsAreArray(EncodeCameraParams(panel.camera1)));
    // The speed limits come from the screen settings.
    ots::sim::PanelParams limited = panel.panel;
    limited.MaxSpeed = 12345;
    limited.VelocityRefCount = 200;
    limited.VelocityWeight = static_cast<float>(35 * 0.01);
    EXPECT_THAT(BytesOf(td.PanelParams), ElementsAreArray(EncodePanelParams(limited)));
    EXPECT_THAT(td.DeviceConfig,
                FieldsAre(3, 0, 100, 200, 900, 700, 1, 0x01020304u, 0, 0, 0, 0, 0, _));
    EXPECT_EQ(td.DeviceConfig.reserved[30], 0x99);
    // Calibrated exactly 1: the stored calibration becomes active.
    EXPECT_THAT(std::tuple(td.DeviceCalibX.A10, td.DeviceCalibY.A01, td.Optical.CalibX.A10,
                           td.Optical.CalibX.A00, td.Optical.CalibY.A01, td.Optical.CalibY.A00),
                FieldsAre(7.0f, 8.0f, 7.0f, 1.0f, 8.0f, 2.0f));
    ExpectFreshFilters(td, 31);

    // Other calibrated values clear the device configuration but for the upper bounds, the
    // panel size; the calibration is not put in force.
    for (BYTE isCalibrated : {BYTE{0}, BYTE{2}}) {
        Store(isCalibrated, {5, 1});
        step("attach again", InitCameraController(&device.ctx()));
        EXPECT_THAT(td.DeviceConfig, FieldsAre(0, 0, 0, 0, 800, 600, 0, 0u, 0u, 0, 0, 0, 0, _))
            << int{isCalibrated};
        EXPECT_EQ(td.DeviceConfig.reserved[30], 0);
        EXPECT_NE(td.Optical.CalibX.A10, 5.0f);
    }

    // Re-initialisation reads the configuration and calibration only, and applies nothing when
    // its last read fails.
    const Bytes panelAfterAttach = BytesOf(td.PanelParams);
    device.ctx().ScreenConfig.MaxSpeed = 999;  // no longer read after attach
    device.config().DoubleClickTime = 160;
    DirtyFilters(device.td());
    const Bytes before = BytesOf(td);
    Store(0, {-3, 10}, {9, 2});
    stalls = Stall(0x14, 1);
    step("re-init, calibration y stalls", ReinitCameraController(&device.ctx()));
    EXPECT_TRUE(BytesOf(td) == before);
    stalls = nullptr;
    Store(1, {-3, 10}, {9, 2});
    step("re-init", ReinitCameraController(&device.ctx()));
    EXPECT_THAT(BytesOf(td.CameraParams0), ElementsAreArray(EncodeCameraParams(panel.camera0)));
    EXPECT_THAT(BytesOf(td.PanelParams), ElementsAreArray(panelAfterAttach));
    EXPECT_THAT(std::tuple(td.Optical.CalibX.A10, td.Optical.CalibX.A00, td.Optical.CalibY.A01),
                FieldsAre(-3.0f, 10.0f, 9.0f));
    ExpectFreshFilters(td, 10);
    EXPECT_EQ(lockedOut, 0);
    ExpectGolden(transcript, OTS_GOLDEN_DIR "camera_init.txt");
}

// The camera generation's report path as a whole, after a real attach: the frames the panel
// renders for a tap, a drag, a resting finger and two fingers go through ProcessReport in each
// mouse mode; what is injected and the click record must stay as recorded from a good build.
// To record anew: OTS_REGOLDEN=1 build/default/bin/test_touch --gtest_filter='CameraReport*'
TEST_F(ControllerTest, CameraReportsBecomeTheRecordedMouseInputInEveryMode) {
    Store(1, {1.02f, -300}, {0.97f, 400});  // bounds 100..900 x 200..700 of the 800 x 600 panel
    ASSERT_EQ(InitCameraController(&device.ctx()), 0u);
    using Frame = std::vector<ots::sim::Finger>;
    std::vector<Frame> frames(4, Frame{{200, 150}});
    const auto lift = [&frames] { frames.insert(frames.end(), 3, Frame{}); };
    lift();
    for (int i = 0; i <= 12; ++i) {
        frames.push_back({{300 + 25.0 * i, 300 + 10.0 * i}});
    }
    lift();
    for (int i = 0; i < 40; ++i) {
        frames.push_back({{500.0 + i % 3, 200}});
    }
    lift();
    for (int i = 0; i < 6; ++i) {
        frames.push_back({{100 + 30.0 * i, 450}, {700, 100}});
    }
    lift();
    const ots::sim::CameraOptics optics(panel);
    std::ostringstream trace;
    for (const int mode : {0, 1, 2}) {
        device.config().Mode = static_cast<BYTE>(mode);
        ce::host::MouseEventRecorder recorder;
        for (const Frame& frame : frames) {
            const ots::sim::CameraLines lines = optics.Render(frame);
            for (const BYTE index : {BYTE{0}, BYTE{1}}) {  // this panel sends camera A's line first
                const auto packet = ots::sim::EncodeLine(index == 0 ? lines.a : lines.b, index);
                ProcessReport(packet.packet.data(), 64, &device.ctx());
            }
        }
        trace << "mode " << mode << "\n";
        for (const Injected& e : InjectedEvents(recorder)) {
            trace << e << "\n";
        }
        // The second touch is interpolated alongside, never injected.
        const TOUCH_DATA& td = device.td();
        trace << "click " << td.LastClickPoint.x << "," << td.LastClickPoint.y << " second "
              << PointsText(&td.SecondPoint, 1) << "\n";
    }
    ExpectGolden(trace.str(), OTS_GOLDEN_DIR "camera_modes.txt");
}

}  // namespace
}  // namespace ots::test
