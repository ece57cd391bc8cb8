// Registry helpers for tests (HKEY_LOCAL_MACHINE): what a test reads back or plants.
// Header-only, so that every suite that needs them can include it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ce/registry.h"

namespace ots::test {

namespace detail {

inline HKEY Open(const std::wstring& path) {
    HKEY hKey = nullptr;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &hKey) == ERROR_SUCCESS ? hKey
                                                                                         : nullptr;
}

inline HKEY Create(const std::wstring& path) {
    HKEY hKey = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &hKey,
                              &disposition),
              ERROR_SUCCESS);
    return hKey;
}

}  // namespace detail

inline bool KeyExists(const std::wstring& path) {
    HKEY hKey = detail::Open(path);
    if (hKey == nullptr) {
        return false;
    }
    RegCloseKey(hKey);
    return true;
}

inline std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name) {
    HKEY hKey = detail::Open(path);
    if (hKey == nullptr) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD type = 0;
    DWORD cb = sizeof(value);
    const LONG result =
        RegQueryValueExW(hKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS || type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

inline std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name) {
    HKEY hKey = detail::Open(path);
    if (hKey == nullptr) {
        return std::nullopt;
    }
    WCHAR buffer[260] = {};
    DWORD type = 0;
    DWORD cb = sizeof(buffer) - sizeof(WCHAR);
    const LONG result =
        RegQueryValueExW(hKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &cb);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

inline std::vector<std::wstring> ValueNames(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY hKey = detail::Open(path);
    if (hKey == nullptr) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256] = {};
        DWORD cch = 256;
        if (RegEnumValueW(hKey, index, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name);
    }
    RegCloseKey(hKey);
    return names;
}

inline void WriteRaw(const std::wstring& path, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& bytes);

inline void WriteDword(const std::wstring& path, const std::wstring& name, DWORD value) {
    WriteRaw(path, name, REG_DWORD,
             {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
              static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)});
}

inline void WriteString(const std::wstring& path, const std::wstring& name,
                        const std::wstring& value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(value.c_str());
    WriteRaw(path, name, REG_SZ,
             std::vector<BYTE>(bytes, bytes + (value.size() + 1) * sizeof(WCHAR)));
}

inline void WriteRaw(const std::wstring& path, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
    HKEY hKey = detail::Create(path);
    ASSERT_NE(hKey, nullptr);
    EXPECT_EQ(
        RegSetValueExW(hKey, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS);
    RegCloseKey(hKey);
}

}  // namespace ots::test
