// tspanel, cehost and the shell as processes: the panel in the test process against a cehost in
// another, which dies, freezes or loses its controller while the panel holds the device (every
// case ends in the panel's connection message and the program's end, never in a hang, and the
// host serves the next plug); settings saved into the host's registry, or not; a second copy of
// the program that brings forward what the first shows and ends; the program without a display,
// and after a killed copy; the shell's task bar hidden and shown from another process; a panel
// ended mid-calibration; the window files of processes that ended. (tspanel on a real X server
// is the demo's test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "device/device_access.h"
#include "support/dialog_driver.h"
#include "support/golden.h"
#include "support/host_process.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace {

using ots::test::HostProcess;
using ots::test::Spawn;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ui_test::DialogDriver;

constexpr const wchar_t* kTitle = L"TouchScreen Control Panel";

// A cehost in a child process with a coordinate controller plugged; the panel's devices are
// the host's.
class ProcessesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.emplace(dir_);
        ASSERT_TRUE(host_->WaitReady()) << host_->errText();
        ASSERT_EQ(host_->Cectl({"plug", "coordinate"}).exitCode, 0);
        ::setenv("OTS_DEVMGR_SOCKET", host_->socket().c_str(), 1);
    }
    std::vector<std::string> Environment() const {
        return {"OTS_DEVMGR_SOCKET=" + host_->socket(), "OTS_WINDOW_DIR=" + ui_test::WindowFolder(),
                "QT_QPA_PLATFORM=offscreen"};
    }
    static int Stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        return ots::test::WaitExit(pid);
    }

    DialogDriver ui_;
    ots::test::TempDir dir_;
    std::optional<HostProcess> host_;
};

// Touch is on by default; the panel saves it off into the host's registry, with the click on
// touch chosen and the beep on touch that it shows (mended: the stored beep mode stayed on
// release). Mended: OK after the screen has gone tells the user the settings were not saved.
TEST_F(ProcessesTest, SettingsReachTheHostsRegistryAsShownOrTheUserIsToldTheyDidNot) {
    for (const bool unplugged : {false, true}) {
        CSettingsDlg dialog;
        ui_.OnShown(IDD_SETTINGS, [&](CDialog& dlg) {
            ui_.Click(dlg, IDC_CHECK_ENABLE_TOUCH);
            ui_.Click(dlg, IDC_RADIO_CLICK_ON_TOUCH);
            EXPECT_TRUE(!unplugged || host_->Cectl({"unplug", "1"}).exitCode == 0);
            ui_.Click(dlg, IDC_BUTTON_OK);
        });
        dialog.DoModal();
    }
    EXPECT_THAT(host_->Cectl({"reg", "dump"}).out,
                AllOf(HasSubstr("\"EnableTouch\"=dword:00000000"),
                      HasSubstr("\"BeepMode\"=dword:00000000")));
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].caption + L": " + ui_.Boxes()[0].text, L"ERROR: Settings not saved.");
}

// A second copy brings forward the settings dialog or the calibration window that the first
// shows over its main dialog, and ends (mended: the main dialog came forward over them), also
// with a killed copy's windows left behind. The calibration hides the task bar of the shell,
// another process, and shows it again.
TEST_F(ProcessesTest, SecondCopyBringsForwardWhatTheFirstShowsAndEnds) {
    const pid_t shell = Spawn({OTS_CESHELL}, "", "", Environment());
    HWND bar = nullptr;
    ASSERT_TRUE(DialogDriver::WaitFor([&] { return (bar = FindWindow(L"HHTaskBar", nullptr)); }));
    // A copy killed with SIGKILL stops no other: this process takes its lock as the first copy.
    const pid_t killed = Spawn({OTS_TSPANEL}, "", "", Environment());
    EXPECT_TRUE(DialogDriver::WaitFor([] { return FindWindow(nullptr, kTitle) != nullptr; }));
    ::kill(killed, SIGKILL);
    ots::test::WaitExit(killed);
    const HANDLE firstCopy = CreateMutex(nullptr, FALSE, L"tspanel");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    for (const UINT shown : {IDD_SETTINGS, IDD_CALIBRATE}) {
        CMainPanelDlg dialog;
        theApp.m_pMainWnd = &dialog;
        ui_.OnShown(IDD_TSPANEL_DIALOG, [&](CDialog& dlg) {
            ui_.Click(dlg, shown == IDD_SETTINGS ? IDC_BUTTON_SETTINGS : IDC_BUTTON_CALIBRATE);
        });
        ui_.OnShown(shown, [&](CDialog& dlg) {
            EXPECT_EQ(ots::test::RunProgram({OTS_TSPANEL}, dir_, Environment()).exitCode, 0);
            EXPECT_TRUE(DialogDriver::WaitFor([&] { return GetForegroundWindow() == dlg.m_hWnd; }));
            EXPECT_TRUE(DialogDriver::WaitFor(
                [&] { return !IsWindowVisible(bar) == (shown == IDD_CALIBRATE); }));
            ui_.Key(dlg, VK_ESCAPE);
            EXPECT_TRUE(
                DialogDriver::WaitFor([&] { return !CalibrateDialog && IsWindowVisible(bar); }));
            dialog.EndDialog(IDOK);
        });
        dialog.DoModal();
        theApp.m_pMainWnd = nullptr;
    }
    CloseHandle(firstCopy);
    ::kill(shell, SIGTERM);
    EXPECT_EQ(ots::test::WaitExit(shell), 0);
}

