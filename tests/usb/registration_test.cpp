// Client registration: the keys the four USBD calls write and remove.
#include <optional>
#include <string>

#include "ce/kernel.h"
#include "ce/registry.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::optional<std::wstring> ReadDll(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t text[256] = {};
    DWORD type = 0;
    DWORD size = sizeof(text);
    const LONG result =
        RegQueryValueExW(key, L"DLL", nullptr, &type, reinterpret_cast<LPBYTE>(text), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(text);
}

const std::wstring kLoadClients = L"Drivers\\USB\\LoadClients";

TEST_F(UsbStackTest, RegisteringWritesTheDriverIdKeyAndTheLoadClientsKey) {
    RegisterTestDriver(VendorSpecificSettings(), L"OtsLike", L"libdriver.so");

    EXPECT_TRUE(KeyExists(L"Drivers\\USB\\ClientDrivers\\OtsLike"));
    EXPECT_EQ(ReadDll(kLoadClients + L"\\Default\\Default\\255_255_255\\OtsLike"), L"libdriver.so");
}

TEST_F(UsbStackTest, GroupNamesListTheFieldsUpToTheFirstUnnamedOne) {
    USB_DRIVER_SETTINGS settings = VendorSpecificSettings();
    settings.dwVendorId = 0x1234;
    settings.dwProductId = 0x5678;
    settings.dwDeviceClass = 2;
    settings.dwInterfaceClass = 3;
    settings.dwInterfaceSubClass = 1;
    settings.dwInterfaceProtocol = USB_NO_INFO;
    RegisterTestDriver(settings, L"Named", L"a.so");
    EXPECT_EQ(ReadDll(kLoadClients + L"\\4660_22136\\2\\3_1\\Named"), L"a.so");

    // A field after an unnamed one does not count: the vendor group is "Default".
    settings = VendorSpecificSettings();
    settings.dwProductId = 0x0012;
    RegisterTestDriver(settings, L"ProductOnly", L"b.so");
    EXPECT_EQ(ReadDll(kLoadClients + L"\\Default\\Default\\255_255_255\\ProductOnly"), L"b.so");
}

TEST_F(UsbStackTest, UnregisteringRemovesWhatRegisteringWrote) {
    RegisterTestDriver(VendorSpecificSettings(), L"OtsLike", L"libdriver.so");
    const auto settings = VendorSpecificSettings();

    EXPECT_TRUE(UnRegisterClientSettings(L"OtsLike", nullptr, &settings));
    EXPECT_TRUE(UnRegisterClientDriverID(L"OtsLike"));

    EXPECT_FALSE(KeyExists(kLoadClients + L"\\Default\\Default\\255_255_255\\OtsLike"));
    EXPECT_FALSE(KeyExists(kLoadClients + L"\\Default"));
    EXPECT_FALSE(KeyExists(L"Drivers\\USB\\ClientDrivers\\OtsLike"));
}

TEST_F(UsbStackTest, UnregisteringKeepsGroupKeysAnotherDriverStillUses) {
    RegisterTestDriver(VendorSpecificSettings(), L"First", L"first.so");
    RegisterTestDriver(VendorSpecificSettings(), L"Second", L"second.so");
    const auto settings = VendorSpecificSettings();

    EXPECT_TRUE(UnRegisterClientSettings(L"First", nullptr, &settings));

    EXPECT_FALSE(KeyExists(kLoadClients + L"\\Default\\Default\\255_255_255\\First"));
    EXPECT_EQ(ReadDll(kLoadClients + L"\\Default\\Default\\255_255_255\\Second"), L"second.so");
}

TEST_F(UsbStackTest, UnregisteringTheDriverIdKeepsWhatOthersStoredInItsKey) {
    ASSERT_TRUE(RegisterClientDriverID(L"Keeper"));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Drivers\\USB\\ClientDrivers\\Keeper\\Stored", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD value = 7;
    RegSetValueExW(key, L"Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
    RegCloseKey(key);

    EXPECT_TRUE(UnRegisterClientDriverID(L"Keeper"));

    EXPECT_TRUE(KeyExists(L"Drivers\\USB\\ClientDrivers\\Keeper\\Stored"));
}

TEST_F(UsbStackTest, RegistrationRefusesMissingOrMalformedArguments) {
    const auto settings = VendorSpecificSettings();
    USB_DRIVER_SETTINGS truncated = settings;
    truncated.dwCount = 12;

    const struct {
        const char* what;
        BOOL result;
    } refused[] = {
        {"null id", RegisterClientDriverID(nullptr)},
        {"empty id", RegisterClientDriverID(L"")},
        {"id that is a path", RegisterClientDriverID(L"a\\b")},
        {"null library", RegisterClientSettings(nullptr, L"Id", nullptr, &settings)},
        {"empty library", RegisterClientSettings(L"", L"Id", nullptr, &settings)},
        {"null settings", RegisterClientSettings(L"x.so", L"Id", nullptr, nullptr)},
        {"short settings", RegisterClientSettings(L"x.so", L"Id", nullptr, &truncated)},
        {"unregister null settings", UnRegisterClientSettings(L"Id", nullptr, nullptr)},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(r.result) << r.what;
    }
    EXPECT_FALSE(RegisterClientSettings(L"x.so", L"Id", nullptr, &truncated));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(KeyExists(kLoadClients));
}

TEST_F(UsbStackTest, UnregisteringWhatWasNeverRegisteredFails) {
    const auto settings = VendorSpecificSettings();
    EXPECT_FALSE(UnRegisterClientSettings(L"Never", nullptr, &settings));
    EXPECT_FALSE(UnRegisterClientDriverID(L"Never"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace usbtest
