#include "support/scripted_devices.h"

#include <dlfcn.h>

#include "ce/devmgr.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/kernel.h"
#include "support/registry_probe.h"

namespace paneltest {

namespace {

constexpr const wchar_t* kScriptKey = L"Drivers\\Test\\PanelScript";

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
    return active.empty() ? std::wstring{} : active.back().name;
}

std::vector<Bytes> ScriptedDevicesTest::Sent(DWORD code) const {
    std::vector<Bytes> inputs;
    for (const script::Event& call : state_->IoCalls()) {
        if (call.code == code) {
            inputs.push_back(call.input);
        }
    }
    return inputs;
}

}  // namespace paneltest
