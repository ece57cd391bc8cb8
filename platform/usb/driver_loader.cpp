#include "driver_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "ce/debug.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/usb_host.h"
#include "kernel/wide_utf8.h"

namespace ce::usb {

namespace {

struct LoaderState {
    std::mutex mutex;
    std::string searchPath;
    bool searchPathSet = false;
    std::map<std::string, LPUSB_DEVICE_ATTACH> loaded;  // by resolved path
};

LoaderState& State() {
    static auto* state = new LoaderState;  // lives as long as the libraries it loaded
    return *state;
}

std::string ExecutableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

std::string SearchPathLocked(LoaderState& state) {
    if (!state.searchPathSet) {
        state.searchPath = ExecutableFolder();
        state.searchPathSet = true;
    }
    return state.searchPath;
}

template <class Fn>
Fn Symbol(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

LPUSB_DEVICE_ATTACH LoadClientDriver(const std::wstring& dll) {
    const std::string path = host::ResolveDriverLibrary(text::ToUtf8(dll));
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (auto it = state.loaded.find(path); it != state.loaded.end()) {
        return it->second;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        NKDbgPrintfW(L"usbd: cannot load client driver %hs: %hs\r\n", path.c_str(),
                     why != nullptr ? why : "unknown error");
        return nullptr;
    }
    const auto attach = Symbol<LPUSB_DEVICE_ATTACH>(library, "USBDeviceAttach");
    if (attach == nullptr) {
        NKDbgPrintfW(L"usbd: client driver %hs exports no USBDeviceAttach\r\n", path.c_str());
        dlclose(library);
        return nullptr;
    }
    if (const auto dllMain = Symbol<LPDLL_MAIN>(library, "DllMain")) {
        dllMain(library, DLL_PROCESS_ATTACH, nullptr);
    }
    state.loaded.emplace(path, attach);
    return attach;
}

}  // namespace ce::usb

namespace ce::host {

void SetDriverSearchPath(const std::string& dir) {
    auto& state = ce::usb::State();
    std::lock_guard lock(state.mutex);
    state.searchPath = dir;
    state.searchPathSet = true;
}

std::string DriverSearchPath() {
    auto& state = ce::usb::State();
    std::lock_guard lock(state.mutex);
    return ce::usb::SearchPathLocked(state);
}

}  // namespace ce::host
