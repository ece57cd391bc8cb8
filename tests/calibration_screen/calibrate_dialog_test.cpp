// The calibration dialog with a finger on a simulated controller and the real driver behind
// it: the pointer ends on the finger after OK, every other way out leaves the stored
// calibration alone, and each way out restores the driver and the task bar exactly once.
// The dialog runs as the main dialog runs it, modeless over a stand-in main window that
// records every WM_CALIBRATION_END, on Qt's offscreen platform with the shell's task bar.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "calibration/calibrate_dlg.h"
#include "calibration/calibration_save.h"
#include "calibration/target_grid.h"
#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "device/device_access.h"
#include "protocol/control_codes.h"
#include "protocol/messages.h"
#include "sim/camera_device.h"
#include "sim/camera_panel.h"
#include "sim/coordinate_controller.h"
#include "support/bus.h"
#include "support/dialog_driver.h"
#include "support/scripted_devices.h"
#include "ui/resource.h"

namespace {

namespace sim = ots::sim;
using ::testing::ElementsAre;
using EndMessage = std::pair<WPARAM, LPARAM>;

constexpr int IDC_OK = 1008;
constexpr int IDC_CANCEL = 1009;
constexpr int IDC_HINT_AGAIN = 1016;
constexpr BYTE kClickOnTouch = 0;
constexpr BYTE kMouseEmulation = 2;
// The simulated panel: 800 x 600 pixels on 211 x 158 mm.
constexpr int kScreenWidthPx = 800;
constexpr int kScreenHeightPx = 600;
constexpr double kMmPerPx = 211.0 / kScreenWidthPx;
constexpr double kInjectedRange = 65536.0;  // mouse_event's absolute range
constexpr double kTapHoldMs = 120.0;
constexpr int kEndSettleMs = 400;  // long enough for a second end to be posted, if one were

// The offscreen screen is the simulated panel's 800 x 600, before the interface starts.
const bool kPanelSizedScreen = [] {
    const std::string file = std::filesystem::temp_directory_path() /
                             ("ots-screen-" + std::to_string(::getpid()) + ".json");
    std::ofstream(file) << "{\"screens\": [{\"name\": \"panel\", \"x\": 0, \"y\": 0, \"width\": "
                        << kScreenWidthPx << ", \"height\": " << kScreenHeightPx
                        << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
    ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).c_str(), 0);
    static const std::string remove = file;
    std::atexit([] { std::filesystem::remove(remove); });
    return true;
}();

struct Process {
    CWinApp app{L"tspanel"};
    std::vector<EndMessage> ends;
    // The application's main window as the calibration dialog sees it (on a template the panel
    // registers).
    ui_test::StandInMain main{IDD_ABOUTBOX, [this](UINT message, WPARAM wParam, LPARAM lParam) {
                                  if (message == WM_CALIBRATION_END) {
                                      ends.emplace_back(wParam, lParam);
                                  }
                              }};
    Process() {
        main.Create(IDD_ABOUTBOX);
        app.m_pMainWnd = &main;
        ce::ui::host::CreateTaskBar();
    }
};

// Kept to the end of the program: the interface it lives in is not torn down before exit.
Process& TheProcess() {
    static Process* const process = new Process;
    return *process;
}

// SecondStream: a coordinate controller that identifies as 0x7E21/0x0012 on "OTS1:".
enum class Generation { Coordinate, Camera, SecondStream };

