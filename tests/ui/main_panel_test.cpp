// The main dialog: the list entry and its picture, Reset, the readiness probe before every
// action, the program's end on a lost driver, and the calibration dialog's coming and going.
#include <gtest/gtest.h>

#include <thread>

#include "panel_fixture.h"
#include "protocol/messages.h"
#include "support/records.h"
#include "ui/calibration_hook.h"
#include "ui/main_panel_dlg.h"
#include "ui/resource.h"

namespace ui_test {
namespace {

constexpr UINT kFakeCalibration = 9130;
constexpr ce::ui::DialogTemplate kFakeTemplate{
    kFakeCalibration, nullptr, L"MS Shell Dlg", 8, 100, 60, WS_POPUP, 0, {}};
const ce::ui::ResourceEntry kFakeEntry(kFakeTemplate);

// Stands where the calibration dialog plugs in; notes its own end.
class CFakeCalibrateDlg : public CDialog {
  public:
    CFakeCalibrateDlg() : CDialog(kFakeCalibration) { ++alive; }
    ~CFakeCalibrateDlg() override { --alive; }
    BOOL Create(UINT, CWnd* pParentWnd) override {
        return CDialog::Create(kFakeCalibration, pParentWnd);
    }
    static inline int alive = 0;
};

ots::DeviceConfig Calibrated(BYTE isCalibrated) {
    ots::DeviceConfig record{};
    record.IsCalibrated = isCalibrated;
    record.MaxX = 1234;  // to see the record go back whole
    record.DeviceID = 7;
    return record;
}

int PictureOf(CDialog& dlg) {
    auto* list = static_cast<CListCtrl*>(dlg.GetDlgItem(IDC_LIST_SCREENS));
    LVITEM item{LVIF_IMAGE | LVIF_STATE, 0, 0, 0, LVIS_SELECTED | LVIS_FOCUSED, nullptr, 0, -1, 0};
    EXPECT_EQ(list->GetItemCount(), 1);
    EXPECT_TRUE(list->GetItem(&item));
    EXPECT_EQ(item.state, LVIS_SELECTED | LVIS_FOCUSED);
    return item.iImage;
}

void PostFromWorker(UINT message, WPARAM wParam, LPARAM lParam) {
    std::thread([=] { PostMessage(AfxGetMainWnd()->m_hWnd, message, wParam, lParam); }).join();
}

using MainPanelTest = PanelTest;

// Reset sends the record back uncalibrated, whatever fails, and shows it so.
TEST_F(MainPanelTest, EntryPictureAndResetFollowTheCalibration) {
    const struct {
        BYTE calibrated;
        bool reset;
        DWORD failing;
        const wchar_t* box;
    } cases[] = {{0, false, 0, nullptr},
                 {2, true, 0, nullptr},
                 {1, true, IOCTL_SET_DEVICE_CONFIG, L"SetDeviceConfig Failed."},
                 {1, true, IOCTL_REINIT_OPTCORE, L"OptUSBReinitOptcore Failed."}};
    for (const auto& c : cases) {
        driver().Reset();
        Answer(kCoordinate, Calibrated(c.calibrated));
        const std::size_t boxes = ui.Boxes().size();
        RunMainDialog([&](CDialog& dlg) {
            EXPECT_EQ(PictureOf(dlg), c.calibrated ? 1 : 0);
            EXPECT_EQ(ui.Enabled(dlg, IDC_BUTTON_RESET), c.calibrated != 0);
            EXPECT_EQ(static_cast<CListCtrl*>(dlg.GetDlgItem(IDC_LIST_SCREENS))->GetItemText(0, 0),
                      L"TouchScreen No.1\n   Monitor      No.1");
            EXPECT_FALSE(ui.Visible(dlg, IDC_BUTTON_EXIT));
            if (c.reset) {
                FailCode(c.failing);
                ui.Click(dlg, IDC_BUTTON_RESET);
                EXPECT_EQ(PictureOf(dlg), 0);
                EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_RESET));
                EXPECT_TRUE(dlg.IsWindowEnabled());
                EXPECT_EQ(ce::ui::host::WaitCursorDepth(), 0);
            }
            ui.Key(dlg, VK_ESCAPE);
        });
        EXPECT_EQ(ui.Boxes().size(), boxes + (c.box ? 1 : 0));
        if (c.box) {
            EXPECT_EQ(ui.Boxes().back().text, c.box);
        }
        if (!c.reset) {
            continue;
        }
        ASSERT_EQ(Sent(IOCTL_SET_DEVICE_CONFIG).size(), 1u);
        const ots::DeviceConfig record =
            ots::DecodeDeviceConfig(ots::test::ArrayOf<58>(Sent(IOCTL_SET_DEVICE_CONFIG)[0]));
        EXPECT_EQ(record.IsCalibrated, 0);
        EXPECT_EQ(record.MaxX, 1234);
        EXPECT_EQ(record.DeviceID, 7);
        EXPECT_EQ(Calls(IOCTL_REINIT_OPTCORE), 1);
    }
}

