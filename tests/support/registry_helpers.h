// A clean registry per test, and typed reads and writes through the Windows CE calls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/registry.h"

namespace regtest {

using Bytes = std::vector<BYTE>;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        ce::host::UnbindRegistryFile();
        ce::host::ResetRegistry();
    }
};

// A key handle, closed when it goes out of scope.
struct KeyCloser {
    void operator()(HKEY h) const { RegCloseKey(h); }
};
using Key = std::unique_ptr<HKEY__, KeyCloser>;

inline HKEY Create(const std::wstring& path, DWORD* disposition = nullptr,
                   HKEY base = HKEY_LOCAL_MACHINE) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExW(base, path.c_str(), 0, nullptr, 0, 0, nullptr, &h, disposition),
              ERROR_SUCCESS);
    return h;
}

inline LONG Open(const std::wstring& path, Key& key, HKEY base = HKEY_LOCAL_MACHINE) {
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyExW(base, path.c_str(), 0, 0, &h);
    key.reset(h);
    return rc;
}

inline LONG SetBytes(HKEY key, const wchar_t* name, DWORD type, const Bytes& data) {
    return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

inline Bytes AsBytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return Bytes(bytes, bytes + size);
}
inline Bytes DwordBytes(DWORD value) {
    return AsBytes(&value, sizeof value);
}
// With its terminating zero.
inline Bytes StringBytes(const std::wstring& text) {
    return AsBytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

inline LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return SetBytes(key, name, REG_DWORD, DwordBytes(value));
}
inline LONG SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return SetBytes(key, name, REG_SZ, StringBytes(text));
}

struct StoredValue {
    LONG rc = ERROR_SUCCESS;
    DWORD type = 0;
    Bytes data;
};

// Type and bytes of a value, asking for the size first as callers do.
inline StoredValue Query(HKEY key, const wchar_t* name) {
    StoredValue value;
    DWORD size = 0;
    value.rc = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.rc == ERROR_SUCCESS) {
        value.data.resize(size);
        value.rc = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    return value;
}

inline StoredValue QueryAt(const std::wstring& path, const wchar_t* name) {
    Key key;
    StoredValue value;
    value.rc = Open(path, key);
    return value.rc == ERROR_SUCCESS ? Query(key.get(), name) : value;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace regtest
