// The calibration dialog as the main dialog runs it, on Qt's offscreen platform: created
// modeless over a stand-in main window that records every WM_CALIBRATION_END, with the shell's
// task bar in the process, message boxes answered and recorded. The dialog object lives until
// the test ends, so that a second closing attempt after the first can be seen doing nothing.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "calibration/calibrate_dlg.h"
#include "calibration_screen/touch_bench.h"
#include "support/dialog_driver.h"

namespace calib_test {

using EndMessage = std::pair<WPARAM, LPARAM>;

class PanelHarness {
  public:
    PanelHarness();
    ~PanelHarness();

    CCalibrateDlg& Start();  // the calibration dialog, created, shown and initialised
    // The same through the control panel's main dialog and its Calibrate button; the main
    // dialog then owns the calibration dialog and handles its end. Null when none opened.
    CCalibrateDlg* StartFromMainDialog();
    // Touches targets until `count` samples were taken (a person waits for each target).
    bool TouchTargets(TouchBench& bench, int count);
    bool WaitForVerification();
    bool Click(int id) { return driver_.Click(*dialog_, id); }
    bool WaitForBox(const std::wstring& text);
    bool PressEsc() { return driver_.Key(*dialog_, VK_ESCAPE); }
    // Runs events until at least one end arrived, and a little longer for a stray second one.
    const std::vector<EndMessage>& Ends();
    std::vector<std::wstring> Boxes() const { return driver_.BoxTexts(); }
    static bool TaskBarVisible();

  private:
    // The offscreen screen is the simulated panel's 800 x 600, before the interface starts.
    struct PanelSizedScreen {
        PanelSizedScreen();
    };
    PanelSizedScreen screen_;
    ui_test::DialogDriver driver_;
    std::unique_ptr<CDialog> main_;
    std::unique_ptr<CCalibrateDlg> owned_;
    CCalibrateDlg* dialog_ = nullptr;
};

}  // namespace calib_test
