#include "panel_fixture.h"

#include <algorithm>
#include <array>

#include "protocol/messages.h"
#include "support/records.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

namespace ui_test {
namespace {

template <std::size_t N, class Record, class Encode>
std::vector<BYTE> Bytes(const Record& record, Encode encode) {
    std::array<std::uint8_t, N> bytes{};
    encode(record, bytes);
    return {bytes.begin(), bytes.end()};
}

// The program's main window while a child dialog runs: notes WM_CONNECTION_LOST only.
class CMainStandIn : public CDialog {
  public:
    CMainStandIn(bool* lost, int* beeps) : CDialog(IDD_ABOUTBOX), lost_(lost), beeps_(beeps) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CONNECTION_LOST && wParam == 1 && lParam == 1) {
            *lost_ = true;
        }
        if (message == WM_BEEP_CHANGED) {
            ++*beeps_;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }

  private:
    bool* lost_;
    int* beeps_;
};

}  // namespace

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
    driver().SetReply(IOCTL_GET_DEVICE_ID,
                      Bytes<ots::kDeviceIdentitySize>(identity, ots::EncodeDeviceIdentity));
    driver().SetReply(IOCTL_GET_DEVICE_CONFIG,
                      Bytes<ots::kDeviceConfigSize>(device, ots::EncodeDeviceConfig));
    driver().SetReply(IOCTL_GET_DRIVER_CONFIG,
                      Bytes<ots::kDriverConfigSize>(driverConfig, ots::EncodeDriverConfig));
}

ots::DriverConfig PanelTest::DriverConfigSent(std::size_t index) const {
    const auto sent = Sent(IOCTL_SET_DRIVER_CONFIG);
    EXPECT_LT(index, sent.size());
    return ots::DecodeDriverConfig(ots::test::ArrayOf<ots::kDriverConfigSize>(
        index < sent.size() ? sent[index] : std::vector<BYTE>{}));
}

INT_PTR PanelTest::RunMainDialog(std::function<void(CDialog&)> script) {
    CMainPanelDlg dialog;
    theApp.m_pMainWnd = &dialog;
    ui.OnShown(IDD_TSPANEL_DIALOG, std::move(script));
    const INT_PTR result = dialog.DoModal();
    theApp.m_pMainWnd = nullptr;
    return result;
}

INT_PTR PanelTest::RunChild(CDialog& dialog, std::function<void(CDialog&)> script) {
    connectionLost_ = false;
    beepBroadcasts_ = 0;
    CMainStandIn main(&connectionLost_, &beepBroadcasts_);
    INT_PTR result = -1;
    ui.OnShown(IDD_ABOUTBOX, [&](CDialog& shown) {
        theApp.m_pMainWnd = &shown;
        ui.OnShown(dialog.TemplateId(), std::move(script));
        result = dialog.DoModal();
        DialogDriver::WaitFor([] { return false; }, 50);  // what it posted arrives
        shown.EndDialog(IDOK);
    });
    main.DoModal();
    theApp.m_pMainWnd = nullptr;
    return result;
}

}  // namespace ui_test
