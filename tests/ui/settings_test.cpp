// The settings dialog: sliders that show stored values clamped but keep them, the smoothness
// conversion on the screen width, Apply exactly while something changed, the beep rules, the
// disabled controls of a controller that is not the camera, and failed reads and writes.
#include <gtest/gtest.h>

#include "panel_fixture.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {
namespace {

ots::DriverConfig Stored() {
    ots::DriverConfig config = ots::DefaultDriverConfig();
    config.Mode = 2;
    config.EnableBeep = 1;
    config.HideCursor = 1;
    config.BeepType = 0;
    config.BeepMode = 2;
    config.CalibrateType = 0;
    config.EnableDoubleClick = 1;
    config.DoubleClickTime = 20;  // below the delay slider's range
    config.DoubleClickArea = 70;  // above the area slider's
    config.BeepFrequency = 10000;
    config.BeepDuration = 5;
    config.Smoothness = 13;  // level 5 on an 800-pixel screen
    return config;
}

using SettingsTest = PanelTest;

TEST_F(SettingsTest, SlidersShowStoredValuesClampedButSaveThemUnlessMoved) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    Answer(kCamera, {}, Stored());
    CSettingsDlg dialog;
    RunChild(dialog, [&](CDialog& dlg) {
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_DELAY), L"50");
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_AREA), L"50");
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_FREQUENCY), L"7000");
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_DURATION), L"10");
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_SMOOTHNESS), L"5");
        EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        ui.Drag(dlg, IDC_SLIDER_SMOOTHNESS, 1);
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_SMOOTHNESS), L"1");
        ui.Click(dlg, IDC_BUTTON_APPLY);
        EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        ui.KeyOn(dlg, IDC_SLIDER_DELAY, VK_RIGHT);  // one line step from where it shows
        EXPECT_EQ(ui.Text(dlg, IDC_LABEL_DELAY), L"150");
        ui.Click(dlg, IDC_BUTTON_OK);
    });
    ASSERT_EQ(Calls(IOCTL_SET_DRIVER_CONFIG), 2);
    const ots::DriverConfig first = DriverConfigSent(0);
    EXPECT_EQ(first.Smoothness, 2u);
    EXPECT_EQ(first.DoubleClickTime, 20u);
    EXPECT_EQ(first.BeepFrequency, 10000u);
    EXPECT_EQ(LastDriverConfigSent().DoubleClickTime, 150u);
    EXPECT_EQ(Calls(IOCTL_REINIT_OPTCORE), 2);  // the camera after every save
    EXPECT_EQ(BeepBroadcasts(), 2);
}

// Other controllers have no touch sensitivity or smoothness, and keep the stored double-click.
TEST_F(SettingsTest, ApplyIsEnabledExactlyWhileSomethingChanged) {
    Answer(kCoordinate, {}, Stored());
    CSettingsDlg dialog;
    RunChild(dialog, [&](CDialog& dlg) {
        EXPECT_FALSE(ui.Checked(dlg, IDC_CHECK_TOUCH_SENSITIVITY));
        for (int id :
             {IDC_SLIDER_DELAY, IDC_SLIDER_AREA, IDC_GROUP_SENSITIVITY, IDC_SLIDER_SMOOTHNESS}) {
            EXPECT_FALSE(ui.Enabled(dlg, id)) << id;
        }
        EXPECT_TRUE(ui.Enabled(dlg, IDC_LABEL_SMOOTHNESS));
        ui.Click(dlg, IDC_RADIO_CLICK_ON_TOUCH);
        EXPECT_TRUE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        ui.Click(dlg, IDC_RADIO_MOUSE_EMULATION);
        EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        ui.Click(dlg, IDC_RADIO_25_POINTS);
        ui.Click(dlg, IDC_BUTTON_APPLY);
        EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        ui.Click(dlg, IDC_CHECK_ENABLE_TOUCH);
        ui.Click(dlg, IDC_BUTTON_CANCEL);
    });
    EXPECT_EQ(Calls(IOCTL_SET_DRIVER_CONFIG), 1);  // Cancel keeps what Apply saved, no more
    EXPECT_EQ(LastDriverConfigSent().CalibrateType, 1);
    EXPECT_EQ(LastDriverConfigSent().EnableDoubleClick, 1);
    EXPECT_EQ(Calls(IOCTL_REINIT_OPTCORE), 0);  // not a camera
    EXPECT_EQ(BeepBroadcasts(), 1);
}

