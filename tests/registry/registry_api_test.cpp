// The Windows CE registry calls: names, paths, value sizes, handles, enumeration.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/registry_helpers.h"

namespace {

using namespace regtest;
using Names = std::vector<std::wstring>;

Names EnumNames(HKEY key, bool values) {
    Names names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD chars = 256;
        const LONG rc =
            values ? RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, chars);
    }
}

using RegistryNames = RegistryTest;

TEST_F(RegistryNames, MatchInAnyCaseKeepTheFirstSpellingAndSortWithoutCase) {
    DWORD disposition = 0;
    Key created(Create(L"Foo\\Bar", &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    Key again(Create(L"FOO\\bar", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetDword(created.get(), L"EnableTouch", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(again.get(), L"ENABLETOUCH", 0), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"foo\\BAR", L"enabletouch").data, DwordBytes(0));
    EXPECT_EQ(EnumNames(created.get(), true), Names{L"EnableTouch"});
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), Names{L"Foo"});

    Key folded(Create(L"ÄRGER\\ŁÓDŹ\\ΣΑ\\ΉΛΙΟ\\ДОМ\\ЁЖ"));
    Key opened;
    EXPECT_EQ(Open(L"ärger\\łódź\\σα\\ήλιο\\дом\\ёж", opened), ERROR_SUCCESS);
    EXPECT_EQ(Open(L"ARGER", opened), ERROR_FILE_NOT_FOUND) << "look-alikes stay apart";

    Key root(Create(L"Sort"));
    for (const wchar_t* name : {L"beta", L"Alpha", L"GAMMA", L"delta"}) {
        Key sub(Create(name, nullptr, root.get()));
        SetDword(root.get(), name, 1);
    }
    const Names sorted{L"Alpha", L"beta", L"delta", L"GAMMA"};
    EXPECT_EQ(EnumNames(root.get(), false), sorted);
    EXPECT_EQ(EnumNames(root.get(), true), sorted);
}

TEST_F(RegistryNames, BadNamesAndPathsAreRefusedAndCreateNothing) {
    std::wstring deepest = L"d";
    for (int i = 1; i < 512; ++i) {
        deepest += L"\\d";
    }
    Key ok(Create(std::wstring(255, L'k')));
    Key deep(Create(deepest));
    struct Case {
        const char* name;
        HKEY base;
        std::wstring path;
    };
    const Case keys[] = {{"control character", HKEY_LOCAL_MACHINE, L"Bad\nName"},
                         {"256 characters", HKEY_LOCAL_MACHINE, std::wstring(256, L'k')},
                         {"513 deep", HKEY_LOCAL_MACHINE, deepest + L"\\one_more"},
                         {"513 deep from a key", deep.get(), L"one_more"}};
    for (const Case& c : keys) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(c.base, c.path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_INVALID_PARAMETER)
            << c.name;
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_EQ(SetDword(ok.get(), L"tab\there", 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDword(ok.get(), std::wstring(16383, L'v').c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(ok.get(), std::wstring(16384, L'v').c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(ok.get(), L"bad", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), (Names{L"d", std::wstring(255, L'k')}));
}

using RegistryPaths = RegistryTest;

TEST_F(RegistryPaths, CreateMakesEveryKeyAlongThePathAndSkipsEmptyComponents) {
    Key leaf(Create(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig"));
    Key parent;
    EXPECT_EQ(Open(L"Drivers\\USB\\ClientDrivers", parent), ERROR_SUCCESS);
    Key created(Create(L"\\A\\\\B\\"));
    ASSERT_EQ(SetDword(created.get(), L"v", 7), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"\\\\A\\B\\\\", L"v").data, DwordBytes(7));
    Key same;
    ASSERT_EQ(RegOpenKeyExW(created.get(), nullptr, 0, 0, same.out()), ERROR_SUCCESS);
    EXPECT_EQ(Query(same.get(), L"v").data, DwordBytes(7)) << "an empty subkey is the key";
    EXPECT_EQ(RegDeleteKeyW(created.get(), L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"\\A\\B\\"), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"A\\B", L"v").rc, ERROR_FILE_NOT_FOUND);

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"OtsUSB\\Ports", 0, 0, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), (Names{L"A", L"Drivers"}));
}

using RegistryValues = RegistryTest;

TEST_F(RegistryValues, QueryReportsTheSizeFirstAndWritesNothingIntoAShortBuffer) {
    Key key(Create(L"Drivers\\Active\\01"));
    ASSERT_EQ(SetString(key.get(), L"Name", L"OTS1:"), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6 * sizeof(wchar_t));  // five characters and the terminating zero
    Bytes buffer(size, 0xCC);
    DWORD shortSize = size - 1;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), &shortSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(buffer, Bytes(size, 0xCC));
    DWORD exactSize = size;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), &exactSize),
              ERROR_SUCCESS);
    EXPECT_EQ(buffer, StringBytes(L"OTS1:"));
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", &reserved, &type, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);

    // How the driver reads a setting: a 4-byte buffer preset to the default, no type check.
    ASSERT_EQ(SetBytes(key.get(), L"Short", REG_BINARY, {0x11, 0x22}), ERROR_SUCCESS);
    DWORD value = 0xAABBCCDD;
    size = sizeof value;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"Short", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0xAABB2211u) << "a short value fills only the low bytes";
    EXPECT_EQ(size, 2u);
}

