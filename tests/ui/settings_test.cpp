// The settings dialog: sliders that show stored values clamped but keep them, the smoothness
// conversion on the screen width, Apply exactly while something changed, the beep rules, the
// disabled controls of a controller that is not the camera, and failed reads and writes. The
// about box: the firmware version of both controller generations, and its failures; the child
// dialogs that end on a failed first read and tell the main window to end.
// Transcripts: tests/ui/data/settings_*.txt, about.txt (OTS_REGOLDEN=1 test_ui to rewrite them).
#include <gtest/gtest.h>

#include "panel_fixture.h"
#include "ui/about_dlg.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {
namespace {

using ots::test::ExpectGolden;

// Mouse emulation and double-click on, as by default.
ots::DriverConfig Stored() {
    ots::DriverConfig config = ots::DefaultDriverConfig();
    config.EnableBeep = 1;
    config.HideCursor = 1;
    config.BeepMode = 2;
    config.DoubleClickTime = 20;  // below the delay slider's range
    config.DoubleClickArea = 70;  // above the area slider's
    config.BeepFrequency = 10000;
    config.BeepDuration = 5;
    config.Smoothness = 13;  // level 5 on an 800-pixel screen
    return config;
}

using SettingsTest = PanelTest;

// The camera: stored values shown clamped but saved unchanged unless moved; a slider moves one
// line from where it shows; each slider and choice reaches its own field; the camera is started
// again after every save, also an OK without a change, which writes nothing.
TEST_F(SettingsTest, CameraSlidersShowStoredValuesClampedButSaveThemUnlessMoved) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    Answer(kCamera, {}, Stored());
    CSettingsDlg dialog, unchanged;  // the second closed with OK at once
    std::string transcript = Run(&dialog, [&](CDialog& dlg) {
        Show(dlg);
        ui.Drag(dlg, IDC_SLIDER_SMOOTHNESS, 1);
        Show(dlg);
        ui.Click(dlg, IDC_RADIO_4_POINTS);
        ui.Click(dlg, IDC_BUTTON_APPLY);
        ui.KeyOn(dlg, IDC_SLIDER_DELAY, VK_RIGHT);
        ui.Click(dlg, IDC_RADIO_PC_SPEAKER);  // from the sound card
        ui.Click(dlg, IDC_RADIO_BEEP_ON_TOUCH);
        ui.Click(dlg, IDC_RADIO_25_POINTS);
        ui.Drag(dlg, IDC_SLIDER_AREA, 25);
        ui.Drag(dlg, IDC_SLIDER_FREQUENCY, 3000);
        ui.Drag(dlg, IDC_SLIDER_DURATION, 60);
        Show(dlg);
        ui.Click(dlg, IDC_BUTTON_OK);
    });
    transcript += Run(&unchanged, [&](CDialog& dlg) { ui.Click(dlg, IDC_BUTTON_OK); });
    ExpectGolden(transcript, OTS_GOLDEN_DIR "settings_camera.txt");
}

// Other controllers have no touch sensitivity or smoothness and keep the stored double-click;
// Apply is enabled exactly while something changed; Cancel saves nothing more. The beep
// choices follow the click mode. Mended: the beep mode the mode shows is stored (was: only the
// user's own choice); a beep or cursor hiding saved off can be switched on again; a failed
// write tells the user (was: only logged).
TEST_F(SettingsTest, OtherControllersApplyAndBeepRules) {
    const struct {
        int mode;  // the click mode chosen
        BYTE beep;
        int failing;  // SetDriverConfig calls that fail
        int last;     // OK or Cancel
    } cases[] = {{IDC_RADIO_CLICK_ON_TOUCH, 1, 0, IDC_BUTTON_CANCEL},
                 {IDC_RADIO_CLICK_ON_RELEASE, 1, 0, IDC_BUTTON_OK},
                 {IDC_RADIO_MOUSE_EMULATION, 1, 0, IDC_BUTTON_OK},
                 {IDC_RADIO_CLICK_ON_TOUCH, 0, 1, IDC_BUTTON_OK}};
    std::string transcript;
    for (const auto& c : cases) {
        driver().Reset();
        ots::DriverConfig stored = Stored();
        stored.Mode = 1;
        stored.BeepMode = 1;  // the beep on release that the mode shows
        stored.EnableBeep = c.beep;
        stored.HideCursor = c.beep;
        stored.BeepType = c.beep;  // the sound card where the beep is on
        Answer(kCoordinate, {}, stored);
        driver().FailCode(IOCTL_SET_DRIVER_CONFIG, c.failing);
        CSettingsDlg dialog;
        transcript += Run(&dialog, [&](CDialog& dlg) {
            Show(dlg);
            ui.Click(dlg, c.mode);
            Show(dlg);
            ui.Click(dlg, IDC_RADIO_CLICK_ON_RELEASE);  // back where it was
            Show(dlg);
            ui.Click(dlg, c.mode);
            ui.Click(dlg, IDC_RADIO_4_POINTS);
            ui.Click(dlg, IDC_BUTTON_APPLY);
            ui.Click(dlg, IDC_CHECK_ENABLE_BEEP);
            ui.Click(dlg, IDC_CHECK_HIDE_CURSOR);
            Show(dlg);
            ui.Click(dlg, IDC_RADIO_SOUND_CARD);
            Show(dlg);
            ui.Click(dlg, c.last);
        });
    }
    ExpectGolden(transcript, OTS_GOLDEN_DIR "settings_rules.txt");
}

using AboutTest = PanelTest;

// The camera's version from bytes 5 and 6 of its block, signed; the others' from their release
// number; an unknown device (GetDeviceID fails) shows 0 without asking for a version.
TEST_F(AboutTest, FirmwareVersionsAndFailedReads) {
    const struct {
        ots::DeviceIdentity identity;
        BYTE byte0, byte1;
        DWORD failing;
        bool settings;  // the settings dialog instead
    } cases[] = {{kCamera, 5, 1, 0, false},
                 {kCamera, 200, 2, 0, false},
                 {{0x5A17, 0x0101, 0x0100}, 5, 1, 0, false},
                 {{0x7E21, 0x0012, 0x0203}, 5, 1, 0, false},
                 {kCamera, 5, 1, IOCTL_GET_DEVICE_ID, false},
                 {kCamera, 5, 1, IOCTL_GET_DRIVER_CONFIG, true},
                 // Last: its unshown script waits on the stand-in main window's template.
                 {kCamera, 5, 1, IOCTL_SET_COMMAND, false}};
    std::string transcript;
    for (const auto& c : cases) {
        driver().Reset();
        Answer(c.identity);
        std::vector<BYTE> reply(64, 0);  // the block from byte 5
        reply[5] = c.byte0;
        reply[6] = c.byte1;
        driver().SetReply(IOCTL_GET_COMMAND, reply);
        driver().FailCode(c.failing);
        CAboutDlg about;
        CSettingsDlg settings;
        transcript +=
            Run(c.settings ? static_cast<CDialog*>(&settings) : &about, [&](CDialog& dlg) {
                Show(dlg);
                ui.Key(dlg, VK_ESCAPE);
            });
    }
    ots::test::ExpectGolden(transcript, OTS_GOLDEN_DIR "about.txt");
}

}  // namespace
}  // namespace ui_test
