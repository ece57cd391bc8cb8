// Helpers for the registry tests: a clean registry per test, typed reads and writes through
// the Windows CE calls, and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/registry.h"

namespace regtest {

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ce::host::UnbindRegistryFile();
        ce::host::ResetRegistry();
    }
    void TearDown() override {
        ce::host::UnbindRegistryFile();
        ce::host::ResetRegistry();
    }
};

// Closes a key handle when it goes out of scope.
class Key {
  public:
    Key() = default;
    explicit Key(HKEY h) : h_(h) {}
    ~Key() {
        if (h_ != nullptr) {
            RegCloseKey(h_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY get() const { return h_; }
    HKEY* out() { return &h_; }

  private:
    HKEY h_ = nullptr;
};

inline HKEY Create(const std::wstring& path, DWORD* disposition = nullptr) {
    HKEY h = nullptr;
    const LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &h,
                                    disposition);
    EXPECT_EQ(rc, ERROR_SUCCESS) << "creating key";
    return h;
}

inline LONG SetBytes(HKEY key, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

inline LONG SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

inline LONG SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

struct StoredValue {
    LONG rc = ERROR_SUCCESS;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// Type and bytes of a value, asking for the size first as callers do.
inline StoredValue Query(HKEY key, const wchar_t* name) {
    StoredValue value;
    DWORD size = 0;
    value.rc = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.rc != ERROR_SUCCESS) {
        return value;
    }
    value.data.resize(size);
    value.rc = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
    return value;
}

inline StoredValue QueryAt(const std::wstring& path, const wchar_t* name) {
    Key key;
    StoredValue value;
    value.rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, key.out());
    return value.rc == ERROR_SUCCESS ? Query(key.get(), name) : value;
}

inline std::vector<BYTE> DwordBytes(DWORD value) {
    std::vector<BYTE> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

inline std::vector<BYTE> StringBytes(const std::wstring& text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A fresh folder below the test temporary directory, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = ::testing::TempDir() + "registry_test_XXXXXX";
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        EXPECT_FALSE(path_.empty()) << "cannot create a scratch folder";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace regtest
