// The control panel's dialogs against the scripted stream driver: the test says what the
// driver answers (identity, records, failing codes) and reads back what the dialogs sent.
#pragma once

#include <functional>
#include <vector>

#include "protocol/control_codes.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "support/dialog_driver.h"
#include "support/scripted_devices.h"

namespace ui_test {

using paneltest::kCamera;
using paneltest::kCoordinate;
using paneltest::kSecondStream;

class PanelTest : public paneltest::ScriptedDevicesTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // What the driver answers.
    void Answer(const ots::DeviceIdentity& identity, const ots::DeviceConfig& device = {},
                const ots::DriverConfig& driverConfig = ots::DefaultDriverConfig());
    void FailCode(DWORD code) { driver().FailCode(code); }
    int Calls(DWORD code) const { return static_cast<int>(Sent(code).size()); }
    // The driver settings the dialogs sent, oldest first.
    ots::DriverConfig DriverConfigSent(std::size_t index) const;
    ots::DriverConfig LastDriverConfigSent() const {
        return DriverConfigSent(Sent(IOCTL_SET_DRIVER_CONFIG).size() - 1);
    }

    // Runs the main dialog as the program does (it is the application's main window) with
    // script run once it shows; the dialog's result.
    INT_PTR RunMainDialog(std::function<void(CDialog&)> script);
    // Runs a child dialog modally under a main window that records WM_CONNECTION_LOST.
    INT_PTR RunChild(CDialog& dialog, std::function<void(CDialog&)> script);
    bool ConnectionLostPosted() const { return connectionLost_; }
    // "BeepChanged" broadcasts that reached the main window.
    int BeepBroadcasts() const { return beepBroadcasts_; }

    DialogDriver ui;

  private:
    bool connectionLost_ = false;
    int beepBroadcasts_ = 0;
};

}  // namespace ui_test
