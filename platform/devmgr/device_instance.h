// One activated stream device ("OTS1:"): its name, keys, driver library and the contexts its
// driver returned, and the gate through which every call into the driver passes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "call_gate.h"
#include "driver_library.h"

namespace ce::devmgr {

class DeviceInstance {
  public:
    DeviceInstance(std::wstring prefix, unsigned index, std::wstring deviceKey,
                   std::unique_ptr<DriverLibrary> library);

    const std::wstring& Prefix() const { return prefix_; }
    unsigned Index() const { return index_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& DeviceKey() const { return deviceKey_; }
    const std::string& LibraryPath() const { return libraryPath_; }

    // The active key path is given to the driver's Init, which may keep the pointer: the string
    // stays unchanged for the life of the instance.
    void SetActiveKey(std::wstring path) { activeKey_ = std::move(path); }
    const std::wstring& ActiveKey() const { return activeKey_; }

    // <Prefix>_Init with the active key path; keeps and returns the device context (0: refused).
    DWORD Init(LPCVOID busContext);
    // Refuses new calls: from now on every call reports the device gone.
    void StopCalls() { gate_.Close(); }
    // Refuses new calls, waits for those in progress, calls <Prefix>_Deinit and lets the library
    // go.
    void Deinit();

    // Calls into the driver; nullopt when the device is gone (deactivated or being deactivated).
    std::optional<DWORD> Open(DWORD access, DWORD share);
    std::optional<BOOL> IoControl(DWORD openContext, DWORD code, PBYTE in, DWORD inLength,
                                  PBYTE out, DWORD outLength, PDWORD actualOut);
    std::optional<BOOL> Close(DWORD openContext);

  private:
    const std::wstring prefix_;
    const unsigned index_;
    const std::wstring name_;
    const std::wstring deviceKey_;
    const std::string libraryPath_;
    std::wstring activeKey_;
    std::unique_ptr<DriverLibrary> library_;  // released once Deinit has returned
    StreamEntryPoints entries_;
    DWORD initContext_ = 0;
    CallGate gate_;
};

}  // namespace ce::devmgr
