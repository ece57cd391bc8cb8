// A registry key handle that closes itself, and the few reads and writes the USB stack and the
// device manager make through it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ce/registry.h"

namespace ce::registry {

class KeyGuard {
  public:
    KeyGuard() = default;
    ~KeyGuard() { Close(); }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;

    // Opens an existing key below HKEY_LOCAL_MACHINE; returns the registry's error code.
    LONG Open(const std::wstring& path);
    // Opens or creates the key; returns the registry's error code. *created tells whether the
    // key is new.
    LONG Create(const std::wstring& path, bool* created = nullptr);
    void Close();
    HKEY get() const { return key_; }

    std::vector<std::wstring> SubkeyNames() const;
    bool HasValues() const;
    // A REG_SZ value up to its first terminator; nullopt when it is missing or no string, with
    // *error (when given) set to the registry's error code or ERROR_FILE_NOT_FOUND.
    std::optional<std::wstring> ReadString(const wchar_t* valueName, DWORD* error = nullptr) const;
    LONG WriteString(const wchar_t* valueName, const std::wstring& text) const;

  private:
    HKEY key_ = nullptr;
};

// True when the key exists and holds neither values nor subkeys.
bool IsEmptyKey(const std::wstring& path);

}  // namespace ce::registry
