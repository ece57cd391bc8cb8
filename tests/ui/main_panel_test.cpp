// The main dialog: the list entry and its picture, Reset, the readiness probe before every
// action, the program's end on a lost driver, the calibration dialog's coming and going, and
// the real calibration dialog's failed start.
// Transcripts: tests/ui/data/main_panel_*.txt (OTS_REGOLDEN=1 test_ui to rewrite them).
#include <gtest/gtest.h>

#include <thread>

#include "calibration/calibrate_dlg.h"
#include "panel_fixture.h"
#include "protocol/messages.h"
#include "ui/calibration_hook.h"
#include "ui/main_panel_dlg.h"
#include "ui/resource.h"

namespace ui_test {
namespace {

using ots::test::ExpectGolden;

ots::DeviceConfig Calibrated(BYTE isCalibrated) {
    ots::DeviceConfig record{};
    record.IsCalibrated = isCalibrated;
    record.MaxX = 1234;  // to see the record go back whole
    record.DeviceID = 7;
    return record;
}

using MainPanelTest = PanelTest;

void PostFromWorker(UINT message, WPARAM wParam, LPARAM lParam) {
    std::thread([=] { PostMessage(AfxGetMainWnd()->m_hWnd, message, wParam, lParam); }).join();
}

// Reset sends the record back uncalibrated, whatever fails, and shows it so; the camera's
// record comes from and goes back to the controller; the 0x7E21/0x0012 controller is probed on
// its own device. A failed start ends the program without a window; a failed probe before an
// action does nothing more; a lost connection ends the program only when flagged.
// (The other buttons' probes: the panel_faults suite, against a host that goes away.)
TEST_F(MainPanelTest, EntryResetAndFailedProbes) {
    EXPECT_EQ(Activate(), L"OTS2:");
    const struct {
        ots::DeviceIdentity identity;
        BYTE calibrated;
        DWORD failing;
        bool reset;
    } cases[] = {{kCoordinate, 0, 0, false},
                 {kCoordinate, 2, 0, true},
                 {kCamera, 1, 0, true},
                 {kSecondStream, 1, 0, true},
                 {kCoordinate, 1, IOCTL_SET_DEVICE_CONFIG, true},
                 {kCoordinate, 1, IOCTL_REINIT_OPTCORE, true},
                 {kCoordinate, 1, IOCTL_CLEAR_MOUSE_UP_DATA, true},
                 // Last: the script of a dialog that never showed waits for the next one.
                 {kCoordinate, 1, IOCTL_GET_DEVICE_ID, false},
                 {kCoordinate, 1, IOCTL_GET_DEVICE_CONFIG, false}};
    std::string transcript;
    for (const auto& c : cases) {
        driver().Reset();
        Answer(c.identity, Calibrated(c.calibrated));
        if (!c.reset) {
            driver().FailCode(c.failing);
        }
        transcript += Run(nullptr, [&](CDialog& dlg) {
            Show(dlg);
            if (c.reset) {
                driver().FailCode(c.failing);
                ui.Click(dlg, IDC_BUTTON_RESET);
                Show(dlg);
            }
            PostFromWorker(WM_CONNECTION_LOST, 1, 0);
            DialogDriver::WaitFor([] { return false; }, 50);
            Note("still running");
            PostFromWorker(WM_CONNECTION_LOST, 1, 1);
        });
    }
    ExpectGolden(transcript, OTS_GOLDEN_DIR "main_panel_reset.txt");
}

// Where the calibration dialog plugs in: an empty dialog on its template.
TEST_F(MainPanelTest, CalibrationDialogComesAndGoesWithItsEndMessage) {
    SetCalibrateDialogFactory([]() -> CDialog* { return new CDialog(IDD_CALIBRATE); });
    std::string transcript;
    for (LPARAM end : {0x00, 0x10, 0x11, 0x20}) {  // wParam, lParam; 0x20: the program closes
        Answer(kCoordinate, Calibrated(0));
        transcript += Run(nullptr, [&](CDialog& dlg) {
            ui.Click(dlg, IDC_BUTTON_CALIBRATE);
            ASSERT_NE(CalibrateDialog, nullptr);
            RECT area{};
            CalibrateDialog->GetWindowRect(&area);
            EXPECT_EQ(area.right - area.left, GetSystemMetrics(SM_CXSCREEN));
            EXPECT_EQ(area.bottom - area.top, GetSystemMetrics(SM_CYSCREEN));
            EXPECT_TRUE(CalibrateDialog->IsWindowVisible());
            Show(dlg);
            if (end == 0x20 && ui.Key(dlg, VK_ESCAPE)) {  // and takes the calibration dialog
                return;
            }
            PostFromWorker(WM_CALIBRATION_END, end >> 4, end & 1);
            if (end == 0x11) {
                return;
            }
            ASSERT_TRUE(DialogDriver::WaitFor([] { return CalibrateDialog == nullptr; }));
            Show(dlg);
            ui.Key(dlg, VK_ESCAPE);
        });
        EXPECT_EQ(CalibrateDialog, nullptr);
    }
    ExpectGolden(transcript, OTS_GOLDEN_DIR "main_panel_calibration.txt");
}

// The calibration's start (a driver that answers zeros): settings that cannot be read are said so,
// none is sent back and the program ends with the connection message; an identity that cannot be
// read is said so and the calibration goes on (until its first read of a touch fails).
TEST_F(MainPanelTest, CalibrationStartWithAFailedRead) {
    SetCalibrateDialogFactory([]() -> CDialog* { return new CCalibrateDlg(); });
    std::string transcript;
    for (const DWORD failing : {IOCTL_GET_DRIVER_CONFIG, IOCTL_GET_DEVICE_ID}) {
        transcript += Run(nullptr, [&](CDialog& dlg) {
            driver().FailCode(failing, 1);  // the calibration's call, after the main dialog's
            driver().FailCode(IOCTL_GET_MOUSE_UP_DATA);
            ui.Click(dlg, IDC_BUTTON_CALIBRATE);
        });
    }
    ExpectGolden(transcript, OTS_GOLDEN_DIR "main_panel_calibration_start.txt");
}

}  // namespace
}  // namespace ui_test
