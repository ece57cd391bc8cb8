#include "core/port_claim.h"

#include <cwchar>

#include "ce/registry.h"
#include "protocol/registry_form.h"

namespace {

constexpr int kMaxPorts = 9;
constexpr std::size_t kDeviceNameChars = 16;  // "Name" of the active key; compared this far
constexpr std::size_t kPortValueChars = 260;  // a port value is read up to this length
constexpr std::size_t kPortNameChars = sizeof(DEVICE_CONTEXT::szPortName) / sizeof(WCHAR);

// A scoped registry key.
class RegKey {
  public:
    RegKey() = default;
    ~RegKey() {
        if (hKey_ != nullptr) {
            RegCloseKey(hKey_);
        }
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(LPCWSTR lpPath) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpPath, 0, 0, &hKey_) == ERROR_SUCCESS;
    }
    bool Create(LPCWSTR lpPath) {
        DWORD dwDisposition = 0;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, lpPath, 0, nullptr, 0, 0, nullptr, &hKey_,
                               &dwDisposition) == ERROR_SUCCESS;
    }
    // Reads a string value into buffer (always terminated); returns the registry's result.
    LONG ReadString(LPCWSTR lpName, WCHAR* pBuffer, std::size_t cchBuffer) const {
        DWORD cbData = static_cast<DWORD>((cchBuffer - 1) * sizeof(WCHAR));
        const LONG lResult = RegQueryValueExW(hKey_, lpName, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(pBuffer), &cbData);
        pBuffer[lResult == ERROR_SUCCESS ? cbData / sizeof(WCHAR) : 0] = L'\0';
        return lResult;
    }
    HKEY Get() const { return hKey_; }

  private:
    HKEY hKey_ = nullptr;
};

bool ReadDeviceName(LPCWSTR lpActivePath, WCHAR (&szName)[kDeviceNameChars + 1]) {
    RegKey activeKey;
    return activeKey.Open(lpActivePath) &&
           activeKey.ReadString(L"Name", szName, kDeviceNameChars + 1) == ERROR_SUCCESS;
}

}  // namespace

bool ClaimPort(DEVICE_CONTEXT* pDevice, LPCWSTR lpActivePath) {
    WCHAR szDeviceName[kDeviceNameChars + 1] = {};
    if (!ReadDeviceName(lpActivePath, szDeviceName)) {
        return false;
    }
    RegKey portsKey;
    if (!portsKey.Create(ots::kPortsKey)) {
        return false;
    }
    for (int n = 1; n <= kMaxPorts; ++n) {
        WCHAR szValueName[kPortNameChars] = {};
        std::swprintf(szValueName, std::size(szValueName), L"Port%d", n);
        WCHAR szClaimedBy[kPortValueChars + 1] = {};
        const LONG lResult = portsKey.ReadString(szValueName, szClaimedBy, std::size(szClaimedBy));
        if (lResult == ERROR_SUCCESS) {
            if (std::wcsncmp(szClaimedBy, szDeviceName, kDeviceNameChars) == 0) {
                return true;  // already ours; not recorded, so deinit keeps it
            }
            continue;
        }
        if (lResult != ERROR_FILE_NOT_FOUND) {
            continue;  // present but unreadable: someone else's
        }
        const auto cbName = static_cast<DWORD>((std::wcslen(szDeviceName) + 1) * sizeof(WCHAR));
        if (RegSetValueExW(portsKey.Get(), szValueName, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(szDeviceName), cbName) != ERROR_SUCCESS) {
            return false;
        }
        std::wcsncpy(pDevice->szPortName, szValueName, std::size(pDevice->szPortName) - 1);
        return true;
    }
    return false;
}

bool ReleasePort(DEVICE_CONTEXT* pDevice) {
    bool fDeleted = false;
    if (pDevice->szPortName[0] != L'\0') {
        RegKey portsKey;
        fDeleted = portsKey.Open(ots::kPortsKey) &&
                   RegDeleteValueW(portsKey.Get(), pDevice->szPortName) == ERROR_SUCCESS;
    }
    pDevice->szPortName[0] = L'\0';
    return fDeleted;
}
