// The dialog templates of the control panel: the main dialog (102), the about box (132) and
// the settings dialog (133), as the resource script states them. Positions and sizes are in
// dialog units of the template font; controls are listed in tab order.
#include "ce/ui/dialog_template.h"
#include "ui/resource.h"

namespace {

using ce::ui::ControlKind;
using ce::ui::DialogControl;
using ce::ui::DialogTemplate;
using ce::ui::kHidden;
using enum ce::ui::ControlKind;

constexpr DialogControl kMainPanelControls[] = {
    {IDC_BUTTON_CALIBRATE, PushButton, L"Calibrate", 12, 164, 40, 30, WS_GROUP | WS_TABSTOP},
    {IDC_BUTTON_SETTINGS, PushButton, L"Settings", 58, 164, 40, 30, WS_TABSTOP},
    {IDC_BUTTON_RESET, PushButton, L"Reset", 105, 164, 40, 30, WS_TABSTOP},
    {IDC_BUTTON_ABOUT, PushButton, L"About", 151, 164, 40, 30, WS_GROUP | WS_TABSTOP},
    {IDC_BUTTON_EXIT, PushButton, L"Exit", 172, 66, 20, 11, kHidden | WS_TABSTOP},
    {IDC_STATIC_BANNER, StaticPicture, nullptr, 10, 4, 93, 25, 0, IDB_BANNER},
    {IDC_STATIC_NOTE, StaticText, L"Use calibration to adjust touchscreen to best accurate effect.",
     107, 4, 85, 26},
    {IDC_GROUP_BUTTONS, GroupBox, nullptr, 5, 152, 192, 50},
    {IDC_STATIC_CALIBRATE_AFTER, StaticText, L"Please Select [Calibrate] After:", 12, 41, 97, 8},
    {IDC_STATIC_NEW_SCREEN, StaticText,
     L"*You have installed a new touchscreen or changed a new model.", 22, 50, 163, 15},
    {IDC_STATIC_INACCURATE, StaticText, L"*You find you can't touch objects accurately.", 22, 67,
     144, 8},
    {IDC_STATIC_RESET_AFTER, StaticText, L"Please Select [Reset] After:", 12, 77, 88, 8},
    {IDC_STATIC_DEFAULTS, StaticText, L"*You want to use default calibrate parameters.", 22, 86,
     150, 8},
    {IDC_LIST_SCREENS, ListView, nullptr, 12, 98, 179, 51,
     LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | WS_TABSTOP},
    {IDC_GROUP_SCREENS, GroupBox, L"TouchScreen List", 5, 31, 192, 122},
};

constexpr DialogTemplate kMainPanel{IDD_TSPANEL_DIALOG,
                                    L"TouchScreen Control Panel",
                                    L"MS Shell Dlg",
                                    9,
                                    201,
                                    207,
                                    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                    WS_EX_APPWINDOW | WS_EX_CAPTIONOKBTN,
                                    kMainPanelControls};

constexpr DialogControl kAboutControls[] = {
    {IDC_ABOUT_BANNER, StaticPicture, nullptr, 40, 9, 108, 26, 0, IDB_BANNER},
    {IDC_STATIC_SEPARATOR, StaticText,
     L"------------------------------------------------------------------------------------------"
     L"----------",
     0, 44, 163, 8, SS_LEFT | WS_GROUP},
    {IDC_STATIC_DRIVER, StaticText, L"Driver Version:", 51, 76, 48, 8, SS_LEFT | WS_GROUP},
    {IDC_DRIVER_VERSION, StaticText, L"1.0.0.2", 100, 76, 25, 8, SS_LEFT | WS_GROUP},
    {IDC_STATIC_FIRMWARE, StaticText, L"USB Firmware Version:", 43, 89, 73, 8, SS_LEFT | WS_GROUP},
    {IDC_FIRMWARE_VERSION, StaticText, L"0", 117, 89, 10, 8, SS_LEFT | WS_GROUP},
};

constexpr DialogTemplate kAbout{
    IDD_ABOUTBOX,  L"About", L"MS Shell Dlg", 8, 163, 145, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
    kAboutControls};

constexpr DialogControl kSettingsControls[] = {
    {IDC_RADIO_CLICK_ON_TOUCH, RadioButton, L"Click on Touch", 14, 13, 61, 10, WS_GROUP},
    {IDC_RADIO_CLICK_ON_RELEASE, RadioButton, L"Click on Release", 14, 25, 65, 10},
    {IDC_RADIO_MOUSE_EMULATION, RadioButton, L"Mouse Emulation", 14, 38, 66, 10},
    {IDC_RADIO_4_POINTS, RadioButton, L"4 Points", 14, 115, 41, 10, WS_GROUP},
    {IDC_RADIO_25_POINTS, RadioButton, L"25 Points", 14, 130, 45, 10},
    {IDC_RADIO_BEEP_ON_TOUCH, RadioButton, L"Beep on Touch", 103, 64, 63, 10, WS_GROUP},
    {IDC_RADIO_BEEP_ON_RELEASE, RadioButton, L"Beep on Release", 103, 77, 69, 10},
    {IDC_RADIO_BEEP_BOTH, RadioButton, L"Both", 103, 89, 31, 10},
    {IDC_RADIO_PC_SPEAKER, RadioButton, L"PC Speaker", 103, 113, 53, 10, WS_GROUP},
    {IDC_RADIO_SOUND_CARD, RadioButton, L"Sound Card", 103, 168, 53, 10},
    {IDC_BUTTON_OK, PushButton, L"OK", 64, 186, 40, 17},
    {IDC_BUTTON_CANCEL, PushButton, L"Cancel", 109, 186, 40, 17},
    {IDC_BUTTON_APPLY, PushButton, L"Apply", 154, 186, 40, 17},
    {IDC_GROUP_MODES, GroupBox, L"Modes", 4, 3, 79, 50},
    {IDC_SLIDER_DELAY, Slider, nullptr, 106, 14, 78, 15, TBS_AUTOTICKS},
    {IDC_SLIDER_AREA, Slider, nullptr, 106, 33, 78, 15, TBS_AUTOTICKS},
    {IDC_STATIC_DELAY, StaticText, L"Delay", 88, 13, 19, 8, SS_CENTER | WS_GROUP},
    {IDC_LABEL_DELAY, StaticText, L"0", 90, 23, 17, 8, SS_CENTER | WS_GROUP},
    {IDC_STATIC_AREA, StaticText, L"Area", 89, 32, 16, 8, SS_CENTER | WS_GROUP},
    {IDC_LABEL_AREA, StaticText, L"0", 90, 41, 16, 8, SS_CENTER | WS_GROUP},
    {IDC_CHECK_ENABLE_TOUCH, CheckBox, L"Enable Touch", 13, 64, 59, 10},
    {IDC_CHECK_HIDE_CURSOR, CheckBox, L"Hide Cursor", 13, 77, 53, 10},
    {IDC_CHECK_ENABLE_BEEP, CheckBox, L"Enable Beep", 13, 90, 55, 10},
    {IDC_GROUP_BEEP_MODE, GroupBox, L"Beep Mode", 86, 53, 112, 50},
    {IDC_GROUP_CALIBRATE, GroupBox, L"Calibrate Settings", 4, 103, 79, 41},
    {IDC_SLIDER_SMOOTHNESS, Slider, nullptr, 7, 158, 67, 15, TBS_AUTOTICKS},
    {IDC_SLIDER_FREQUENCY, Slider, nullptr, 109, 124, 78, 15, TBS_AUTOTICKS},
    {IDC_SLIDER_DURATION, Slider, nullptr, 109, 151, 78, 15, TBS_AUTOTICKS},
    {IDC_STATIC_FREQ, StaticText, L"Freq", 91, 122, 16, 8, SS_CENTER | WS_GROUP},
    {IDC_LABEL_FREQUENCY, StaticText, L"1", 87, 130, 23, 8, SS_CENTER | WS_GROUP},
    {IDC_STATIC_DURATION, StaticText, L"Duration", 89, 144, 28, 8, SS_CENTER | WS_GROUP},
    {IDC_LABEL_DURATION, StaticText, L"0", 95, 153, 10, 8, SS_CENTER | WS_GROUP},
    {IDC_STATIC_HZ, StaticText, L"Hz", 186, 127, 10, 8, SS_LEFT | WS_GROUP},
    {IDC_STATIC_DURATION_MS, StaticText, L"ms", 186, 154, 10, 8, SS_LEFT | WS_GROUP},
    {IDC_CHECK_TOUCH_SENSITIVITY, CheckBox, L"Enable Touch Sensitivity", 12, 187, 30, 10, kHidden},
    {IDC_STATIC_DELAY_MS, StaticText, L"ms", 186, 17, 10, 8, SS_LEFT | WS_GROUP},
    {IDC_STATIC_AREA_MM, StaticText, L"mm", 185, 36, 12, 8, SS_LEFT | WS_GROUP},
    {IDC_LABEL_SMOOTHNESS, StaticText, L"1", 72, 161, 10, 8, SS_CENTER | WS_GROUP},
    {IDC_GROUP_OPTIONS, GroupBox, L"Options", 4, 53, 79, 50},
    {IDC_GROUP_SENSITIVITY, GroupBox, L"Touch Sensitivity Settings", 86, 3, 112, 50},
    {IDC_GROUP_BEEP_TYPE, GroupBox, L"Beep Type Settings", 86, 103, 112, 79},
    {IDC_GROUP_SMOOTHNESS, GroupBox, L"Smoothness Settings", 4, 145, 79, 37},
};

constexpr DialogTemplate kSettings{IDD_SETTINGS,
                                   L"Settings",
                                   L"MS Shell Dlg",
                                   8,
                                   201,
                                   206,
                                   WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                   0,
                                   kSettingsControls};

const ce::ui::ResourceEntry kMainPanelEntry(kMainPanel);
const ce::ui::ResourceEntry kAboutEntry(kAbout);
const ce::ui::ResourceEntry kSettingsEntry(kSettings);

}  // namespace
