// The about box: the firmware version of both controller generations, and its failures; the
// child dialogs that end on a failed first read and tell the main window to end.
// Transcript: tests/ui/data/about.txt (OTS_REGOLDEN=1 test_ui to rewrite it).
#include <gtest/gtest.h>

#include "panel_fixture.h"
#include "ui/about_dlg.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {
namespace {

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
