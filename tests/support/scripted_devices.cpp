#include "support/scripted_devices.h"

#include <dlfcn.h>

#include <cstdio>

#include "ce/devmgr.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "protocol/control_codes.h"
#include "support/records.h"
#include "support/registry_probe.h"

namespace paneltest {

namespace {

constexpr const wchar_t* kScriptKey = L"Drivers\\Test\\PanelScript";
constexpr double kAttemptPauseMs = 20;

}  // namespace

void ScriptedDevicesTest::SetUp() {
    ce::host::ResetRegistry();
    const std::string file = SCRIPT_DRIVER_FILE_NAME;
    ots::test::WriteString(kScriptKey, L"Dll", std::wstring(file.begin(), file.end()));
    ots::test::WriteString(kScriptKey, L"Prefix", L"OTS");
    // Our own reference keeps the state alive across deactivations.
    library_ = dlopen(ce::host::ResolveDriverLibrary(file).c_str(), RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto state = reinterpret_cast<script::DriverState* (*)()>(dlsym(library_, "OTS_ScriptState"));
    ASSERT_NE(state, nullptr);
    state_ = state();
    state_->Reset();
}

void ScriptedDevicesTest::TearDown() {
    for (HANDLE device : activations_) {
        DeactivateDevice(device);
    }
    if (library_ != nullptr) {
        dlclose(library_);
    }
}

std::wstring ScriptedDevicesTest::Activate() {
    const std::size_t before = ce::host::ListActiveDevices().size();
    HANDLE device = ActivateDevice(kScriptKey, 0);
    EXPECT_NE(device, nullptr) << "error " << GetLastError();
    activations_.push_back(device);
    const auto active = ce::host::ListActiveDevices();
    EXPECT_EQ(active.size(), before + 1);
    names_.push_back(active.empty() ? std::wstring{} : active.back().name);
    return names_.back();
}

std::string ScriptedDevicesTest::Happened() {
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
                    " out " + (event.outputLength ? std::to_string(*event.outputLength) : "null") +
                    "\n";
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

}  // namespace paneltest
