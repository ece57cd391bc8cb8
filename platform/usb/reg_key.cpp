#include "reg_key.h"

namespace ce::usb {

bool RegKey::Open(const std::wstring& path) {
    Close();
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

LONG RegKey::Create(const std::wstring& path) {
    Close();
    DWORD disposition = 0;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key_, &disposition);
}

void RegKey::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

std::vector<std::wstring> RegKey::SubkeyNames() const {
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

bool RegKey::HasValues() const {
    wchar_t name[256];
    DWORD length = 256;
    return RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_NO_MORE_ITEMS;
}

std::optional<std::wstring> RegKey::ReadString(const wchar_t* valueName) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key_, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()),
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(text.find(L'\0'));  // the stored text ends at its first terminator
    return text;
}

bool IsEmptyKey(const std::wstring& path) {
    RegKey key;
    return key.Open(path) && key.SubkeyNames().empty() && !key.HasValues();
}

}  // namespace ce::usb
