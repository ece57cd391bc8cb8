// The Windows CE registry calls: names, paths, value sizes, handles, enumeration.
#include <string>
#include <utility>
#include <vector>

#include "support/registry_probe.h"

namespace {

using namespace ots::test;
using Names = std::vector<std::wstring>;

using RegistryNames = RegistryTest;

TEST_F(RegistryNames, MatchInAnyCaseKeepTheFirstSpellingAndSortWithoutCase) {
    DWORD disposition = 0;
    const RegKey created(L"Foo\\Bar", true, HKEY_LOCAL_MACHINE, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const RegKey again(L"FOO\\bar", true, HKEY_LOCAL_MACHINE, &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetDword(created.hKey, L"EnableTouch", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(again.hKey, L"ENABLETOUCH", REG_SZ, StringBytes(L"0")), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"foo\\BAR", L"enabletouch").type, REG_SZ) << "a rewrite takes the type";
    EXPECT_EQ(EnumNames(created.hKey, true), Names{L"EnableTouch"});
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), Names{L"Foo"});

    const RegKey folded(L"ÄRGER\\ŁÓDŹ\\ΣΑ\\ΉΛΙΟ\\ДОМ\\ЁЖ", true);
    EXPECT_TRUE(KeyExists(L"ärger\\łódź\\σα\\ήλιο\\дом\\ёж"));
    EXPECT_FALSE(KeyExists(L"ARGER")) << "look-alikes stay apart";

    const RegKey root(L"Sort", true);
    for (const wchar_t* name : {L"beta", L"Alpha", L"GAMMA", L"delta"}) {
        const RegKey sub(name, true, root.hKey);
        SetDword(root.hKey, name, 1);
    }
    const Names sorted{L"Alpha", L"beta", L"delta", L"GAMMA"};
    EXPECT_EQ(EnumNames(root.hKey, false), sorted);
    EXPECT_EQ(EnumNames(root.hKey, true), sorted);
    EXPECT_EQ(RegDeleteValueW(root.hKey, L"ALPHA"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(root.hKey, L"alpha"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryNames, BadNamesAndPathsAreRefusedAndCreateNothing) {
    std::wstring deepest = L"d";
    for (int i = 1; i < 512; ++i) {
        deepest += L"\\d";
    }
    const RegKey ok(std::wstring(255, L'k'), true);
    const RegKey deep(deepest, true);
    const std::pair<HKEY, std::wstring> keys[] = {{HKEY_LOCAL_MACHINE, L"Bad\nName"},
                                                  {HKEY_LOCAL_MACHINE, std::wstring(256, L'k')},
                                                  {HKEY_LOCAL_MACHINE, deepest + L"\\one_more"},
                                                  {deep.hKey, L"one_more"}};  // 513 deep from a key
    for (const auto& [base, path] : keys) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(base, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_INVALID_PARAMETER)
            << path.size();
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_EQ(SetDword(ok.hKey, L"tab\there", 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDword(ok.hKey, std::wstring(16383, L'v').c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(ok.hKey, std::wstring(16384, L'v').c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(ok.hKey, L"bad", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), (Names{L"d", std::wstring(255, L'k')}));
}

TEST_F(RegistryNames, PathsMakeEveryKeySkipEmptyComponentsAndDeleteWholeSubtrees) {
    const RegKey leaf(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig", true);
    EXPECT_TRUE(KeyExists(L"Drivers\\USB\\ClientDrivers"));
    const RegKey created(L"\\A\\\\B\\", true);
    ASSERT_EQ(SetDword(created.hKey, L"v", 7), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"\\\\A\\B\\\\", L"v").data, DwordBytes(7));
    const RegKey same(L"", false, created.hKey);
    EXPECT_EQ(QueryAt(L"", L"v", same.hKey).data, DwordBytes(7)) << "an empty subkey is the key";
    EXPECT_EQ(RegDeleteKeyW(created.hKey, L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"\\a\\"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryAt(L"A\\B", L"v").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(same.hKey, L"v", 1), ERROR_KEY_DELETED) << "below the deleted key";

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"OtsUSB\\Ports", 0, 0, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), (Names{L"Drivers"}));
}

using RegistryValues = RegistryTest;

// A buffer one short gets ERROR_MORE_DATA, the size needed and not one byte; an exact one
// gets it all. Names count their terminating zero.
TEST_F(RegistryValues, SizesFollowTheQueryRulesAndNamesCountTheirZero) {
    const RegKey e(L"E", true);
    const HKEY key = e.hKey;
    const RegKey child(L"Child", true, key);
    ASSERT_EQ(SetValue(key, L"Name", REG_SZ, StringBytes(L"OTS1:")), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 6 * sizeof(wchar_t);
    RegBytes buffer(size, 0xCC);
    DWORD shortSize = size - 1;
    EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, &type, buffer.data(), &shortSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(buffer, RegBytes(size, 0xCC));
    wchar_t name[16] = L"untouched";
    DWORD chars = 5;  // "Child" needs 6 with the zero
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::wstring(name), L"untouched");
    chars = 5;  // "Name" and its zero
    shortSize = size - 1;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, &type, buffer.data(), &shortSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(buffer, RegBytes(size, 0xCC));
    chars = 6;
    wchar_t keyClass[4] = L"xyz";
    DWORD classChars = 4;
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, keyClass, &classChars, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, chars), L"Child");
    EXPECT_EQ(std::make_pair(classChars, keyClass[0]), std::make_pair(DWORD{0}, L'\0'));
    chars = 5;
    size = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, &type, buffer.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, chars), L"Name");
    EXPECT_EQ(buffer, StringBytes(L"OTS1:"));
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Name", &reserved, &type, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, &type, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);

    // How the driver reads a setting: a 4-byte buffer preset to the default, no type check.
    ASSERT_EQ(SetValue(key, L"Short", REG_BINARY, {0x11, 0x22}), ERROR_SUCCESS);
    DWORD value = 0xAABBCCDD;
    size = sizeof value;
    ASSERT_EQ(
        RegQueryValueExW(key, L"Short", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::make_pair(value, size), std::make_pair(DWORD{0xAABB2211u}, DWORD{2}))
        << "a short value fills only the low bytes";
}

using RegistryHandles = RegistryTest;

TEST_F(RegistryHandles, ClosedUnknownAndDeletedKeysAreRefused) {
    RegKey first(L"H", true);
    const HKEY closed = std::exchange(first.hKey, nullptr);
    EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(closed, L"x", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    const RegKey again(L"H", true);
    EXPECT_NE(again.hKey, closed) << "handle values are not reused";

    const RegKey stale(L"Gone\\Child", true);
    const RegKey parent(L"Gone", true);
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Gone"), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"Gone", L"").rc, ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(stale.hKey, L"v", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent.hKey, L"New", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
              ERROR_KEY_DELETED);
    wchar_t name[8];
    DWORD chars = 8;
    EXPECT_EQ(RegEnumKeyExW(parent.hKey, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    const RegKey recreated(L"Gone\\Child", true);  // a new key: the old handle stays deleted
    EXPECT_EQ(SetDword(stale.hKey, L"v", 3), ERROR_KEY_DELETED);
    ce::host::ResetRegistry();
    EXPECT_EQ(SetDword(again.hKey, L"v", 1), ERROR_KEY_DELETED);
}

}  // namespace
