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
#include "support/dialog_driver.h"
#include "support/golden.h"
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

    // Runs a dialog modally with script run once it shows: the main dialog as the program's
    // main window (child null), or child under a main window that notes what reaches it
    // (WM_CONNECTION_LOST, "BeepChanged"). Returns the run's transcript, result last.
    std::string Run(CDialog* child, std::function<void(CDialog&)> script);
    // Writes the dialog and its controls down in the transcript, after what happened before.
    void Show(CDialog& dialog);
    void Note(const std::string& line);

    DialogDriver ui;

  private:
    void Flush();

    std::string transcript_;
    std::size_t boxes_ = 0;
};

}  // namespace ui_test
