// The device manager's registry: the device key it reads and the active keys it writes.
#pragma once

#include <optional>
#include <string>

#include "ce/types.h"

namespace ce::devmgr {

struct DeviceKeyValues {
    std::wstring dll;     // "Dll"
    std::wstring prefix;  // "Prefix"
};

// Reads "Dll" and "Prefix" (REG_SZ) from HKLM\deviceKey; nullopt with *error set when the key
// or a value is missing or not a string.
std::optional<DeviceKeyValues> ReadDeviceKey(const std::wstring& deviceKey, DWORD* error);

// Creates "Drivers\Active\NN" under the next unused running number with "Name", "Key" and,
// when given, "ClientInfo". Returns the key path, or nullopt with *error set.
std::optional<std::wstring> CreateActiveKey(const std::wstring& name, const std::wstring& deviceKey,
                                            std::optional<DWORD> clientInfo, DWORD* error);

void RemoveActiveKey(const std::wstring& activeKey);

// Removes every active key, left over from an earlier run in a saved registry.
void RemoveAllActiveKeys();

}  // namespace ce::devmgr
