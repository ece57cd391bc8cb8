// The control panel as processes: against cehost in another process, a second copy that
// brings the first to the front and ends, the shell's task bar hidden and shown from another
// process. (tspanel on a real X server is the demo's test.)
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "support/dialog_driver.h"
#include "support/host_process.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"

namespace ui_test {
namespace {

using ots::test::HostProcess;
using ots::test::Spawn;

constexpr const wchar_t* kTitle = L"TouchScreen Control Panel";

class ProcessesTest : public ::testing::Test {
  protected:
    void StartHost() {
        host_ = std::make_unique<HostProcess>(dir_);
        ASSERT_TRUE(host_->WaitReady()) << host_->errText();
        ASSERT_EQ(host_->Cectl({"plug", "coordinate"}).exitCode, 0);
        ::setenv("OTS_DEVMGR_SOCKET", host_->socket().c_str(), 1);
    }
    std::vector<std::string> Environment() const {
        return {"OTS_DEVMGR_SOCKET=" + host_->socket(), "OTS_WINDOW_DIR=" + WindowFolder(),
                "QT_QPA_PLATFORM=offscreen"};
    }
    static int Stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        return ots::test::WaitExit(pid);
    }

    DialogDriver ui;
    ots::test::TempDir dir_;
    std::unique_ptr<HostProcess> host_;
};

// Touch is on by default; the panel saves it off into the host's registry.
TEST_F(ProcessesTest, PanelReachesTheDriverOfAHostInAnotherProcess) {
    StartHost();
    CMainPanelDlg dialog;
    theApp.m_pMainWnd = &dialog;
    ui.OnShown(IDD_TSPANEL_DIALOG, [&](CDialog& dlg) {
        // A fresh registry: not calibrated.
        EXPECT_FALSE(dlg.GetDlgItem(IDC_BUTTON_RESET)->IsWindowEnabled());
        ui.Click(dlg, IDC_BUTTON_SETTINGS);
        ui.Key(dlg, VK_ESCAPE);
    });
    ui.OnShown(IDD_SETTINGS, [&](CDialog& dlg) {
        ui.Click(dlg, IDC_CHECK_ENABLE_TOUCH);
        ui.Click(dlg, IDC_BUTTON_OK);
    });
    dialog.DoModal();
    theApp.m_pMainWnd = nullptr;
    EXPECT_TRUE(ui.Boxes().empty());
    EXPECT_NE(host_->Cectl({"reg", "dump"}).out.find("\"EnableTouch\"=dword:00000000"),
              std::string::npos);
}

TEST_F(ProcessesTest, SecondCopyBringsTheFirstToTheFrontAndEnds) {
    StartHost();
    const pid_t first =
        Spawn({OTS_TSPANEL}, dir_.File("first.out"), dir_.File("first.err"), Environment());
    HWND window = nullptr;
    ASSERT_TRUE(DialogDriver::WaitFor([&] { return (window = FindWindow(nullptr, kTitle)); }))
        << ots::test::ReadFile(dir_.File("first.err"));
    EXPECT_NE(GetForegroundWindow(), window);

    const pid_t second = Spawn({OTS_TSPANEL}, "", dir_.File("second.err"), Environment());
    EXPECT_EQ(ots::test::WaitExit(second), 0);
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return GetForegroundWindow() == window; }));
    EXPECT_EQ(::kill(first, 0), 0) << "the first copy runs on";
    Stop(first);
}

TEST_F(ProcessesTest, TaskBarOfAnotherProcessHidesAndShows) {
    const pid_t shell = Spawn({OTS_CESHELL}, "", dir_.File("shell.err"),
                              {"OTS_WINDOW_DIR=" + WindowFolder(), "QT_QPA_PLATFORM=offscreen"});
    HWND bar = nullptr;
    ASSERT_TRUE(DialogDriver::WaitFor([&] { return (bar = FindWindow(L"HHTaskBar", nullptr)); }));
    EXPECT_TRUE(IsWindowVisible(bar));
    ShowWindow(bar, SW_HIDE);
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return !IsWindowVisible(bar); }));
    ShowWindow(bar, SW_SHOW);
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return IsWindowVisible(bar); }));
    EXPECT_EQ(Stop(shell), 0);
}

}  // namespace
}  // namespace ui_test
