// Client driver registration (the USBD exports) and reading registrations back.
#include "client_registration.h"

#include <cwctype>
#include <utility>

#include "ce/kernel.h"
#include "registry/reg_key.h"

namespace ce::usb {

namespace {

GroupFields VendorFields(const USB_DRIVER_SETTINGS& s) {
    return {s.dwVendorId, s.dwProductId, s.dwReleaseNumber};
}
GroupFields DeviceFields(const USB_DRIVER_SETTINGS& s) {
    return {s.dwDeviceClass, s.dwDeviceSubClass, s.dwDeviceProtocol};
}
GroupFields InterfaceFields(const USB_DRIVER_SETTINGS& s) {
    return {s.dwInterfaceClass, s.dwInterfaceSubClass, s.dwInterfaceProtocol};
}

USB_DRIVER_SETTINGS SettingsFrom(const GroupFields& vendor, const GroupFields& device,
                                 const GroupFields& interface) {
    return USB_DRIVER_SETTINGS{sizeof(USB_DRIVER_SETTINGS),
                               vendor[0],
                               vendor[1],
                               vendor[2],
                               device[0],
                               device[1],
                               device[2],
                               interface[0],
                               interface[1],
                               interface[2]};
}

std::optional<DWORD> ParseDecimal(std::wstring_view digits) {
    if (digits.empty() || digits.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value >= USB_NO_INFO) {
        return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

bool IsValidDriverId(LPCWSTR id) {
    if (id == nullptr || *id == L'\0') {
        return false;
    }
    for (LPCWSTR c = id; *c != L'\0'; ++c) {
        if (*c == L'\\') {
            return false;  // one key, not a path
        }
    }
    return true;
}

bool IsValidSettings(LPCUSB_DRIVER_SETTINGS settings) {
    return settings != nullptr && settings->dwCount >= sizeof(USB_DRIVER_SETTINGS);
}

std::wstring ChildPath(std::wstring path, std::wstring_view name) {
    path += L'\\';
    path += name;
    return path;
}

std::wstring ClientDriverPath(LPCWSTR id) {
    return ChildPath(kClientDriversKey, id);
}

// Calls visit(path) for every key `depth` levels below `path`, with the names of the keys on
// the way down in `names`.
template <class Visit>
void ForEachKeyAtDepth(const std::wstring& path, int depth, std::vector<std::wstring>& names,
                       Visit&& visit) {
    if (depth == 0) {
        visit(path);
        return;
    }
    ce::registry::KeyGuard key;
    if (key.Open(path) != ERROR_SUCCESS) {
        return;
    }
    for (const auto& name : key.SubkeyNames()) {
        names.push_back(name);
        ForEachKeyAtDepth(ChildPath(path, name), depth - 1, names, visit);
        names.pop_back();
    }
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

std::wstring GroupName(const GroupFields& fields) {
    if (fields[0] == USB_NO_INFO) {
        return L"Default";
    }
    std::wstring name = std::to_wstring(fields[0]);
    for (std::size_t i = 1; i < fields.size() && fields[i] != USB_NO_INFO; ++i) {
        name += L'_';
        name += std::to_wstring(fields[i]);
    }
    return name;
}

std::optional<GroupFields> ParseGroupName(std::wstring_view name) {
    GroupFields fields{USB_NO_INFO, USB_NO_INFO, USB_NO_INFO};
    if (name.size() == 7) {
        bool isDefault = true;
        for (std::size_t i = 0; i < 7; ++i) {
            isDefault = isDefault && std::towlower(static_cast<wint_t>(name[i])) ==
                                         static_cast<wint_t>(L"default"[i]);
        }
        if (isDefault) {
            return fields;
        }
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t end = name.find(L'_');
        const auto value = ParseDecimal(name.substr(0, end));
        if (!value) {
            return std::nullopt;
        }
        fields[i] = *value;
        if (end == std::wstring_view::npos) {
            return fields;
        }
        name.remove_prefix(end + 1);
    }
    return std::nullopt;  // more than three fields
}

std::wstring LoadClientsPath(const USB_DRIVER_SETTINGS& settings) {
    std::wstring path = ChildPath(kLoadClientsKey, GroupName(VendorFields(settings)));
    path = ChildPath(std::move(path), GroupName(DeviceFields(settings)));
    return ChildPath(std::move(path), GroupName(InterfaceFields(settings)));
}

std::vector<ClientRegistration> ReadClientRegistrations() {
    std::vector<ClientRegistration> found;
    std::vector<std::wstring> names;
    // Vendor group, device group, interface group, driver ID.
    ForEachKeyAtDepth(kLoadClientsKey, 4, names, [&](const std::wstring& path) {
        const auto vendor = ParseGroupName(names[0]);
        const auto device = ParseGroupName(names[1]);
        const auto interface = ParseGroupName(names[2]);
        ce::registry::KeyGuard key;
        if (!vendor || !device || !interface || key.Open(path) != ERROR_SUCCESS) {
            return;
        }
        if (auto dll = key.ReadString(kDllValue); dll && !dll->empty()) {
            found.push_back({names[3], *dll, SettingsFrom(*vendor, *device, *interface)});
        }
    });
    return found;
}

}  // namespace ce::usb

using ce::usb::Fail;

extern "C" {

BOOL RegisterClientDriverID(LPCWSTR szUniqueDriverId) {
    if (!ce::usb::IsValidDriverId(szUniqueDriverId)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    ce::registry::KeyGuard key;
    const LONG result = key.Create(ce::usb::ClientDriverPath(szUniqueDriverId));
    return result == ERROR_SUCCESS ? TRUE : Fail(static_cast<DWORD>(result));
}

BOOL UnRegisterClientDriverID(LPCWSTR szUniqueDriverId) {
    if (!ce::usb::IsValidDriverId(szUniqueDriverId)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring path = ce::usb::ClientDriverPath(szUniqueDriverId);
    {
        ce::registry::KeyGuard key;
        if (key.Open(path) != ERROR_SUCCESS) {
            return Fail(ERROR_FILE_NOT_FOUND);
        }
    }
    // Registering only created the key: what the platform configuration or the driver itself
    // keeps in it stays.
    if (ce::registry::IsEmptyKey(path)) {
        const LONG result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
        if (result != ERROR_SUCCESS) {
            return Fail(static_cast<DWORD>(result));
        }
    }
    return TRUE;
}

BOOL RegisterClientSettings(LPCWSTR lpszDriverLibFile, LPCWSTR lpszUniqueDriverId,
                            LPCWSTR /*szReserved*/, LPCUSB_DRIVER_SETTINGS lpDriverSettings) {
    if (lpszDriverLibFile == nullptr || *lpszDriverLibFile == L'\0' ||
        !ce::usb::IsValidDriverId(lpszUniqueDriverId) ||
        !ce::usb::IsValidSettings(lpDriverSettings)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring path =
        ce::usb::ChildPath(ce::usb::LoadClientsPath(*lpDriverSettings), lpszUniqueDriverId);
    ce::registry::KeyGuard key;
    LONG result = key.Create(path);
    if (result == ERROR_SUCCESS) {
        const std::wstring dll = lpszDriverLibFile;
        result = RegSetValueExW(key.get(), ce::usb::kDllValue, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(dll.c_str()),
                                static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    }
    return result == ERROR_SUCCESS ? TRUE : Fail(static_cast<DWORD>(result));
}

BOOL UnRegisterClientSettings(LPCWSTR lpszUniqueDriverId, LPCWSTR /*szReserved*/,
                              LPCUSB_DRIVER_SETTINGS lpDriverSettings) {
    if (!ce::usb::IsValidDriverId(lpszUniqueDriverId) ||
        !ce::usb::IsValidSettings(lpDriverSettings)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::wstring path = ce::usb::LoadClientsPath(*lpDriverSettings);
    const LONG result =
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, ce::usb::ChildPath(path, lpszUniqueDriverId).c_str());
    if (result != ERROR_SUCCESS) {
        return Fail(static_cast<DWORD>(result));
    }
    // The three group keys go too once no other registration uses them.
    for (int level = 0; level < 3 && ce::registry::IsEmptyKey(path); ++level) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
        path.resize(path.rfind(L'\\'));
    }
    return TRUE;
}

}  // extern "C"
