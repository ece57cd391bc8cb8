// ActivateDevice, ActivateDeviceEx and DeactivateDevice.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ce/devmgr.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/kernel_object.h"
#include "ce/kernel.h"
#include "device_keys.h"
#include "device_table.h"
#include "kernel/wide_utf8.h"

namespace ce::devmgr {
namespace {

constexpr std::size_t kPrefixLength = 3;

// The handle ActivateDevice returns. It is only good for DeactivateDevice, which takes the
// device out of it once; closing it otherwise leaves the device active.
class ActivationHandle final : public ce::host::KernelObject {
  public:
    explicit ActivationHandle(std::shared_ptr<DeviceInstance> device)
        : device_(std::move(device)) {}

    std::shared_ptr<DeviceInstance> Take() {
        std::lock_guard lock(mutex_);
        return std::move(device_);
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<DeviceInstance> device_;
};

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

std::unique_ptr<DriverLibrary> LoadDriver(const DeviceKeyValues& values, DWORD* error) {
    const std::string path = ce::host::ResolveDriverLibrary(text::ToUtf8(values.dll));
    return DriverLibrary::Load(path, text::ToUtf8(values.prefix), error);
}

// Runs Init on a reserved instance with its active key; on refusal the key and the name go.
bool InitInstance(DeviceTable& table, const std::shared_ptr<DeviceInstance>& device,
                  LPCVOID busContext) {
    SetLastError(ERROR_SUCCESS);
    if (device->Init(busContext) != 0) {
        return true;
    }
    const DWORD driverError = GetLastError();
    RemoveActiveKey(device->ActiveKey());
    table.Release(device);
    SetLastError(driverError != ERROR_SUCCESS ? driverError : ERROR_GEN_FAILURE);
    return false;
}

HANDLE Activate(LPCWSTR deviceKey, std::optional<DWORD> clientInfo, LPCVOID busContext) {
    if (deviceKey == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD error = ERROR_SUCCESS;
    const std::optional<DeviceKeyValues> values = ReadDeviceKey(deviceKey, &error);
    if (!values) {
        return Fail(error);
    }
    if (values->prefix.size() != kPrefixLength) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::unique_ptr<DriverLibrary> library = LoadDriver(*values, &error);
    if (!library) {
        return Fail(error);
    }
    DeviceTable& table = DeviceTable::Get();
    const std::shared_ptr<DeviceInstance> device =
        table.Reserve(values->prefix, deviceKey, std::move(library));
    if (!device) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    std::optional<std::wstring> activeKey =
        CreateActiveKey(device->Name(), deviceKey, clientInfo, &error);
    if (!activeKey) {
        table.Release(device);
        return Fail(error);
    }
    device->SetActiveKey(std::move(*activeKey));
    if (!InitInstance(table, device, busContext)) {
        return nullptr;
    }
    table.Publish(device);
    return ce::host::InsertHandle(std::make_shared<ActivationHandle>(device));
}

}  // namespace
}  // namespace ce::devmgr

extern "C" HANDLE ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo) {
    return ce::devmgr::Activate(lpszDevKey, dwClientInfo, nullptr);
}

extern "C" HANDLE ActivateDeviceEx(LPCWSTR lpszDevKey, void* lpRegEnts, DWORD cRegEnts,
                                   LPVOID lpvParam) {
    if (lpRegEnts != nullptr && cRegEnts != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ce::devmgr::Activate(lpszDevKey, std::nullopt, lpvParam);
}

extern "C" BOOL DeactivateDevice(HANDLE hDevice) {
    using ce::devmgr::ActivationHandle;
    const auto activation = ce::host::LookupHandleAs<ActivationHandle>(hDevice);
    const std::shared_ptr<ce::devmgr::DeviceInstance> device =
        activation ? activation->Take() : nullptr;
    if (!device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ce::devmgr::DeviceTable& table = ce::devmgr::DeviceTable::Get();
    // Calls stop before the name disappears, so a client that still finds it is refused.
    device->StopCalls();
    table.Unpublish(device);
    device->Deinit();
    ce::devmgr::RemoveActiveKey(device->ActiveKey());
    table.Release(device);
    CloseHandle(hDevice);
    return TRUE;
}
