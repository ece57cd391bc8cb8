#include "device_instance.h"

namespace ce::devmgr {

DeviceInstance::DeviceInstance(std::wstring prefix, unsigned index, std::wstring deviceKey,
                               std::unique_ptr<DriverLibrary> library)
    : prefix_(std::move(prefix)),
      index_(index),
      name_(prefix_ + std::to_wstring(index) + L":"),
      deviceKey_(std::move(deviceKey)),
      libraryPath_(library->Path()),
      library_(std::move(library)),
      entries_(library_->Entries()) {}

DWORD DeviceInstance::Init(LPCVOID busContext) {
    initContext_ = entries_.init(activeKey_.c_str(), busContext);
    return initContext_;
}

void DeviceInstance::Deinit() {
    gate_.CloseAndDrain();
    entries_.deinit(initContext_);
    entries_ = {};
    library_.reset();
}

std::optional<DWORD> DeviceInstance::Open(DWORD access, DWORD share) {
    const CallGate::Pass pass = gate_.Enter();
    if (!pass) {
        return std::nullopt;
    }
    return entries_.open(initContext_, access, share);
}

std::optional<BOOL> DeviceInstance::IoControl(DWORD openContext, DWORD code, PBYTE in,
                                              DWORD inLength, PBYTE out, DWORD outLength,
                                              PDWORD actualOut) {
    const CallGate::Pass pass = gate_.Enter();
    if (!pass) {
        return std::nullopt;
    }
    return entries_.ioControl(openContext, code, in, inLength, out, outLength, actualOut);
}

std::optional<BOOL> DeviceInstance::Close(DWORD openContext) {
    const CallGate::Pass pass = gate_.Enter();
    if (!pass) {
        return std::nullopt;
    }
    return entries_.close(openContext);
}

}  // namespace ce::devmgr
