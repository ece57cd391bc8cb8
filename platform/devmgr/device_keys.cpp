#include "device_keys.h"

#include <atomic>
#include <cwchar>

#include "ce/registry.h"
#include "registry/reg_key.h"

namespace ce::devmgr {
namespace {

constexpr const wchar_t* kActiveRoot = L"Drivers\\Active";
// Running numbers tried before giving up when every key is taken by leftovers.
constexpr unsigned kActiveNumberAttempts = 1000;

std::atomic<unsigned> gLastActiveNumber{0};

LONG WriteActiveValues(const registry::KeyGuard& key, const std::wstring& name,
                       const std::wstring& deviceKey, std::optional<DWORD> clientInfo) {
    LONG result = key.WriteString(L"Name", name);
    if (result == ERROR_SUCCESS) {
        result = key.WriteString(L"Key", deviceKey);
    }
    if (result == ERROR_SUCCESS && clientInfo) {
        const DWORD value = *clientInfo;
        result = RegSetValueExW(key.get(), L"ClientInfo", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    return result;
}

std::wstring ActiveKeyPath(unsigned number) {
    wchar_t path[64];
    std::swprintf(path, std::size(path), L"%ls\\%02u", kActiveRoot, number);
    return path;
}

}  // namespace

std::optional<DeviceKeyValues> ReadDeviceKey(const std::wstring& deviceKey, DWORD* error) {
    registry::KeyGuard key;
    const LONG result = key.Open(deviceKey);
    if (result != ERROR_SUCCESS) {
        *error = static_cast<DWORD>(result);
        return std::nullopt;
    }
    std::optional<std::wstring> dll = key.ReadString(L"Dll", error);
    std::optional<std::wstring> prefix = dll ? key.ReadString(L"Prefix", error) : std::nullopt;
    if (!prefix) {
        return std::nullopt;
    }
    return DeviceKeyValues{std::move(*dll), std::move(*prefix)};
}

std::optional<std::wstring> CreateActiveKey(const std::wstring& name, const std::wstring& deviceKey,
                                            std::optional<DWORD> clientInfo, DWORD* error) {
    for (unsigned attempt = 0; attempt < kActiveNumberAttempts; ++attempt) {
        const std::wstring path = ActiveKeyPath(++gLastActiveNumber);
        registry::KeyGuard key;
        bool created = false;
        LONG result = key.Create(path, &created);
        if (result != ERROR_SUCCESS) {
            *error = static_cast<DWORD>(result);
            return std::nullopt;
        }
        if (!created) {
            continue;  // someone else's key: never write into it
        }
        result = WriteActiveValues(key, name, deviceKey, clientInfo);
        if (result != ERROR_SUCCESS) {
            key.Close();
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
            *error = static_cast<DWORD>(result);
            return std::nullopt;
        }
        return path;
    }
    *error = ERROR_ALREADY_EXISTS;
    return std::nullopt;
}

void RemoveActiveKey(const std::wstring& activeKey) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, activeKey.c_str());
}

void RemoveAllActiveKeys() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kActiveRoot);
}

}  // namespace ce::devmgr
