// The panel's functions against the scripted stream driver (panel_device/driver): a clean
// registry, a device key that names the scripted driver with the prefix OTS, and as many
// instances as a test activates ("OTS1:", then "OTS2:").
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "panel_device/driver/script_driver.h"
#include "protocol/device_identity.h"

namespace paneltest {

using Bytes = std::vector<BYTE>;
using ce::host::DebugChannel;

inline constexpr ots::DeviceIdentity kCamera{0x7E21, 0x0C20, 0x0100};
inline constexpr ots::DeviceIdentity kCoordinate{0x5A17, 0x0101, 0x0100};
inline constexpr ots::DeviceIdentity kSecondStream{0x7E21, 0x0012, 0x0100};

class ScriptedDevicesTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Activates one more instance of the scripted driver; returns its name.
    std::wstring Activate();
    script::DriverState& driver() const { return *state_; }
    // What happened since the last look: the driver's opens, control calls (code, input,
    // output room) and closes, then the debug lines by channel. Every vendor command must
    // have waited before it was sent.
    std::string Happened();

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::DebugCapture capture_;

  private:
    void* library_ = nullptr;
    script::DriverState* state_ = nullptr;
    std::vector<HANDLE> activations_;
    std::vector<std::wstring> names_;  // by context
};

}  // namespace paneltest
