// A finger on a mounted touch screen of either generation, the real driver behind it, and the
// pointer that comes out: the stand-in's USB stack with libotsusb.so attached to a simulated
// controller, and every injected event recorded. Positions are screen pixels of an 800 x 600
// screen of 211 x 158 mm.
// The calibration dialog as the main dialog runs it, on Qt's offscreen platform: created
// modeless over a stand-in main window that records every WM_CALIBRATION_END, with the shell's
// task bar in the process, message boxes answered and recorded. The dialog object lives until
// the test ends, so that a second closing attempt after the first can be seen doing nothing.
#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "calibration/calibrate_dlg.h"
#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/host/usb_host.h"
#include "sim/camera_device.h"
#include "sim/coordinate_controller.h"
#include "support/bus.h"
#include "support/dialog_driver.h"

namespace calib_test {

enum class Generation { Coordinate, Camera };

struct Pixel {
    double x;
    double y;
};

inline constexpr int kScreenWidthPx = 800;
inline constexpr int kScreenHeightPx = 600;
inline constexpr double kMmPerPx = 211.0 / kScreenWidthPx;

class TouchBench {
  public:
    // A coordinate controller reports the identity given here.
    explicit TouchBench(Generation generation, std::uint16_t coordinateVendor = 0x5A17,
                        std::uint16_t coordinateProduct = 0x0101);
    // A still finger, lifted again; returns once the driver has taken every report.
    void Tap(Pixel at);
    // Where the last injected event put the pointer; nothing before the first event.
    std::optional<Pixel> Pointer() const;
    // The largest distance (mm) between finger and pointer over a set of taps spread over the
    // screen, away from the outermost 1/16 that the targets do not reach.
    double WorstTapErrorMm();
    void Unplug() { plugged_.reset(); }

  private:
    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::MouseEventRecorder recorder_;
    std::shared_ptr<ots::sim::CoordinateController> coordinate_;
    std::shared_ptr<ots::sim::CameraDevice> camera_;
    std::optional<ce::host::ScopedUsbDevice> plugged_;
};

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
    bool Press(UINT key) { return driver_.Key(*dialog_, key); }
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
