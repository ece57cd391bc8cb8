#include "calibration_screen/panel_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "calibration/target_grid.h"
#include "protocol/messages.h"
#include "sim/camera_panel.h"
#include "ui/main_panel_dlg.h"
#include "ui/resource.h"

namespace calib_test {
namespace {

constexpr UINT IDD_STAND_IN_MAIN = 9130;
constexpr double kInjectedRange = 65536.0;  // mouse_event's absolute range
constexpr double kTapHoldMs = 120.0;
constexpr int kEndSettleMs = 400;  // long enough for a second end to be posted, if one were

const ce::ui::DialogTemplate kMainTemplate{
    IDD_STAND_IN_MAIN, L"Main", L"MS Shell Dlg", 8, 100, 60, WS_POPUP | WS_CAPTION, 0, {}};
const ce::ui::ResourceEntry kMainRegistered(kMainTemplate);

// The application's main window as the calibration dialog sees it.
class StandInMain : public CDialog {
  public:
    StandInMain() : CDialog(IDD_STAND_IN_MAIN) {}
    std::vector<EndMessage> ends;

  protected:
    LRESULT OnCalibrationEnd(WPARAM wParam, LPARAM lParam) {
        ends.emplace_back(wParam, lParam);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(StandInMain, CDialog)
ON_MESSAGE(WM_CALIBRATION_END, &StandInMain::OnCalibrationEnd)
END_MESSAGE_MAP()

struct Process {
    CWinApp app{L"tspanel"};
    StandInMain main;
    Process() {
        main.Create(IDD_STAND_IN_MAIN);
        app.m_pMainWnd = &main;
        ce::ui::host::CreateTaskBar();
    }
};

// Kept to the end of the program: the interface it lives in is not torn down before exit.
Process& TheProcess() {
    static Process* const process = new Process;
    return *process;
}

}  // namespace

PanelHarness::PanelSizedScreen::PanelSizedScreen() {
    static const bool configured = [] {
        const std::string file = std::filesystem::temp_directory_path() /
                                 ("ots-screen-" + std::to_string(::getpid()) + ".json");
        std::ofstream(file) << "{\"screens\": [{\"name\": \"panel\", \"x\": 0, \"y\": 0, "
                               "\"width\": "
                            << kScreenWidthPx << ", \"height\": " << kScreenHeightPx
                            << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
        ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).c_str(), 0);
        static const std::string remove = file;
        std::atexit([] { std::filesystem::remove(remove); });
        return true;
    }();
    (void)configured;
}

PanelHarness::PanelHarness() {
    TheProcess().main.ends.clear();
}

PanelHarness::~PanelHarness() {
    owned_.reset();
    main_.reset();
    TheProcess().app.m_pMainWnd = &TheProcess().main;
    ce::ui::host::ProcessEvents();
}

CCalibrateDlg* PanelHarness::StartFromMainDialog() {
    main_ = std::make_unique<CMainPanelDlg>();
    EXPECT_TRUE(main_->Create(IDD_TSPANEL_DIALOG));
    TheProcess().app.m_pMainWnd = main_.get();
    EXPECT_TRUE(driver_.Click(*main_, IDC_BUTTON_CALIBRATE));
    dialog_ = dynamic_cast<CCalibrateDlg*>(CalibrateDialog);
    return dialog_;
}

bool PanelHarness::WaitForBox(const std::wstring& text) {
    return ui_test::DialogDriver::WaitFor([&] {
        const std::vector<std::wstring> texts = driver_.BoxTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    });
}

CCalibrateDlg& PanelHarness::Start() {
    owned_ = std::make_unique<CCalibrateDlg>();
    dialog_ = owned_.get();
    EXPECT_TRUE(dialog_->Create(IDD_CALIBRATE, &TheProcess().main));
    dialog_->MoveWindow(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    dialog_->ShowWindow(SW_SHOW);
    dialog_->SetFocus();
    return *dialog_;
}

bool PanelHarness::TouchTargets(TouchBench& bench, int count) {
    const std::vector<GridPoint> grid = BuildTargetGrid(dialog_->Targets());
    RECT client{};
    dialog_->GetClientRect(&client);
    for (int i = dialog_->SamplesTaken(); i < count; ++i) {
        const GridPoint target = grid.at(static_cast<std::size_t>(i));
        bench.Tap({static_cast<double>(LogicalToClient(target.x, client.right)),
                   static_cast<double>(LogicalToClient(target.y, client.bottom))});
        if (!ui_test::DialogDriver::WaitFor([&] { return dialog_->SamplesTaken() == i + 1; })) {
            return false;
        }
    }
    return true;
}

bool PanelHarness::WaitForVerification() {
    return ui_test::DialogDriver::WaitFor([&] {
        return dialog_->CurrentPhase() == 1 && ui_test::DialogDriver::Visible(*dialog_, 1008);
    });
}

const std::vector<EndMessage>& PanelHarness::Ends() {
    const std::vector<EndMessage>& ends = TheProcess().main.ends;
    ui_test::DialogDriver::WaitFor([&] { return !ends.empty(); });
    ui_test::DialogDriver::WaitFor([] { return false; }, kEndSettleMs);
    return ends;
}

bool PanelHarness::TaskBarVisible() {
    const HWND taskBar = FindWindowW(L"HHTaskBar", nullptr);
    return taskBar != nullptr && IsWindowVisible(taskBar);
}

TouchBench::TouchBench(Generation generation, std::uint16_t coordinateVendor,
                       std::uint16_t coordinateProduct) {
    if (generation == Generation::Camera) {
        ots::sim::CameraDeviceOptions options;
        options.pacing = ots::sim::Pacing::AsFastAsTaken;
        camera_ = std::make_shared<ots::sim::CameraDevice>(ots::sim::MountedCameraPanel(), nullptr,
                                                           options);
        plugged_.emplace(camera_);
        EXPECT_TRUE(camera_->IsConnected());
    } else {
        ots::sim::CoordinateControllerOptions options;
        // Shifted and turned, no bow and no noise: an affine fit is exact but for the
        // controller's 12-bit resolution.
        options.mounting = {
            .offsetX = 45.0, .offsetY = -35.0, .scaleX = 0.97, .scaleY = 1.02, .rotationDeg = 0.7};
        options.idVendor = coordinateVendor;
        options.idProduct = coordinateProduct;
        options.pacing = ots::sim::Pacing::AsFastAsTaken;
        coordinate_ = std::make_shared<ots::sim::CoordinateController>(options);
        plugged_.emplace(coordinate_);
        EXPECT_TRUE(coordinate_->IsConnected());
    }
}

void TouchBench::Tap(Pixel at) {
    if (camera_) {
        camera_->Tap(at.x, at.y, kTapHoldMs);
        EXPECT_TRUE(camera_->Settle(ots::test::kSettleMs));
    } else if (coordinate_) {
        coordinate_->Tap(at.x, at.y, kTapHoldMs);
        EXPECT_TRUE(coordinate_->Settle(ots::test::kSettleMs));
    }
}

std::optional<Pixel> TouchBench::Pointer() const {
    const std::vector<ce::host::MouseEvent> events = recorder_.Events();
    if (events.empty()) {
        return std::nullopt;
    }
    return Pixel{events.back().dx * kScreenWidthPx / kInjectedRange,
                 events.back().dy * kScreenHeightPx / kInjectedRange};
}

double TouchBench::WorstTapErrorMm() {
    double worst = 0.0;
    for (const double fx : {0.08, 0.3, 0.55, 0.9}) {
        for (const double fy : {0.1, 0.45, 0.7, 0.92}) {
            const Pixel finger{fx * kScreenWidthPx, fy * kScreenHeightPx};
            Tap(finger);
            const std::optional<Pixel> pointer = Pointer();
            if (!pointer) {
                return INFINITY;
            }
            worst = std::max(worst, std::hypot(pointer->x - finger.x, pointer->y - finger.y));
        }
    }
    return worst * kMmPerPx;
}

}  // namespace calib_test