TEST_F(RegistryValues, EveryTypeIsStoredAsTheBytesGivenAndDeletedByName) {
    Key key(Create(L"Top\\Mid"));
    const std::tuple<const wchar_t*, DWORD, Bytes> values[] = {
        {L"bin", REG_BINARY, {0, 0xFF, 0x7F}},
        {L"multi", REG_MULTI_SZ, StringBytes(std::wstring(L"a\0b\0", 4))},
        {L"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"empty", REG_NONE, {}},
        {nullptr, REG_SZ, StringBytes(L"default")}};
    for (const auto& [name, type, data] : values) {
        ASSERT_EQ(SetBytes(key.get(), name, type, data), ERROR_SUCCESS);
    }
    for (const auto& [name, type, data] : values) {
        EXPECT_EQ(Query(key.get(), name).type, type);
        EXPECT_EQ(Query(key.get(), name).data, data);
    }
    EXPECT_EQ(Query(key.get(), L"").data, StringBytes(L"default")) << "no name: the default";
    ASSERT_EQ(SetDword(key.get(), L"bin", 5), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), L"bin").type, REG_DWORD) << "a rewrite changes the type";

    EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.get(), L"BIN"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.get(), L"bin"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(EnumNames(key.get(), true), (Names{L"empty", L"multi", L"qword"}));
    Key leaf(Create(L"Top\\Mid\\Leaf"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"top\\mid"), ERROR_SUCCESS);
    Key gone;
    EXPECT_EQ(Open(L"Top\\Mid\\Leaf", gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(EnumNames(HKEY_LOCAL_MACHINE, false), Names{L"Top"});
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Top\\Mid"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, EnumerationCountsTheTerminatingZeroAndFollowsTheQuerySizeRules) {
    Key parent(Create(L"E"));
    Key child(Create(L"Child", nullptr, parent.get()));
    ASSERT_EQ(SetBytes(parent.get(), L"Blob", REG_BINARY, {1, 2, 3, 4, 5}), ERROR_SUCCESS);
    wchar_t name[16] = L"untouched";
    DWORD chars = 5;  // "Child" needs 6 with the zero
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::wstring(name), L"untouched");
    chars = 6;
    wchar_t keyClass[4] = L"xyz";
    DWORD classChars = 4;
    ASSERT_EQ(RegEnumKeyExW(parent.get(), 0, name, &chars, nullptr, keyClass, &classChars, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, chars), L"Child");
    EXPECT_EQ(classChars, 0u);
    EXPECT_EQ(keyClass[0], L'\0');

    DWORD type = 0;
    BYTE data[8] = {};
    DWORD size = 4;
    chars = 5;  // "Blob" and its zero
    EXPECT_EQ(RegEnumValueW(parent.get(), 0, name, &chars, nullptr, &type, data, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[0], 0) << "no data may be written";
    chars = 5;
    size = sizeof data;
    ASSERT_EQ(RegEnumValueW(parent.get(), 0, name, &chars, nullptr, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, chars), L"Blob");
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(Bytes(data, data + size), (Bytes{1, 2, 3, 4, 5}));
}

using RegistryHandles = RegistryTest;

TEST_F(RegistryHandles, ClosedUnknownAndDeletedKeysAreRefused) {
    HKEY closed = Create(L"H");
    EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(closed, L"x", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    Key again(Create(L"H"));
    EXPECT_NE(again.get(), closed) << "handle values are not reused";

    HKEY stale = Create(L"Gone\\Child");
    HKEY parent = Create(L"Gone");
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Gone"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(stale, L"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, L"New", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
              ERROR_KEY_DELETED);
    wchar_t name[8];
    DWORD chars = 8;
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    Key recreated(Create(L"Gone\\Child"));  // a new key: the old handle stays deleted
    EXPECT_EQ(SetDword(stale, L"v", 3), ERROR_KEY_DELETED);
    ce::host::ResetRegistry();
    EXPECT_EQ(SetDword(again.get(), L"v", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

TEST_F(RegistryHandles, ConcurrentWritersLoseNothingAndCreateAKeyOnce) {
    constexpr DWORD kRounds = 300;
    std::atomic<DWORD> createdNew{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &createdNew] {
            for (DWORD i = 0; i < kRounds; ++i) {
                DWORD disposition = 0;
                Key shared(Create(L"Shared\\Round" + std::to_wstring(i), &disposition));
                createdNew += disposition == REG_CREATED_NEW_KEY ? 1 : 0;
                SetDword(shared.get(), (L"T" + std::to_wstring(t)).c_str(), i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(createdNew.load(), kRounds);
    for (DWORD i = 0; i < kRounds; ++i) {
        Key round;
        ASSERT_EQ(Open(L"Shared\\Round" + std::to_wstring(i), round), ERROR_SUCCESS);
        EXPECT_EQ(EnumNames(round.get(), true), (Names{L"T0", L"T1", L"T2", L"T3"}));
        ASSERT_EQ(Query(round.get(), L"T3").data, DwordBytes(i));
    }
}

}  // namespace
