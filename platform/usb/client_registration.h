// Where client driver registrations live in the registry, and reading them back for matching.
// The key scheme is described in ce/host/usb_host.h.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ce/usbd.h"

namespace ce::usb {

inline constexpr wchar_t kClientDriversKey[] = L"Drivers\\USB\\ClientDrivers";
inline constexpr wchar_t kLoadClientsKey[] = L"Drivers\\USB\\LoadClients";
inline constexpr wchar_t kDllValue[] = L"DLL";

using GroupFields = std::array<DWORD, 3>;

// "Default" when the first field is USB_NO_INFO, else the fields in decimal joined by '_' up
// to the first USB_NO_INFO.
std::wstring GroupName(const GroupFields& fields);
// The inverse; nullopt for a name that is neither "Default" nor one to three decimal numbers.
std::optional<GroupFields> ParseGroupName(std::wstring_view name);

// "Drivers\USB\LoadClients\<vendor group>\<device group>\<interface group>".
std::wstring LoadClientsPath(const USB_DRIVER_SETTINGS& settings);

struct ClientRegistration {
    std::wstring driverId;
    std::wstring dll;
    USB_DRIVER_SETTINGS settings;  // rebuilt from the key names; unnamed fields USB_NO_INFO
};

// Every registration below "Drivers\USB\LoadClients" that has a "DLL" value, in key order.
std::vector<ClientRegistration> ReadClientRegistrations();

}  // namespace ce::usb
