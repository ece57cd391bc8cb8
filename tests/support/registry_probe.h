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

// An open key (null when missing), closed when it goes; create makes it and its parents.
struct Key {
    explicit Key(const std::wstring& path, bool create = false) {
        DWORD disposition = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &hKey) != ERROR_SUCCESS &&
            (!create || RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr,
                                        &hKey, &disposition) != ERROR_SUCCESS)) {
            hKey = nullptr;
        }
    }
    ~Key() {
        if (hKey != nullptr) {
            RegCloseKey(hKey);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY hKey = nullptr;
};

// A value of the given type into buffer; false when the key, the value or the type is wrong.
inline bool Query(const std::wstring& path, const std::wstring& name, DWORD type, void* buffer,
                  DWORD cb) {
    const Key key(path);
    DWORD actual = 0;
    return key.hKey != nullptr &&
           RegQueryValueExW(key.hKey, name.c_str(), nullptr, &actual, static_cast<BYTE*>(buffer),
                            &cb) == ERROR_SUCCESS &&
           actual == type;
}

}  // namespace detail

inline bool KeyExists(const std::wstring& path) {
    return detail::Key(path).hKey != nullptr;
}

inline std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name) {
    DWORD value = 0;
    return detail::Query(path, name, REG_DWORD, &value, sizeof(value)) ? std::optional(value)
                                                                       : std::nullopt;
}

inline std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name) {
    WCHAR buffer[260] = {};
    return detail::Query(path, name, REG_SZ, buffer, sizeof(buffer) - sizeof(WCHAR))
               ? std::optional<std::wstring>(buffer)
               : std::nullopt;
}

inline std::vector<std::wstring> ValueNames(const std::wstring& path) {
    std::vector<std::wstring> names;
    const detail::Key key(path);
    WCHAR name[256] = {};
    for (DWORD index = 0, cch = 256;
         key.hKey != nullptr && RegEnumValueW(key.hKey, index, name, &cch, nullptr, nullptr,
                                              nullptr, nullptr) == ERROR_SUCCESS;
         ++index, cch = 256) {
        names.emplace_back(name);
    }
    return names;
}

inline void WriteRaw(const std::wstring& path, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
    const detail::Key key(path, true);
    ASSERT_NE(key.hKey, nullptr);
    EXPECT_EQ(RegSetValueExW(key.hKey, name.c_str(), 0, type, bytes.data(),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

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

}  // namespace ots::test
