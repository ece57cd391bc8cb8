// The panel's functions against the scripted stream driver (driver/script_driver.h): a clean
// registry, a device key that names the scripted driver with the prefix OTS, and as many
// instances as a test asks for ("OTS1:", then "OTS2:").
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "panel_device/driver/script_driver.h"

namespace paneltest {

using ce::host::DebugChannel;

class ScriptedDevicesTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Activates one more instance of the scripted driver; returns its name.
    std::wstring Activate();
    script::DriverState& driver() const { return *state_; }

    // The ops of the recorded events, with their device, as "Open OTS1:", "IoControl OTS1:
    // 0x80002014", "Close OTS1:".
    std::vector<std::string> Trace() const;

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::DebugCapture capture_;

  private:
    void* library_ = nullptr;
    script::DriverState* state_ = nullptr;
    std::vector<HANDLE> activations_;
};

// "Open OTS1:" and so on, as Trace() writes them.
std::string OpenOf(const char* device);
std::string CloseOf(const char* device);
std::string IoOf(const char* device, DWORD code);

}  // namespace paneltest
