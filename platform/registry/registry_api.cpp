// The registry calls of the Windows CE API surface.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string_view>

#include "ce/registry.h"
#include "registry_state.h"
#include "registry_tree.h"

namespace {

using namespace ce::registry;

std::wstring_view NameOrDefault(LPCWSTR name) {
    return name == nullptr ? std::wstring_view{} : std::wstring_view{name};
}

// Runs `op(reg, key, changed)` on the live key behind hKey under the registry lock, then
// saves when the operation changed something. The save runs after the lock is released, so
// threads that only read never wait for the disk.
template <typename Op>
LONG OnKey(HKEY hKey, Op op) {
    RegistryState& reg = Registry();
    bool changed = false;
    LONG result = ERROR_SUCCESS;
    {
        std::lock_guard lock(reg.mutex);
        const KeyPtr key = ResolveKeyLocked(reg, hKey);
        if (!key) {
            return ERROR_INVALID_HANDLE;
        }
        if (key->deleted) {
            return ERROR_KEY_DELETED;
        }
        result = op(reg, key, changed);
        if (changed) {
            ++reg.changes;
        }
    }
    if (changed) {
        PersistChange();
    }
    return result;
}

// Copies a name with its terminating zero into a buffer of *lpcch characters.
LONG CopyName(const std::wstring& name, LPWSTR lpName, LPDWORD lpcch) {
    if (name.size() + 1 > *lpcch) {
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), lpName);
    lpName[name.size()] = L'\0';
    *lpcch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Type and bytes of a value, with the size rules of RegQueryValueExW: a null lpData asks for
// the size only; a buffer too small gets ERROR_MORE_DATA, the size needed and no bytes.
LONG CopyValueData(const RegValue& value, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    const auto size = static_cast<DWORD>(value.data.size());
    if (lpData != nullptr && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr && size > 0) {
        std::memcpy(lpData, value.data.data(), size);
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM /*samDesired*/, void* /*lpSecurityAttributes*/,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    const KeyPath path = SplitKeyPath(NameOrDefault(lpSubKey));
    return OnKey(hKey, [&](RegistryState& reg, const KeyPtr& base, bool& changed) -> LONG {
        if (!IsValidKeyPath(base->depth, path)) {
            return ERROR_INVALID_PARAMETER;
        }
        bool created = false;
        KeyPtr key = CreateKey(base, path, created);
        changed = created;
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        *phkResult = OpenHandleLocked(reg, std::move(key));
        return ERROR_SUCCESS;
    });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                   PHKEY phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    const KeyPath path = SplitKeyPath(NameOrDefault(lpSubKey));
    return OnKey(hKey, [&](RegistryState& reg, const KeyPtr& base, bool&) -> LONG {
        KeyPtr key = FindKey(base, path);
        if (!key) {
            return ERROR_FILE_NOT_FOUND;
        }
        *phkResult = OpenHandleLocked(reg, std::move(key));
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;  // predefined, never closed
    }
    RegistryState& reg = Registry();
    std::lock_guard lock(reg.mutex);
    return CloseHandleLocked(reg, hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool&) -> LONG {
        const RegValue* value = FindValue(*key, NameOrDefault(lpValueName));
        if (value == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        return CopyValueData(*value, lpType, lpData, lpcbData);
    });
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    const std::wstring_view name = NameOrDefault(lpValueName);
    if ((lpData == nullptr && cbData > 0) || !IsValidValueName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::span<const BYTE> data{lpData, lpData == nullptr ? 0 : cbData};
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool& changed) -> LONG {
        changed = SetValue(*key, name, dwType, data);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool& changed) -> LONG {
        changed = DeleteValue(*key, NameOrDefault(lpValueName));
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    const KeyPath path = SplitKeyPath(NameOrDefault(lpSubKey));
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;  // a key is deleted through its parent
    }
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool& changed) -> LONG {
        changed = DeleteKey(*key, path);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                   LPDWORD /*lpReserved*/, LPWSTR lpClass, LPDWORD lpcchClass,
                   void* /*lpftLastWriteTime*/) {
    if (lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool&) -> LONG {
        if (dwIndex >= key->subkeys.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const RegKey& subkey = *std::next(key->subkeys.begin(), dwIndex)->second;
        const LONG result = CopyName(subkey.name, lpName, lpcchName);
        if (result == ERROR_SUCCESS && lpClass != nullptr && lpcchClass != nullptr) {
            if (*lpcchClass > 0) {
                lpClass[0] = L'\0';  // keys carry no class
            }
            *lpcchClass = 0;
        }
        return result;
    });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return OnKey(hKey, [&](RegistryState&, const KeyPtr& key, bool&) -> LONG {
        if (dwIndex >= key->values.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const RegValue& value = std::next(key->values.begin(), dwIndex)->second;
        const LONG result = CopyName(value.name, lpValueName, lpcchValueName);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        return CopyValueData(value, lpType, lpData, lpcbData);
    });
}

}  // extern "C"
