// tspanel against a cehost that dies, freezes or loses its controller while the panel holds the
// device: every case ends in the panel's connection message and the program's end, never in a
// hang, and the host serves the next plug.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "support/dialog_driver.h"
#include "support/host_process.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"

namespace {

using ots::test::HostProcess;
using ui_test::DialogDriver;

enum class Fault {
    Kill,         // SIGKILL before the action
    KillMidCall,  // frozen (SIGSTOP) so the action's call waits, then SIGKILL
    Unplug,       // cectl unplug: the host lives on, the device is gone
};

struct Case {
    const char* name;
    Fault fault;
    int button;  // 0: during a calibration, after its dialog showed
    const wchar_t* box;
};

const Case kCases[] = {
    {"KilledThenSettings", Fault::Kill, IDC_BUTTON_SETTINGS,
     L"SettingsDlg Inition Failed,please check the connection."},
    {"KilledDuringSettingsProbe", Fault::KillMidCall, IDC_BUTTON_SETTINGS,
     L"SettingsDlg Inition Failed,please check the connection."},
    {"KilledDuringCalibrateProbe", Fault::KillMidCall, IDC_BUTTON_CALIBRATE,
     L"Calibrate Inition Failed,please check the connection."},
    {"UnpluggedThenAbout", Fault::Unplug, IDC_BUTTON_ABOUT,
     L"AboutDlg Inition Failed,please check the connection."},
    {"KilledDuringCalibration", Fault::Kill, 0, L"Please check the connection..."},
    {"FrozenThenKilledDuringCalibration", Fault::KillMidCall, 0, L"Please check the connection..."},
    {"UnpluggedDuringCalibration", Fault::Unplug, 0, L"Please check the connection..."},
};

class PanelFaultTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        host_.emplace(dir_);
        ASSERT_TRUE(host_->WaitReady()) << host_->errText();
        ASSERT_EQ(host_->Cectl({"plug", "coordinate"}).exitCode, 0);
        ::setenv("OTS_DEVMGR_SOCKET", host_->socket().c_str(), 1);
    }

    // Breaks the host the case's way; for KillMidCall the kill follows from another thread
    // once the panel's call has had time to start waiting on the frozen host.
    void Break(Fault fault) {
        switch (fault) {
            case Fault::Kill:
                host_->Stop(SIGKILL);
                break;
            case Fault::KillMidCall:
                ::kill(host_->pid(), SIGSTOP);
                killer_ = std::jthread([this] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    host_->Stop(SIGKILL);
                });
                break;
            case Fault::Unplug:
                ASSERT_EQ(host_->Cectl({"unplug", "1"}).exitCode, 0);
                break;
        }
    }

    DialogDriver ui_;
    ots::test::TempDir dir_;
    std::optional<HostProcess> host_;
    std::jthread killer_;  // declared last: joined before the host goes
};

TEST_P(PanelFaultTest, EndsInTheConnectionMessage) {
    const Case& c = GetParam();
    CMainPanelDlg dialog;
    theApp.m_pMainWnd = &dialog;
    ui_.OnShown(IDD_TSPANEL_DIALOG, [&](CDialog& dlg) {
        if (c.button != 0) {
            Break(c.fault);
        }
        ui_.Click(dlg, c.button != 0 ? c.button : IDC_BUTTON_CALIBRATE);
    });
    ui_.OnShown(IDD_CALIBRATE, [&](CDialog&) { Break(c.fault); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    theApp.m_pMainWnd = nullptr;
    ASSERT_FALSE(ui_.Boxes().empty());
    EXPECT_EQ(ui_.Boxes().back().text, c.box);
    EXPECT_EQ(ui_.Boxes().back().caption, L"ERROR");

    if (c.fault == Fault::Unplug) {  // the host serves the next controller
        EXPECT_EQ(host_->Cectl({"plug", "coordinate"}).exitCode, 0);
        EXPECT_EQ(host_->Cectl({"list"}).exitCode, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, PanelFaultTest, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