// A failed start ends the program without a window; every action probes the driver first and
// does nothing after a failed probe.
TEST_F(MainPanelTest, FailedStartOrProbeEndsTheProgram) {
    const struct {
        DWORD failing;
        int button;  // 0: the start fails
        const wchar_t* message;
    } cases[] = {
        // (The other buttons' probes: the panel_faults suite, against a host that goes away.)
        {IOCTL_CLEAR_MOUSE_UP_DATA, IDC_BUTTON_RESET, L"Reset Failed,please check the connection."},
        // Last: the script of a dialog that never showed waits for the next one.
        {IOCTL_GET_DEVICE_ID, 0, L"TouchScreen is NOT ready."},
        {IOCTL_GET_DEVICE_CONFIG, 0, L"GetDeviceConfig Failed!"},
    };
    for (const auto& c : cases) {
        driver().Reset();
        Answer(kCoordinate, Calibrated(1));
        if (c.button == 0) {
            FailCode(c.failing);
        }
        bool shown = false;
        EXPECT_EQ(RunMainDialog([&](CDialog& dlg) {
                      shown = true;
                      FailCode(c.failing);
                      ui.Click(dlg, c.button);
                  }),
                  IDOK);
        EXPECT_EQ(shown, c.button != 0);
        EXPECT_EQ(ui.Boxes().back().text, c.message);
        EXPECT_EQ(ui.Boxes().back().caption, L"ERROR");
        EXPECT_EQ(Calls(IOCTL_SET_DEVICE_CONFIG), 0);
    }
}

// The 0x7E21/0x0012 controller is probed on its own device; a lost connection ends the program
// only when flagged.
TEST_F(MainPanelTest, SecondStreamIsProbedOnItsOwnDeviceAndLostConnectionEndsTheProgram) {
    EXPECT_EQ(Activate(), L"OTS2:");
    Answer(kSecondStream, Calibrated(1));
    EXPECT_EQ(RunMainDialog([&](CDialog& dlg) {
                  ui.Click(dlg, IDC_BUTTON_RESET);
                  PostFromWorker(WM_CONNECTION_LOST, 1, 0);
                  DialogDriver::WaitFor([] { return false; }, 50);
                  EXPECT_TRUE(dlg.IsModalRunning() && ui.Boxes().empty());
                  PostFromWorker(WM_CONNECTION_LOST, 1, 1);
              }),
              IDOK);
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::wstring>{L"Please check the connection..."});
    std::vector<std::wstring> probed;
    for (const script::Event& event : driver().IoCalls()) {
        if (event.code == IOCTL_CLEAR_MOUSE_UP_DATA) {
            probed.push_back(event.device);
        }
    }
    EXPECT_EQ(probed, std::vector<std::wstring>{L"OTS2:"});
}

TEST_F(MainPanelTest, CalibrationDialogComesAndGoesWithItsEndMessage) {
    SetCalibrateDialogFactory([]() -> CDialog* { return new CFakeCalibrateDlg; });
    const struct {
        WPARAM wParam;
        LPARAM lParam;
        int picture;  // -1: the program ends
    } cases[] = {{0, 0, 1}, {1, 0, 0}, {1, 1, -1}};
    for (const auto& c : cases) {
        Answer(kCoordinate, Calibrated(0));
        const INT_PTR result = RunMainDialog([&](CDialog& dlg) {
            ui.Click(dlg, IDC_BUTTON_CALIBRATE);
            ASSERT_EQ(CFakeCalibrateDlg::alive, 1);
            RECT area{};
            CalibrateDialog->GetWindowRect(&area);
            EXPECT_EQ(area.right - area.left, GetSystemMetrics(SM_CXSCREEN));
            EXPECT_EQ(area.bottom - area.top, GetSystemMetrics(SM_CYSCREEN));
            EXPECT_TRUE(CalibrateDialog->IsWindowVisible());
            EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_CALIBRATE));
            EXPECT_TRUE(ui.Enabled(dlg, IDC_BUTTON_SETTINGS));
            PostFromWorker(WM_CALIBRATION_END, c.wParam, c.lParam);
            if (c.picture < 0) {
                return;
            }
            ASSERT_TRUE(DialogDriver::WaitFor([] { return CalibrateDialog == nullptr; }));
            EXPECT_EQ(PictureOf(dlg), c.picture);
            EXPECT_EQ(ui.Enabled(dlg, IDC_BUTTON_RESET), c.picture == 1);
            EXPECT_TRUE(ui.Enabled(dlg, IDC_BUTTON_CALIBRATE));
            ui.Key(dlg, VK_ESCAPE);
        });
        EXPECT_EQ(result, c.picture < 0 ? IDOK : IDCANCEL);
        EXPECT_EQ(CFakeCalibrateDlg::alive, 0);
    }
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::wstring>{L"Please check the connection..."});

    // Closing the program while a calibration runs takes the calibration dialog with it.
    RunMainDialog([&](CDialog& dlg) {
        ui.Click(dlg, IDC_BUTTON_CALIBRATE);
        ui.Key(dlg, VK_ESCAPE);
    });
    EXPECT_EQ(CFakeCalibrateDlg::alive, 0);
    EXPECT_EQ(CalibrateDialog, nullptr);
    SetCalibrateDialogFactory(nullptr);
}

}  // namespace
}  // namespace ui_test
