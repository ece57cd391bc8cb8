#include "calibration_screen/panel_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "calibration/target_grid.h"
#include "protocol/messages.h"
#include "ui/main_panel_dlg.h"
#include "ui/resource.h"

namespace calib_test {
namespace {

constexpr UINT IDD_STAND_IN_MAIN = 9130;
constexpr int kEndSettleMs = 400;  // long enough for a second end to be posted, if one were

const ce::ui::DialogTemplate kMainTemplate{IDD_STAND_IN_MAIN,
                                           L"Stand-in main window",
                                           L"MS Shell Dlg",
                                           8,
                                           100,
                                           60,
                                           WS_POPUP | WS_CAPTION,
                                           0,
                                           {}};
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

}  // namespace calib_test
