// Dialog template 130: the calibration dialog, a popup without caption or border. Where its
// controls sit does not matter: the dialog lays them out for the screen when it starts.
#include "calibration/calibrate_dlg.h"

namespace {

using ce::ui::ControlKind;
using ce::ui::DialogControl;
using ce::ui::DialogTemplate;

const DialogControl kControls[] = {
    {1008, ControlKind::PushButton, L"OK", 60, 80, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {1009, ControlKind::PushButton, L"Cancel", 120, 80, 50, 14, WS_TABSTOP},
    {1010, ControlKind::StaticText,
     L"*If you want to exit when Calibrating ,Please press Key \"Esc\".", 10, 60, 200, 8, SS_LEFT},
    {1012, ControlKind::StaticText,
     L"1.Please draw something on the touchscreen and check the accuracy.", 10, 100, 200, 16,
     SS_LEFT},
    {1014, ControlKind::StaticText,
     L"2. If you don't want to save the calibration result,click \"Cancel\" to exit without "
     L"saving.",
     10, 120, 200, 16, SS_LEFT},
    // Shown while a refused sample's target waits to be touched again.
    {1016, ControlKind::StaticText, L"Touch the target again.", 10, 70, 200, 8, SS_LEFT},
};

const DialogTemplate kCalibrateTemplate{IDD_CALIBRATE, nullptr, L"MS Shell Dlg", 8, 240, 160,
                                        WS_POPUP,      0,       kControls};

const ce::ui::ResourceEntry kRegistered(kCalibrateTemplate);

}  // namespace
