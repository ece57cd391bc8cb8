#include "driver_library.h"

#include <dlfcn.h>

#include "ce/debug.h"

namespace ce::devmgr {
namespace {

template <class Function>
bool LookUp(void* handle, const std::string& path, const std::string& prefix, const char* operation,
            Function* entry) {
    const std::string symbol = prefix + "_" + operation;
    *entry = reinterpret_cast<Function>(dlsym(handle, symbol.c_str()));
    if (*entry == nullptr) {
        NKDbgPrintfW(L"<devmgr><ActivateDevice>%hs does not export %hs\n", path.c_str(),
                     symbol.c_str());
    }
    return *entry != nullptr;
}

}  // namespace

std::unique_ptr<DriverLibrary> DriverLibrary::Load(const std::string& path,
                                                   const std::string& prefix, DWORD* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        NKDbgPrintfW(L"<devmgr><ActivateDevice>cannot load %hs: %hs\n", path.c_str(),
                     reason != nullptr ? reason : "unknown reason");
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::unique_ptr<DriverLibrary> library(new DriverLibrary(handle, path));
    if (!library->Bind(prefix)) {
        *error = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    return library;
}

DriverLibrary::~DriverLibrary() {
    dlclose(handle_);
}

bool DriverLibrary::Bind(const std::string& prefix) {
    // Evaluate every lookup so that each missing entry point is named.
    const bool init = LookUp(handle_, path_, prefix, "Init", &entries_.init);
    const bool deinit = LookUp(handle_, path_, prefix, "Deinit", &entries_.deinit);
    const bool open = LookUp(handle_, path_, prefix, "Open", &entries_.open);
    const bool close = LookUp(handle_, path_, prefix, "Close", &entries_.close);
    const bool ioControl = LookUp(handle_, path_, prefix, "IOControl", &entries_.ioControl);
    return init && deinit && open && close && ioControl;
}

}  // namespace ce::devmgr