// Without a display the program says so and ends at once, before it takes the one-copy lock
// (mended: it ran on unseen, and every later copy ended at once).
TEST_F(ProcessesTest, WithoutADisplayItSaysSoAndEnds) {
    std::string transcript;  // exit code, standard output and error of each run
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{OTS_TSPANEL, "--help"},
          {"/usr/bin/env", "-u", "DISPLAY", "-u", "QT_QPA_PLATFORM", OTS_TSPANEL},
          {"/usr/bin/env", "-u", "QT_QPA_PLATFORM", "DISPLAY=:4242", OTS_TSPANEL}}) {
        const ots::test::ProgramResult run = ots::test::RunProgram(argv, dir_, Environment());
        transcript += "exit " + std::to_string(run.exitCode) + "\n" + run.out + run.err;
    }
    ots::test::ExpectGolden(transcript, OTS_GOLDEN_DIR "no_display.txt");
}

// tspanel ended in the middle of a calibration: a SIGTERM gives the driver back the user's own
// mode and shows the task bar at once; after a SIGKILL the panel's next start does.
TEST_F(ProcessesTest, EndedMidCalibrationTheDriverAndTheTaskBarComeBack) {
    const pid_t shell = Spawn({OTS_CESHELL}, "", dir_.File("shell.err"), Environment());
    HWND bar = nullptr;
    ASSERT_TRUE(DialogDriver::WaitFor([&] { return (bar = FindWindow(L"HHTaskBar", nullptr)); }));
    ots::DriverConfig config{};
    const auto own = [&] {
        return GetDriverConfig(&config, 0) && config.IsCalibrating == 0 && config.Mode == 2 &&
               IsWindowVisible(bar);
    };
    for (const int signal : {SIGTERM, SIGKILL}) {
        const pid_t panel = Spawn({OTS_TSPANEL}, "", dir_.File("panel.err"), Environment());
        HWND window = nullptr;
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return (window = FindWindow(nullptr, kTitle)); }));
        PostMessage(window, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_CALIBRATE, BN_CLICKED), 0);
        // The task bar hides once the driver is in calibration mode.
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return !IsWindowVisible(bar); }));
        ::kill(panel, signal);
        ots::test::WaitExit(panel);
        if (signal == SIGKILL) {
            ASSERT_TRUE(DialogDriver::WaitFor([&] { return GetDriverConfig(&config, 0) != 0; }));
            EXPECT_EQ(config.IsCalibrating, 1) << "nothing of the panel ran";
            const pid_t next = Spawn({OTS_TSPANEL}, "", dir_.File("next.err"), Environment());
            // Asked only once the panel shows (initialised): a panel is the driver's only client.
            EXPECT_TRUE(DialogDriver::WaitFor([&] {
                const HWND fresh = FindWindow(nullptr, kTitle);
                return fresh != nullptr && fresh != window && IsWindowVisible(fresh);
            }));
            EXPECT_TRUE(DialogDriver::WaitFor(own));
            Stop(next);
        }
        EXPECT_TRUE(own()) << "signal " << signal << " calibrating " << int(config.IsCalibrating)
                           << " mode " << int(config.Mode) << " bar " << IsWindowVisible(bar);
    }
    Stop(shell);
}

// A killed process leaves its socket and window files; the next process that shows a window
// removes them, and a process that ends in order takes its own along.
TEST_F(ProcessesTest, WindowFilesGoWithTheirProcess) {
    const auto shell = [&] {
        return Spawn({OTS_CESHELL}, "", dir_.File("shell.err"),
                     {"OTS_WINDOW_DIR=" + ui_test::WindowFolder(), "QT_QPA_PLATFORM=offscreen"});
    };
    const auto socketOf = [](pid_t pid) {
        return std::filesystem::path(ui_test::WindowFolder()) / (std::to_string(pid) + ".sock");
    };
    const pid_t killed = shell();
    ASSERT_TRUE(DialogDriver::WaitFor([&] { return std::filesystem::exists(socketOf(killed)); }));
    ::kill(killed, SIGKILL);
    ots::test::WaitExit(killed);
    ASSERT_TRUE(std::filesystem::exists(socketOf(killed)));
    const pid_t next = shell();
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return !std::filesystem::exists(socketOf(killed)); }));
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return std::filesystem::exists(socketOf(next)); }));
    EXPECT_EQ(Stop(next), 0);
    for (const auto& file : std::filesystem::directory_iterator(ui_test::WindowFolder())) {
        const auto handle = std::strtoull(file.path().stem().c_str(), nullptr, 16);
        EXPECT_FALSE(file.path().extension() == ".win" && (handle >> 32) == std::uint64_t(next))
            << file.path();
    }
    EXPECT_FALSE(std::filesystem::exists(socketOf(next)));
}

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

class PanelFaultTest : public ProcessesTest, public ::testing::WithParamInterface<Case> {
  protected:
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

    std::jthread killer_;  // joined before the host goes
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
