// The panel's functions against the scripted stream driver (panel_device/driver): a clean
// registry, a device key that names the scripted driver with the prefix OTS, and as many
// instances as a test activates ("OTS1:", then "OTS2:").
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ce/devmgr.h"
#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "panel_device/driver/script_driver.h"
#include "protocol/control_codes.h"
#include "protocol/device_identity.h"
#include "support/records.h"
#include "support/registry_probe.h"

namespace paneltest {

using Bytes = std::vector<BYTE>;
using ce::host::DebugChannel;

inline constexpr ots::DeviceIdentity kCamera{0x7E21, 0x0C20, 0x0100};
inline constexpr ots::DeviceIdentity kCoordinate{0x5A17, 0x0101, 0x0100};
inline constexpr ots::DeviceIdentity kSecondStream{0x7E21, 0x0012, 0x0100};
inline constexpr const wchar_t* kScriptKey = L"Drivers\\Test\\PanelScript";
inline constexpr double kAttemptPauseMs = 20;

class ScriptedDevicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::ResetRegistry();
        const std::string file = SCRIPT_DRIVER_FILE_NAME;
        ots::test::WriteString(kScriptKey, L"Dll", std::wstring(file.begin(), file.end()));
        ots::test::WriteString(kScriptKey, L"Prefix", L"OTS");
        // Our own reference keeps the state alive across deactivations.
        library_ = dlopen(ce::host::ResolveDriverLibrary(file).c_str(), RTLD_NOW);
        ASSERT_NE(library_, nullptr) << dlerror();
        auto state =
            reinterpret_cast<script::DriverState* (*)()>(dlsym(library_, "OTS_ScriptState"));
        ASSERT_NE(state, nullptr);
        state_ = state();
        state_->Reset();
    }
    void TearDown() override {
        for (HANDLE device : activations_) {
            DeactivateDevice(device);
        }
        if (library_ != nullptr) {
            dlclose(library_);
        }
    }

    // Activates one more instance of the scripted driver; returns its name.
    std::wstring Activate() {
        const std::size_t before = ce::host::ListActiveDevices().size();
        HANDLE device = ActivateDevice(kScriptKey, 0);
        EXPECT_NE(device, nullptr) << "error " << GetLastError();
        activations_.push_back(device);
        const auto active = ce::host::ListActiveDevices();
        EXPECT_EQ(active.size(), before + 1);
        names_.push_back(active.empty() ? std::wstring{} : active.back().name);
        return names_.back();
    }
    script::DriverState& driver() const { return *state_; }
    // What happened since the last look: the driver's opens, control calls (code, input,
    // output room) and closes, then the debug lines by channel. Every vendor command must
    // have waited before it was sent.
    std::string Happened() {
        std::string text;
        double last = 0;
        for (const script::Event& event : state_->TakeEvents()) {
            const std::wstring& name = names_.at(event.context - 1);
            const std::string device(name.begin(), name.end());
            if (event.op != script::Op::IoControl) {
                text += (event.op == script::Op::Open ? "open " : "close ") + device + "\n";
            } else {
                char code[16];
                std::snprintf(code, sizeof code, " %08X in ", event.code);
                text += device + code + (event.input ? ots::test::HexDump(*event.input) : "null") +
                        " out " +
                        (event.outputLength ? std::to_string(*event.outputLength) : "null") + "\n";
                if (event.code == IOCTL_SET_COMMAND || event.code == IOCTL_GET_COMMAND) {
                    EXPECT_GE(event.platformMs - last, kAttemptPauseMs) << text;
                }
            }
            last = event.platformMs;
        }
        for (const auto& [channel, tag] : {std::pair{DebugChannel::Kernel, "kernel: "},
                                           std::pair{DebugChannel::Runtime, "runtime: "}}) {
            for (std::string line : capture_.Lines(channel)) {
                if (line.ends_with('\r')) {
                    line.replace(line.size() - 1, 1, "\\r");
                }
                text += tag + line + "\n";
            }
        }
        capture_.Clear();
        return text;
    }

    ce::host::ScopedTimeScale fast_{0.01};
    ce::host::DebugCapture capture_;

  private:
    void* library_ = nullptr;
    script::DriverState* state_ = nullptr;
    std::vector<HANDLE> activations_;
    std::vector<std::wstring> names_;  // by context
};

}  // namespace paneltest