// A finger on a mounted touch screen of either generation, the driver in mouse emulation with
// the 4- or 25-point calibration, and the calibration dialog once started. The dialog object
// lives until the bench goes, so that a closing attempt after the first can be seen doing
// nothing.
class Bench {
  public:
    // The screen already calibrated (skewed), but for the controller that identifies as the
    // second stream: its "OTS2:" is not there.
    Bench(Generation generation, bool twentyFivePoints, BYTE mode = kMouseEmulation) {
        if (generation == Generation::Camera) {
            camera_ = std::make_shared<sim::CameraDevice>(
                sim::MountedCameraPanel(), nullptr,
                sim::CameraDeviceOptions{.pacing = sim::Pacing::AsFastAsTaken});
            plugged_.emplace(camera_);
        } else {
            sim::CoordinateControllerOptions options{};
            if (generation == Generation::SecondStream) {
                options.idVendor = 0x7E21;
                options.idProduct = 0x0012;
            }
            // Offset x and y (raw units), scale x and y, rotation (degrees): shifted and turned,
            // no bow and no noise, so an affine fit is exact but for the 12-bit resolution.
            options.mounting = {45.0, -35.0, 0.97, 1.02, 0.7};
            options.pacing = sim::Pacing::AsFastAsTaken;
            coordinate_ = std::make_shared<sim::CoordinateController>(options);
            plugged_.emplace(coordinate_);
        }
        ots::DriverConfig config{};
        EXPECT_TRUE(GetDriverConfig(&config, 0));
        config.CalibrateType = twentyFivePoints ? 1 : 0;
        config.Mode = mode;
        EXPECT_TRUE(SetDriverConfig(&config));
        if (generation != Generation::SecondStream) {
            StoreSkewedCalibration();
        }
        TheProcess().ends.clear();
    }
    ~Bench() {
        dialog_.reset();
        ce::ui::host::ProcessEvents();
    }

    // The largest distance (mm) between finger and pointer over a set of taps spread over the
    // screen, away from the outermost 1/16 that the targets do not reach.
    double WorstTapErrorMm() {
        double worst = 0.0;
        for (const double fx : {0.08, 0.3, 0.55, 0.9}) {
            for (const double fy : {0.1, 0.45, 0.7, 0.92}) {
                Tap(fx * kScreenWidthPx, fy * kScreenHeightPx);
                const std::vector<ce::host::MouseEvent> events = recorder_.Events();
                if (events.empty()) {
                    return INFINITY;
                }
                const double dxPx = (events.back().dx / kInjectedRange - fx) * kScreenWidthPx;
                const double dyPx = (events.back().dy / kInjectedRange - fy) * kScreenHeightPx;
                worst = std::max(worst, std::hypot(dxPx, dyPx));
            }
        }
        return worst * kMmPerPx;
    }
    void Unplug() { plugged_.reset(); }
    // The same screen plugged in again; true once its driver answers.
    bool Replug() {
        camera_ ? plugged_.emplace(camera_) : plugged_.emplace(coordinate_);
        ots::DriverConfig config{};
        return ui_test::DialogDriver::WaitFor([&] { return GetDriverConfig(&config, 0) != 0; });
    }
    // Ends the dialog as its creator does when the main dialog closes.
    void Destroy() { dialog_.reset(); }
    // A finger down (at screen pixels) and held until Lift.
    void Press(double x, double y) {
        camera_ ? camera_->TouchDown(x, y) : coordinate_->TouchDown(x, y);
    }
    void Lift(double heldMs) {
        const auto lift = [&](auto& device) {
            device.Hold(heldMs);
            device.TouchUp();
            EXPECT_TRUE(device.Settle(ots::test::kSettleMs));
        };
        camera_ ? lift(*camera_) : lift(*coordinate_);
    }

