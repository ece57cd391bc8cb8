// A registry key handle that closes itself, and the few reads the USB stack needs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ce/registry.h"

namespace ce::usb {

class RegKey {
  public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens an existing key below HKEY_LOCAL_MACHINE; false when it is missing.
    bool Open(const std::wstring& path);
    // Opens or creates the key; returns the registry's error code.
    LONG Create(const std::wstring& path);
    void Close();
    HKEY get() const { return key_; }

    std::vector<std::wstring> SubkeyNames() const;
    bool HasValues() const;
    std::optional<std::wstring> ReadString(const wchar_t* valueName) const;

  private:
    HKEY key_ = nullptr;
};

// True when the key exists and holds neither values nor subkeys.
bool IsEmptyKey(const std::wstring& path);

}  // namespace ce::usb