TEST_F(SettingsTest, BeepModeFollowsTheClickModeButStoresOnlyTheUsersChoice) {
    const struct {
        int mode;
        bool touch, release, both;
        int shown;
    } cases[] = {{IDC_RADIO_CLICK_ON_TOUCH, true, false, false, IDC_RADIO_BEEP_ON_TOUCH},
                 {IDC_RADIO_CLICK_ON_RELEASE, false, true, false, IDC_RADIO_BEEP_ON_RELEASE},
                 // with mouse emulation the shown choice stays as it was
                 {IDC_RADIO_MOUSE_EMULATION, true, true, true, IDC_RADIO_BEEP_ON_RELEASE}};
    for (const auto& c : cases) {
        driver().Reset();
        ots::DriverConfig stored = Stored();
        stored.Mode = 1;
        Answer(kCoordinate, {}, stored);
        CSettingsDlg dialog;
        RunChild(dialog, [&](CDialog& dlg) {
            ui.Click(dlg, c.mode);
            EXPECT_EQ(ui.Enabled(dlg, IDC_RADIO_BEEP_ON_TOUCH), c.touch);
            EXPECT_EQ(ui.Enabled(dlg, IDC_RADIO_BEEP_ON_RELEASE), c.release);
            EXPECT_EQ(ui.Enabled(dlg, IDC_RADIO_BEEP_BOTH), c.both);
            EXPECT_TRUE(ui.Checked(dlg, c.shown));
            ui.Click(dlg, IDC_CHECK_ENABLE_TOUCH);  // something to save
            ui.Click(dlg, IDC_BUTTON_OK);
        });
        EXPECT_EQ(LastDriverConfigSent().BeepMode, 2);
    }
}

// Mended: a beep or cursor hiding saved off can be switched on again. A failed write is only
// logged.
TEST_F(SettingsTest, BeepAndCursorHidingSavedOffCanBeSwitchedOn) {
    ots::DriverConfig stored = Stored();
    stored.EnableBeep = 0;
    stored.HideCursor = 0;
    Answer(kCoordinate, {}, stored);
    driver().FailCode(IOCTL_SET_DRIVER_CONFIG, 1);
    CSettingsDlg dialog;
    RunChild(dialog, [&](CDialog& dlg) {
        ui.Click(dlg, IDC_RADIO_CLICK_ON_TOUCH);
        ui.Click(dlg, IDC_BUTTON_APPLY);
        EXPECT_FALSE(ui.Enabled(dlg, IDC_BUTTON_APPLY));
        EXPECT_FALSE(ui.Enabled(dlg, IDC_RADIO_PC_SPEAKER));
        EXPECT_TRUE(ui.Click(dlg, IDC_CHECK_ENABLE_BEEP));
        EXPECT_TRUE(ui.Click(dlg, IDC_CHECK_HIDE_CURSOR));
        EXPECT_TRUE(ui.Enabled(dlg, IDC_SLIDER_FREQUENCY));  // PC speaker: pitch and length
        ui.Click(dlg, IDC_RADIO_SOUND_CARD);
        EXPECT_FALSE(ui.Enabled(dlg, IDC_SLIDER_FREQUENCY));
        EXPECT_FALSE(ui.Enabled(dlg, IDC_SLIDER_DURATION));
        ui.Click(dlg, IDC_BUTTON_OK);
    });
    const ots::DriverConfig sent = LastDriverConfigSent();
    EXPECT_EQ(sent.EnableBeep, 1);
    EXPECT_EQ(sent.HideCursor, 1);
    EXPECT_EQ(sent.BeepType, 1);
    EXPECT_TRUE(capture_.Contains("SaveSettings:SetDriverConfig Failed.\r"));
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_EQ(BeepBroadcasts(), 1);  // for the save that went through
}

}  // namespace
}  // namespace ui_test