    // The calibration dialog, created, shown and initialised.
    CCalibrateDlg& Start() {
        dialog_ = std::make_unique<CCalibrateDlg>();
        EXPECT_TRUE(dialog_->Create(IDD_CALIBRATE, &TheProcess().main));
        dialog_->MoveWindow(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        dialog_->ShowWindow(SW_SHOW);
        dialog_->SetFocus();
        return *dialog_;
    }
    // Touches the target shown until `count` samples were taken (a person waits for each
    // target); target `missAt` is touched `missPx` off the first time. Counts the targets asked
    // again.
    bool TouchTargets(int count, int missAt = -1, std::pair<double, double> missPx = {}) {
        const std::vector<GridPoint> grid = BuildTargetGrid(dialog_->Targets());
        RECT client{};
        dialog_->GetClientRect(&client);
        for (int taken = 0; (taken = dialog_->SamplesTaken()) < count;) {
            const GridPoint target = grid.at(static_cast<std::size_t>(taken));
            const bool miss = taken == missAt;
            missAt = miss ? -1 : missAt;
            Tap(LogicalToClient(target.x, client.right) + (miss ? missPx.first : 0),
                LogicalToClient(target.y, client.bottom) + (miss ? missPx.second : 0));
            const bool hintBefore = ui_test::DialogDriver::Visible(*dialog_, IDC_HINT_AGAIN);
            if (!ui_test::DialogDriver::WaitFor([&] {
                    return dialog_->SamplesTaken() != taken ||
                           (!hintBefore &&
                            ui_test::DialogDriver::Visible(*dialog_, IDC_HINT_AGAIN));
                })) {
                return false;
            }
            askedAgain += dialog_->SamplesTaken() <= taken ? 1 : 0;
        }
        return true;
    }
    // A tap in the verification view: the mark it left (client pixels), if one came.
    std::optional<POINT> MarkOf(double x, double y) {
        const std::size_t before = dialog_->Marks().size();
        Tap(x, y);
        if (!ui_test::DialogDriver::WaitFor([&] { return dialog_->Marks().size() > before; })) {
            return std::nullopt;
        }
        return dialog_->Marks().back();
    }
    int askedAgain = 0;
    // Runs events until at least one end arrived, and a little longer for a stray second one.
    const std::vector<EndMessage>& Ends() {
        const std::vector<EndMessage>& ends = TheProcess().ends;
        ui_test::DialogDriver::WaitFor([&] { return !ends.empty(); });
        ui_test::DialogDriver::WaitFor([] { return false; }, kEndSettleMs);
        return ends;
    }

    ui_test::DialogDriver ui;

  private:
    // A calibration in force that the screen's own mounting error does not explain: each
    // target's sample 4 mm right of and 3 mm below where the screen reports it. A run that
    // samples mapped instead of raw positions keeps part of it.
    void StoreSkewedCalibration() {
        ots::DeviceIdentity identity{};
        ASSERT_TRUE(GetDeviceID(&identity));
        const std::vector<GridPoint> grid = BuildTargetGrid(4);
        std::array<float, 4> tx{}, ty{}, rx{}, ry{};  // samples in 1/32768 of the screen
        for (std::size_t i = 0; i < 4; ++i) {
            tx[i] = static_cast<float>(grid[i].x);
            ty[i] = static_cast<float>(grid[i].y);
            rx[i] = tx[i] - 620.0f;
            ry[i] = ty[i] - 620.0f;
        }
        ots::DeviceConfig config{};
        ASSERT_TRUE(
            SaveCalibration({tx.data(), ty.data(), rx.data(), ry.data(), 4, 4}, identity, &config));
    }

    // A still finger, lifted again; returns once the driver has taken every report.
    void Tap(double x, double y) {
        const auto tap = [&](auto& device) {
            device.Tap(x, y, kTapHoldMs);
            EXPECT_TRUE(device.Settle(ots::test::kSettleMs));
        };
        camera_ ? tap(*camera_) : tap(*coordinate_);
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::shared_ptr<sim::CoordinateController> coordinate_;
    std::shared_ptr<sim::CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
    std::unique_ptr<CCalibrateDlg> dialog_;
};

// Destroyed: the main dialog closes while the calibration runs, and deletes it.
enum class Way { Ok, Cancel, EscVerifying, EscCollecting, Unplug, Destroyed };

struct Scenario {
    const char* name;
    Generation generation;
    bool twentyFivePoints;
    Way way;
    int touched;  // targets touched before the way out; -1: every one
    EndMessage end;
    // After OK: the worst finger-to-pointer distance over 16 taps, which the mounting error
    // exceeds before. The coordinate panel is mounted affinely, so either fit takes it out to
    // its 12-bit resolution. The camera panel is bowed like a lens error: the cubic takes that
    // out to the optics' quantization (about 0.6 mm at the worst point), the affine 4-point fit
    // cannot (1.5 mm at the corners).
    double boundMm = 0;
    // Click on touch, the finger that pressed "Calibrate" still down as the first target
    // shows, and held there 1.5 s: its lift is no sample.
    bool heldPress = false;
    // The first touch of target missAt lands missPx off (a slipped finger): it is asked again.
    int missAt = -1;
    std::pair<double, double> missPx{};
};

const Scenario kScenarios[] = {
    {"Coordinate4", Generation::Coordinate, false, Way::Ok, -1, {0, 0}, 0.5},
    {"Coordinate25", Generation::Coordinate, true, Way::Ok, -1, {0, 0}, 0.5},
    {"Camera25", Generation::Camera, true, Way::Ok, -1, {0, 0}, 1.0},
    {"Camera4", Generation::Camera, false, Way::Ok, -1, {0, 0}, 2.0},
    {"HeldPressCoordinate", Generation::Coordinate, false, Way::Ok, -1, {0, 0}, 0.5, true},
    {"HeldPressCamera", Generation::Camera, true, Way::Ok, -1, {0, 0}, 1.0, true},
    // The screen's centre for the top-left target; the neighbouring target; a 7 mm slip that
    // only the fit of the other 24 shows.
    {"MissedCorner", Generation::Coordinate, false, Way::Ok, -1, {0, 0}, 0.5, false, 0, {350, 262}},
    {"MissedTarget25", Generation::Camera, true, Way::Ok, -1, {0, 0}, 1.0, false, 7, {175, 0}},
    {"SlipSeenByTheFit", Generation::Camera, true, Way::Ok, -1, {0, 0}, 1.0, false, 12, {26, 0}},
    {"EscWhileCollecting", Generation::Coordinate, false, Way::EscCollecting, 1, {1, 0}},
    {"EscWhileVerifying", Generation::Coordinate, false, Way::EscVerifying, -1, {1, 0}},
    {"Cancel", Generation::Coordinate, false, Way::Cancel, -1, {1, 0}},
    // The reading thread ends on the lost device; the main dialog then gives the message.
    {"UnplugWhileCollecting", Generation::Coordinate, false, Way::Unplug, 1, {1, 1}},
    {"DestroyedWhileCollecting", Generation::Camera, true, Way::Destroyed, 2, {1, 0}},
    // A controller that identifies as 0x7E21/0x0012 on "OTS1:": the dialog samples on
    // "OTS2:", which is not there, so the verification view comes without a single sample.
    {"OkWithoutSamples", Generation::SecondStream, false, Way::Ok, 0, {1, 0}},
};

class CalibrationRun : public ots::test::IntegrationTest,
                       public ::testing::WithParamInterface<Scenario> {};

TEST_P(CalibrationRun, EndsOnceAndSetsOrKeepsTheCalibration) {
    const Scenario& run = GetParam();
    const BYTE mode = run.heldPress ? kClickOnTouch : kMouseEmulation;
    Bench bench(run.generation, run.twentyFivePoints, mode);
    const ots::test::Bytes storedBefore = ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58);
    const double errorBefore = bench.WorstTapErrorMm();

    if (run.heldPress) {
        bench.Press(40, 560);
    }
    CCalibrateDlg& dialog = bench.Start();
    ASSERT_EQ(dialog.Targets(), run.twentyFivePoints ? 25 : 4);
    if (run.heldPress) {
        bench.Lift(1500);
        ui_test::DialogDriver::WaitFor([] { return false; }, kEndSettleMs);
        ASSERT_EQ(dialog.SamplesTaken(), 0);
    }
    ASSERT_TRUE(bench.TouchTargets(run.touched < 0 ? dialog.Targets() : run.touched, run.missAt,
                                   run.missPx));
    EXPECT_EQ(bench.askedAgain, run.missAt < 0 ? 0 : 1);
    if (run.way == Way::Destroyed) {
        bench.Destroy();
        ce::ui::host::ProcessEvents();
        EXPECT_TRUE(TheProcess().ends.empty());
    } else if (run.way == Way::EscCollecting || run.way == Way::Unplug) {
        bench.ui.Key(dialog,
                     VK_RETURN);  // reaches the hidden OK, which waits for the verification view
    } else {
        ASSERT_TRUE(ui_test::DialogDriver::WaitFor([&] {
            return dialog.CurrentPhase() == 1 && ui_test::DialogDriver::Visible(dialog, IDC_OK);
        }));
        // A touch in the verification view is marked where the new calibration puts it.
        if (run.end.first == 0) {
            const std::optional<POINT> mark = bench.MarkOf(240, 420);
            ASSERT_TRUE(mark.has_value());
            EXPECT_LE(std::hypot(mark->x - 240.0, mark->y - 420.0) * kMmPerPx, run.boundMm);
        }
    }
    if (run.way == Way::Destroyed) {
    } else if (run.way == Way::Unplug) {
        bench.Unplug();
    } else if (run.way == Way::Ok || run.way == Way::Cancel) {
        ASSERT_TRUE(bench.ui.Click(dialog, run.way == Way::Ok ? IDC_OK : IDC_CANCEL));
    } else {
        ASSERT_TRUE(bench.ui.Key(dialog, VK_ESCAPE));
    }
    // After the first way out, the others are tried too: none may post, restore or toggle again.
    if (run.way != Way::Destroyed) {
        ASSERT_FALSE(bench.Ends().empty());
        bench.ui.Key(dialog, VK_ESCAPE);
        bench.ui.Click(dialog, IDC_CANCEL);
        bench.ui.Click(dialog, IDC_OK);
        EXPECT_THAT(bench.Ends(), ElementsAre(run.end));
    }
    // An OK that saved nothing says so.
    const bool unsaved = run.way == Way::Ok && run.end.first != 0;
    ASSERT_EQ(bench.ui.Boxes().size(), unsaved ? 1u : 0u);
    EXPECT_TRUE(!unsaved || bench.ui.Boxes()[0].text ==
                                L"Not every target was touched; the calibration was not saved.");
    const HWND taskBar = FindWindowW(L"HHTaskBar", nullptr);
    EXPECT_TRUE(taskBar != nullptr && IsWindowVisible(taskBar));
    // The driver back in its own mode and out of calibration mode (once plugged again, after
    // an unplug), the stored calibration in force.
    if (run.way == Way::Unplug) {
        ASSERT_TRUE(bench.Replug());
    }
    ots::DriverConfig config{};
    ASSERT_TRUE(GetDriverConfig(&config, 0));
    EXPECT_EQ(config.Mode, mode);
    EXPECT_EQ(config.IsCalibrating, 0);
    if (run.end.first == 0) {
        EXPECT_GT(errorBefore, run.boundMm);  // the mounting error shows
        EXPECT_LE(bench.WorstTapErrorMm(), run.boundMm);
    } else {
        EXPECT_EQ(ots::test::GetRecord(IOCTL_GET_DEVICE_CONFIG, 58), storedBefore);
        EXPECT_DOUBLE_EQ(bench.WorstTapErrorMm(), errorBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, CalibrationRun, ::testing::ValuesIn(kScenarios),
                         [](const auto& run) { return run.param.name; });

// A driver that stops answering while the receive thread is inside its control call (a frozen
// host): the dialog still goes within its wait without calling the driver again, and the
// thread, answered later, touches nothing of it (AddressSanitizer watches).
class FrozenHost : public paneltest::ScriptedDevicesTest {};

TEST_F(FrozenHost, TheDialogGoesAndItsThreadOutlivesItHarmlessly) {
    driver().SetReply(IOCTL_GET_DEVICE_ID, {0x17, 0x5A, 0x01, 0x01, 0x00, 0x01});
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG,
                      ots::test::Encoded<ots::kDriverConfigSize>(ots::DefaultDriverConfig(),
                                                                 ots::EncodeDriverConfig));
    Activate();
    driver().HoldCode(IOCTL_GET_MOUSE_UP_DATA);
    ui_test::DialogDriver ui;
    auto dialog = std::make_unique<CCalibrateDlg>();
    ASSERT_TRUE(dialog->Create(IDD_CALIBRATE, &TheProcess().main));
    const auto calls = [&](DWORD code) {
        return std::ranges::count(driver().TakeEvents(), code, &script::Event::code);
    };
    ASSERT_TRUE(ui_test::DialogDriver::WaitFor([&] { return calls(IOCTL_GET_MOUSE_UP_DATA) > 0; }));
    dialog.reset();
    EXPECT_EQ(calls(IOCTL_SET_DRIVER_CONFIG), 0);
    driver().ReleaseHeld();
    ui_test::DialogDriver::WaitFor([] { return false; }, kEndSettleMs);
}

}  // namespace
