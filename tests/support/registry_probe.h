// Registry helpers for tests (HKEY_LOCAL_MACHINE unless a base key is given): what a test reads
// back or plants, and the keys and raw values the registry's own cases work with.
// Header-only, so that every suite that needs them can include it.
#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/registry.h"

namespace ots::test {

using RegBytes = std::vector<BYTE>;

// An open key (null when missing), closed when it goes; create makes it and its parents.
struct RegKey {
    explicit RegKey(const std::wstring& path, bool create = false, HKEY base = HKEY_LOCAL_MACHINE,
                    DWORD* disposition = nullptr) {
        if ((create ? RegCreateKeyExW(base, path.c_str(), 0, nullptr, 0, 0, nullptr, &hKey,
                                      disposition)
                    : RegOpenKeyExW(base, path.c_str(), 0, 0, &hKey)) != ERROR_SUCCESS) {
            hKey = nullptr;
        }
    }
    ~RegKey() {
        if (hKey != nullptr) {
            RegCloseKey(hKey);
        }
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY hKey = nullptr;
};

// A registry of its own for every case, bound to no file.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        ce::host::UnbindRegistryFile();
        ce::host::ResetRegistry();
    }
};

inline RegBytes AsBytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return RegBytes(bytes, bytes + size);
}
inline RegBytes DwordBytes(DWORD value) {
    return AsBytes(&value, sizeof value);
}
// With its terminating zero.
inline RegBytes StringBytes(const std::wstring& text) {
    return AsBytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

inline LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const RegBytes& data) {
    return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}
inline LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return SetValue(key, name, REG_DWORD, DwordBytes(value));
}

struct StoredValue {
    LONG rc = ERROR_SUCCESS;
    DWORD type = 0;
    RegBytes data;
};

// Type and bytes of a value, asking for the size first as callers do.
inline StoredValue QueryAt(const std::wstring& path, const wchar_t* name,
                           HKEY base = HKEY_LOCAL_MACHINE) {
    const RegKey key(path, false, base);
    StoredValue value{ERROR_FILE_NOT_FOUND, 0, {}};
    DWORD size = 0;
    if (key.hKey != nullptr && (value.rc = RegQueryValueExW(key.hKey, name, nullptr, &value.type,
                                                            nullptr, &size)) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.rc = RegQueryValueExW(key.hKey, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    return value;
}

inline bool KeyExists(const std::wstring& path) {
    return RegKey(path).hKey != nullptr;
}

// As a caller's buffer of four bytes (or of 260 characters) reads them: a longer value is
// nullopt, a shorter one fills the low bytes.
inline std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name) {
    const StoredValue stored = QueryAt(path, name.c_str());
    DWORD value = 0;
    if (stored.rc != ERROR_SUCCESS || stored.type != REG_DWORD || stored.data.size() > 4) {
        return std::nullopt;
    }
    std::ranges::copy(stored.data, reinterpret_cast<BYTE*>(&value));
    return value;
}

inline std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name) {
    const StoredValue stored = QueryAt(path, name.c_str());
    std::wstring text(stored.data.size() / sizeof(WCHAR), L'\0');
    if (stored.rc != ERROR_SUCCESS || stored.type != REG_SZ ||
        stored.data.size() > 259 * sizeof(WCHAR)) {
        return std::nullopt;
    }
    std::copy_n(stored.data.begin(), text.size() * sizeof(WCHAR),
                reinterpret_cast<BYTE*>(text.data()));
    return text.substr(0, text.find(L'\0'));
}

// The names of a key's values (or subkeys), in the order enumeration gives them.
inline std::vector<std::wstring> EnumNames(HKEY key, bool values = true) {
    std::vector<std::wstring> names;
    for (DWORD i = 0; key != nullptr; ++i) {
        WCHAR name[256];
        DWORD chars = 256;
        const LONG rc =
            values ? RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            break;
        }
        names.emplace_back(name, chars);
    }
    return names;
}

inline std::vector<std::wstring> ValueNames(const std::wstring& path) {
    return EnumNames(RegKey(path).hKey);
}

inline void WriteRaw(const std::wstring& path, const std::wstring& name, DWORD type,
                     const RegBytes& bytes) {
    const RegKey key(path, true);
    ASSERT_NE(key.hKey, nullptr);
    EXPECT_EQ(SetValue(key.hKey, name.c_str(), type, bytes), ERROR_SUCCESS);
}

inline void WriteDword(const std::wstring& path, const std::wstring& name, DWORD value) {
    WriteRaw(path, name, REG_DWORD, DwordBytes(value));
}

inline void WriteString(const std::wstring& path, const std::wstring& name,
                        const std::wstring& value) {
    WriteRaw(path, name, REG_SZ, StringBytes(value));
}

}  // namespace ots::test
