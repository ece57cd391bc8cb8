// The control panel's dialogs against the scripted stream driver: the test says what the
// driver answers (identity, records, failing codes) and compares each run's transcript (the
// controls as shown, the control calls, boxes, debug lines and messages) with a golden text.
#pragma once

#include <functional>
#include <string>

#include "protocol/control_codes.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/messages.h"
#include "support/dialog_driver.h"
#include "support/golden.h"
#include "support/records.h"
#include "support/scripted_devices.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {

using paneltest::kCamera;
using paneltest::kCoordinate;
using paneltest::kSecondStream;

class PanelTest : public paneltest::ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        Activate();
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        ScriptedDevicesTest::TearDown();
    }

    // What the driver answers.
    void Answer(const ots::DeviceIdentity& identity, const ots::DeviceConfig& device = {},
                const ots::DriverConfig& driverConfig = ots::DefaultDriverConfig()) {
        using ots::test::Encoded;
        driver().SetReply(IOCTL_GET_DEVICE_ID,
                          Encoded<ots::kDeviceIdentitySize>(identity, ots::EncodeDeviceIdentity));
        const auto deviceBlock = Encoded<ots::kDeviceConfigSize>(device, ots::EncodeDeviceConfig);
        driver().SetReply(IOCTL_GET_DEVICE_CONFIG, deviceBlock);
        // The camera keeps it in the controller: a vendor command's reply.
        driver().SetReply(IOCTL_GET_COMMAND, ots::test::BlockResponse(2, 0x30, 1, deviceBlock));
        driver().SetReply(IOCTL_GET_DRIVER_CONFIG,
                          Encoded<ots::kDriverConfigSize>(driverConfig, ots::EncodeDriverConfig));
    }

    // Runs a dialog modally with script run once it shows: the main dialog as the program's
    // main window (child null), or child under a main window that notes what reaches it
    // (WM_CONNECTION_LOST, "BeepChanged"). Returns the run's transcript, result last.
    std::string Run(CDialog* child, std::function<void(CDialog&)> script) {
        Happened();
        transcript_.clear();
        boxes_ = ui.Boxes().size();
        INT_PTR result = -1;
        const auto run = [&](CDialog& dialog) {
            ui.OnShown(dialog.TemplateId(), std::move(script));
            result = dialog.DoModal();
        };
        if (child == nullptr) {
            CMainPanelDlg dialog;
            theApp.m_pMainWnd = &dialog;
            run(dialog);
        } else {
            // Built on the about box's template, which the panel registers.
            StandInMain main(IDD_ABOUTBOX, [this](UINT message, WPARAM wParam, LPARAM lParam) {
                if (message == WM_CONNECTION_LOST) {
                    Note("main: connection lost " + std::to_string(wParam) + "," +
                         std::to_string(lParam));
                }
                if (message == WM_BEEP_CHANGED) {
                    Note("main: beep changed");
                }
            });
            ui.OnShown(IDD_ABOUTBOX, [&](CDialog& shown) {
                theApp.m_pMainWnd = &shown;
                run(*child);
                DialogDriver::WaitFor([] { return false; }, 50);  // what it posted arrives
                shown.EndDialog(IDOK);
            });
            main.DoModal();
        }
        theApp.m_pMainWnd = nullptr;
        Note("result " + std::to_string(result));
        return transcript_;
    }

    // Writes the dialog and its controls down in the transcript, after what happened before.
    void Show(CDialog& dialog) {
        Note("shown" + std::string(dialog.IsWindowEnabled() ? "" : " off") +
             (ce::ui::host::WaitCursorDepth() != 0 ? " waiting" : ""));
        // The controls one a line: id, text, and "off" (disabled), "on" (checked), "hidden".
        for (int id = IDC_STATIC_BANNER; id <= IDC_LIST_SCREENS; ++id) {
            if (CWnd* control = dialog.GetDlgItem(id)) {
                transcript_ +=
                    "  " + std::to_string(id) + " \"" + Narrow(control->GetWindowText()) + "\"";
                transcript_ += control->IsWindowEnabled() ? "" : " off";
                transcript_ += dialog.IsDlgButtonChecked(id) == BST_CHECKED ? " on" : "";
                transcript_ += control->IsWindowVisible() ? "\n" : " hidden\n";
            }
        }
        if (auto* list = static_cast<CListCtrl*>(dialog.GetDlgItem(IDC_LIST_SCREENS))) {
            LVITEM item{
                LVIF_IMAGE | LVIF_STATE, 0, 0, 0, LVIS_SELECTED | LVIS_FOCUSED, nullptr, 0, -1, 0};
            list->GetItem(&item);
            transcript_ += "  entries " + std::to_string(list->GetItemCount()) + ", the first \"" +
                           Narrow(list->GetItemText(0, 0)) + "\" picture " +
                           std::to_string(item.iImage) + " state " + std::to_string(item.state) +
                           "\n";
        }
    }

    // Writes down what happened since the last line (driver calls, boxes, debug lines), then
    // the line.
    void Note(const std::string& line) {
        transcript_ += Happened();
        for (; boxes_ < ui.Boxes().size(); ++boxes_) {
            const ShownBox& box = ui.Boxes()[boxes_];
            transcript_ += "box " + Narrow(box.caption) + ": " + Narrow(box.text) + "\n";
        }
        transcript_ += line + "\n";
    }

    DialogDriver ui;

  private:
    // Texts the tests write down are ASCII; a line break shows as '|'.
    static std::string Narrow(const std::wstring& text) {
        std::string narrow;
        for (wchar_t c : text) {
            narrow += c == L'\n' ? '|' : static_cast<char>(c);
        }
        return narrow;
    }

    std::string transcript_;
    std::size_t boxes_ = 0;
};

}  // namespace ui_test
