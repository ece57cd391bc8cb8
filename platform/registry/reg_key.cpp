#include "reg_key.h"

namespace ce::registry {

LONG KeyGuard::Open(const std::wstring& path) {
    Close();
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_);
}

LONG KeyGuard::Create(const std::wstring& path, bool* created) {
    Close();
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key_, &disposition);
    if (created != nullptr) {
        *created = result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    }
    return result;
}

void KeyGuard::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

std::vector<std::wstring> KeyGuard::SubkeyNames() const {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

bool KeyGuard::HasValues() const {
    wchar_t name[256];
    DWORD length = 256;
    return RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_NO_MORE_ITEMS;
}

std::optional<std::wstring> KeyGuard::ReadString(const wchar_t* valueName, DWORD* error) const {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key_, valueName, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS && type != REG_SZ) {
        result = ERROR_FILE_NOT_FOUND;
    }
    // One element more than the value needs, never written, so the text always ends in a zero.
    std::wstring text((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1, L'\0');
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExW(key_, valueName, nullptr, &type,
                                  reinterpret_cast<LPBYTE>(text.data()), &size);
    }
    if (result != ERROR_SUCCESS) {
        if (error != nullptr) {
            *error = static_cast<DWORD>(result);
        }
        return std::nullopt;
    }
    text.resize(text.find(L'\0'));  // the stored text ends at its first terminator
    return text;
}

LONG KeyGuard::WriteString(const wchar_t* valueName, const std::wstring& text) const {
    const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          size);
}

bool IsEmptyKey(const std::wstring& path) {
    KeyGuard key;
    return key.Open(path) == ERROR_SUCCESS && key.SubkeyNames().empty() && !key.HasValues();
}

}  // namespace ce::registry
