#include "device_keys.h"

#include <atomic>
#include <cwchar>
#include <vector>

#include "ce/registry.h"

namespace ce::devmgr {
namespace {

constexpr const wchar_t* kActiveRoot = L"Drivers\\Active";
// Running numbers tried before giving up when every key is taken by leftovers.
constexpr unsigned kActiveNumberAttempts = 1000;

std::atomic<unsigned> gLastActiveNumber{0};

class KeyGuard {
  public:
    KeyGuard() = default;
    ~KeyGuard() { Close(); }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    HKEY* Out() { return &key_; }
    void Close() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

std::optional<std::wstring> ReadString(HKEY key, const wchar_t* valueName, DWORD* error) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS && type != REG_SZ) {
        result = ERROR_FILE_NOT_FOUND;
    }
    if (result != ERROR_SUCCESS) {
        *error = static_cast<DWORD>(result);
        return std::nullopt;
    }
    // One element more than the value needs, never written, so the text always ends in a zero.
    std::vector<wchar_t> text((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1, L'\0');
    result = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()),
                              &size);
    if (result != ERROR_SUCCESS) {
        *error = static_cast<DWORD>(result);
        return std::nullopt;
    }
    return std::wstring(text.data());
}

LONG SetString(HKEY key, const wchar_t* valueName, const std::wstring& text) {
    const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          size);
}

LONG WriteActiveValues(HKEY key, const std::wstring& name, const std::wstring& deviceKey,
                       std::optional<DWORD> clientInfo) {
    LONG result = SetString(key, L"Name", name);
    if (result == ERROR_SUCCESS) {
        result = SetString(key, L"Key", deviceKey);
    }
    if (result == ERROR_SUCCESS && clientInfo) {
        const DWORD value = *clientInfo;
        result = RegSetValueExW(key, L"ClientInfo", 0, REG_DWORD,
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
    KeyGuard key;
    const LONG result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, deviceKey.c_str(), 0, KEY_READ, key.Out());
    if (result != ERROR_SUCCESS) {
        *error = static_cast<DWORD>(result);
        return std::nullopt;
    }
    std::optional<std::wstring> dll = ReadString(key.Get(), L"Dll", error);
    std::optional<std::wstring> prefix =
        dll ? ReadString(key.Get(), L"Prefix", error) : std::nullopt;
    if (!prefix) {
        return std::nullopt;
    }
    return DeviceKeyValues{std::move(*dll), std::move(*prefix)};
}

std::optional<std::wstring> CreateActiveKey(const std::wstring& name, const std::wstring& deviceKey,
                                            std::optional<DWORD> clientInfo, DWORD* error) {
    for (unsigned attempt = 0; attempt < kActiveNumberAttempts; ++attempt) {
        const std::wstring path = ActiveKeyPath(++gLastActiveNumber);
        KeyGuard key;
        DWORD disposition = 0;
        LONG result =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.Out(), &disposition);
        if (result != ERROR_SUCCESS) {
            *error = static_cast<DWORD>(result);
            return std::nullopt;
        }
        if (disposition != REG_CREATED_NEW_KEY) {
            continue;  // someone else's key: never write into it
        }
        result = WriteActiveValues(key.Get(), name, deviceKey, clientInfo);
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
