// The about box: the firmware version of both controller generations, and its failures; the
// child dialogs that end on a failed first read.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "panel_fixture.h"
#include "ui/about_dlg.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {
namespace {

using AboutTest = PanelTest;

TEST_F(AboutTest, FirmwareVersionOfBothGenerationsOrNone) {
    const struct {
        ots::DeviceIdentity identity;  // 0x0000: unknown, GetDeviceID fails
        BYTE byte0, byte1;
        const wchar_t* shown;
    } cases[] = {{kCamera, 5, 1, L"1.5"},
                 {kCamera, 200, 2, L"2.-56"},
                 {{0x5A17, 0x0101, 0x0100}, 5, 1, L"256"},
                 {{0x7E21, 0x0012, 0x0203}, 5, 1, L"515"},
                 // An unknown device shows 0 without asking for a version.
                 {{0, 0, 0x0100}, 5, 1, L"0"}};
    for (const auto& c : cases) {
        driver().Reset();
        Answer(c.identity);
        std::vector<BYTE> reply(64, 0);  // the block from byte 5
        reply[5] = c.byte0;
        reply[6] = c.byte1;
        driver().SetReply(IOCTL_GET_COMMAND, reply);
        if (c.identity.idVendor == 0) {
            FailCode(IOCTL_GET_DEVICE_ID);
        }
        CAboutDlg dialog;
        RunChild(dialog, [&](CDialog& dlg) {
            EXPECT_EQ(ui.Text(dlg, IDC_FIRMWARE_VERSION), c.shown);
            EXPECT_EQ(ui.Text(dlg, IDC_DRIVER_VERSION), L"1.0.0.2");
            ui.Key(dlg, VK_ESCAPE);
        });
    }
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text, L"GetDeviceID Failed.");
    EXPECT_EQ(ui.Boxes()[0].caption, L"ERROR");
    EXPECT_EQ(Calls(IOCTL_SET_COMMAND) + Calls(IOCTL_GET_COMMAND), 0);
}

// A child dialog whose first read fails ends at once and tells the main window to end.
TEST_F(AboutTest, AFailedReadEndsTheChildDialogAndTellsTheMainWindow) {
    const struct {
        std::function<std::unique_ptr<CDialog>()> make;
        DWORD failing;
        const wchar_t* text;
        const wchar_t* caption;
    } cases[] = {{[] { return std::make_unique<CSettingsDlg>(); }, IOCTL_GET_DRIVER_CONFIG,
                  L"++SettingsDlg:GetDriverConfig Failed!", L"ERROR"},
                 // Last: its unshown script waits on the stand-in main window's template.
                 {[] { return std::make_unique<CAboutDlg>(); }, IOCTL_SET_COMMAND,
                  L"++AboutDlg:GetVersion Failed.", L"TouchScreen Control Panel"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        driver().Reset();
        Answer(kCamera);
        FailCode(c.failing);
        const auto dialog = c.make();
        bool shown = false;
        EXPECT_EQ(RunChild(*dialog, [&](CDialog&) { shown = true; }), IDOK);
        EXPECT_FALSE(shown);
        EXPECT_EQ(ui.Boxes().back().text, c.text);
        EXPECT_EQ(ui.Boxes().back().caption, c.caption);
        EXPECT_TRUE(ConnectionLostPosted());
    }
}

}  // namespace
}  // namespace ui_test
