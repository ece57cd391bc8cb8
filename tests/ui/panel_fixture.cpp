#include "panel_fixture.h"

#include "protocol/messages.h"
#include "support/records.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {

void PanelTest::SetUp() {
    ScriptedDevicesTest::SetUp();
    Activate();
}

void PanelTest::TearDown() {
    theApp.m_pMainWnd = nullptr;
    ScriptedDevicesTest::TearDown();
}

void PanelTest::Answer(const ots::DeviceIdentity& identity, const ots::DeviceConfig& device,
                       const ots::DriverConfig& driverConfig) {
    driver().SetReply(IOCTL_GET_DEVICE_ID, ots::test::Encoded<ots::kDeviceIdentitySize>(
                                               identity, ots::EncodeDeviceIdentity));
    driver().SetReply(IOCTL_GET_DEVICE_CONFIG,
                      ots::test::Encoded<ots::kDeviceConfigSize>(device, ots::EncodeDeviceConfig));
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG, ots::test::Encoded<ots::kDriverConfigSize>(
                                                   driverConfig, ots::EncodeDriverConfig));
}

void PanelTest::Flush() {
    transcript_ += Happened();
    for (; boxes_ < ui.Boxes().size(); ++boxes_) {
        const ShownBox& box = ui.Boxes()[boxes_];
        transcript_ += "box " + Narrow(box.caption) + ": " + Narrow(box.text) + "\n";
    }
}

void PanelTest::Note(const std::string& line) {
    Flush();
    transcript_ += line + "\n";
}

void PanelTest::Show(CDialog& dialog) {
    Note("shown" + std::string(dialog.IsWindowEnabled() ? "" : " off") +
         (ce::ui::host::WaitCursorDepth() != 0 ? " waiting" : ""));
    transcript_ += DialogDriver::Describe(dialog, IDC_STATIC_BANNER, IDC_LIST_SCREENS);
    if (auto* list = static_cast<CListCtrl*>(dialog.GetDlgItem(IDC_LIST_SCREENS))) {
        LVITEM item{
            LVIF_IMAGE | LVIF_STATE, 0, 0, 0, LVIS_SELECTED | LVIS_FOCUSED, nullptr, 0, -1, 0};
        list->GetItem(&item);
        transcript_ += "  entries " + std::to_string(list->GetItemCount()) + ", the first \"" +
                       Narrow(list->GetItemText(0, 0)) + "\" picture " +
                       std::to_string(item.iImage) + " state " + std::to_string(item.state) + "\n";
    }
}

std::string PanelTest::Run(CDialog* child, std::function<void(CDialog&)> script) {
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

}  // namespace ui_test
