// The Windows CE registry calls: names, paths, value sizes, handles, enumeration.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "registry_test_support.h"

namespace {

using namespace regtest;

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD chars = 256;
        const LONG rc = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, chars);
    }
}

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD chars = 256;
        const LONG rc = RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, chars);
    }
}

// How the driver reads a setting: a 4-byte buffer preset to the default, no type check.
DWORD ReadFourBytes(const std::wstring& path, const wchar_t* name, DWORD fallback, DWORD* size) {
    Key key(Create(path));
    DWORD value = fallback;
    *size = sizeof value;
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value),
                         size) != ERROR_SUCCESS) {
        return fallback;
    }
    return value;
}

using RegistryNames = RegistryTest;

TEST_F(RegistryNames, KeysMatchInAnyCaseAndKeepTheirOwn) {
    DWORD disposition = 0;
    Key created(Create(L"Foo\\Bar", &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    Key opened;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"foo\\BAR", 0, 0, opened.out()), ERROR_SUCCESS);
    Key again(Create(L"FOO\\bar", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    EXPECT_EQ(SubkeyNames(HKEY_LOCAL_MACHINE), std::vector<std::wstring>{L"Foo"});
    Key foo;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"FOO", 0, 0, foo.out()), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(foo.get()), std::vector<std::wstring>{L"Bar"});

    // All three handles reach the same key.
    ASSERT_EQ(SetDword(created.get(), L"Mode", 2), ERROR_SUCCESS);
    EXPECT_EQ(Query(opened.get(), L"MODE").data, DwordBytes(2));
    EXPECT_EQ(Query(again.get(), L"mode").data, DwordBytes(2));
}

TEST_F(RegistryNames, ValuesMatchInAnyCaseAndARewriteKeepsTheFirstSpelling) {
    Key key(Create(L"K"));
    ASSERT_EQ(SetDword(key.get(), L"EnableTouch", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), L"ENABLETOUCH", 0), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), L"enabletouch").data, DwordBytes(0));
    EXPECT_EQ(ValueNames(key.get()), std::vector<std::wstring>{L"EnableTouch"});
}

TEST_F(RegistryNames, CaseFoldingCoversLatinGreekAndCyrillic) {
    Key created(Create(L"ÄRGER\\ŁÓDŹ\\ΣΑ\\ΉΛΙΟ\\ДОМ\\ЁЖ"));
    Key opened;
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"ärger\\łódź\\σα\\ήλιο\\дом\\ёж", 0, 0, opened.out()),
        ERROR_SUCCESS);
    // Letters that only look alike stay apart.
    Key other;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"ARGER", 0, 0, other.out()), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryNames, EnumerationSortsWithoutRegardToCase) {
    Key root(Create(L"Sort"));
    for (const wchar_t* name : {L"beta", L"Alpha", L"GAMMA", L"delta"}) {
        Key sub;
        ASSERT_EQ(RegCreateKeyExW(root.get(), name, 0, nullptr, 0, 0, nullptr, sub.out(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetDword(root.get(), name, 1), ERROR_SUCCESS);
    }
    const std::vector<std::wstring> expected{L"Alpha", L"beta", L"delta", L"GAMMA"};
    EXPECT_EQ(SubkeyNames(root.get()), expected);
    EXPECT_EQ(ValueNames(root.get()), expected);
}

TEST_F(RegistryNames, ControlCharactersAndOverlongNamesAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Bad\nName", 0, nullptr, 0, 0, nullptr, &key, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);

    Key ok(Create(std::wstring(255, L'k')));
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, std::wstring(256, L'k').c_str(), 0, nullptr, 0, 0,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDword(ok.get(), L"tab\there", 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDword(ok.get(), std::wstring(16383, L'v').c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(ok.get(), std::wstring(16384, L'v').c_str(), 1), ERROR_INVALID_PARAMETER);
    // A refused call creates nothing.
    EXPECT_EQ(SubkeyNames(HKEY_LOCAL_MACHINE), std::vector<std::wstring>{std::wstring(255, L'k')});
}

TEST_F(RegistryNames, KeysNestAtMost512Deep) {
    std::wstring path = L"d";
    for (int i = 1; i < 512; ++i) {
        path += L"\\d";
    }
    Key deepest(Create(path));
    HKEY tooDeep = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(deepest.get(), L"one_more", 0, nullptr, 0, 0, nullptr, &tooDeep, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\one_more").c_str(), 0, nullptr, 0, 0,
                              nullptr, &tooDeep, nullptr),
              ERROR_INVALID_PARAMETER);
}

using RegistryPaths = RegistryTest;

TEST_F(RegistryPaths, CreateMakesEveryMissingKeyAlongThePath) {
    Key leaf(Create(L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig"));
    for (const wchar_t* path : {L"Drivers", L"Drivers\\USB", L"Drivers\\USB\\ClientDrivers",
                                L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class"}) {
        Key key;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, key.out()), ERROR_SUCCESS) << path;
    }
}

TEST_F(RegistryPaths, EmptyComponentsAreSkippedEverywhere) {
    Key created(Create(L"\\A\\\\B\\"));
    ASSERT_EQ(SetDword(created.get(), L"v", 7), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"A\\B", L"v").data, DwordBytes(7));
    EXPECT_EQ(QueryAt(L"\\\\A\\B\\\\", L"v").data, DwordBytes(7));
    EXPECT_EQ(SubkeyNames(HKEY_LOCAL_MACHINE), std::vector<std::wstring>{L"A"});
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"\\A\\B\\"), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"A\\B", L"v").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryPaths, MissingKeysAreNotFoundAndNotCreatedByOpen) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"OtsUSB\\Ports", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(SubkeyNames(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(RegistryPaths, AnEmptySubkeyOpensTheKeyItself) {
    Key parent(Create(L"P"));
    Key same;
    ASSERT_EQ(RegOpenKeyExW(parent.get(), nullptr, 0, 0, same.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(same.get(), L"x", 3), ERROR_SUCCESS);
    EXPECT_EQ(Query(parent.get(), L"x").data, DwordBytes(3));
    EXPECT_EQ(RegDeleteKeyW(parent.get(), L""), ERROR_INVALID_PARAMETER);
}

using RegistryValues = RegistryTest;

TEST_F(RegistryValues, QueryReportsSizeFirstAndRefusesShortBuffers) {
    Key key(Create(L"Drivers\\Active\\01"));
    ASSERT_EQ(SetString(key.get(), L"Name", L"OTS1:"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6 * sizeof(wchar_t));  // five characters and the terminating zero

    std::vector<BYTE> buffer(size, 0xCC);
    DWORD shortSize = size - 1;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), &shortSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(buffer, std::vector<BYTE>(size, 0xCC)) << "nothing may be written";

    DWORD exactSize = size;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), &exactSize),
              ERROR_SUCCESS);
    EXPECT_EQ(exactSize, size);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(buffer.data())), L"OTS1:");

    EXPECT_EQ(RegQueryValueExW(key.get(), L"Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", nullptr, &type, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"Name", &reserved, &type, nullptr, &size),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, FourByteReadTakesWhatFitsAndFallsBackOtherwise) {
    const std::wstring path = L"Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig";
    Key key(Create(path));
    ASSERT_EQ(SetDword(key.get(), L"Mode", 0x1234), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), L"Text", L"OTS1:"), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.get(), L"Short", REG_BINARY, {0x11, 0x22}), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(ReadFourBytes(path, L"Mode", 2, &size), 0x1234u);
    EXPECT_EQ(ReadFourBytes(path, L"Missing", 2, &size), 2u);
    EXPECT_EQ(ReadFourBytes(path, L"Text", 2, &size), 2u);  // 24 bytes do not fit
    EXPECT_EQ(size, 24u);
    // A short value fills only the low bytes; the rest keep what the buffer held.
    EXPECT_EQ(ReadFourBytes(path, L"Short", 0xAABBCCDD, &size), 0xAABB2211u);
    EXPECT_EQ(size, 2u);
}

TEST_F(RegistryValues, EveryTypeIsStoredAsTheBytesGiven) {
    Key key(Create(L"Types"));
    const std::vector<BYTE> multi = StringBytes(std::wstring(L"a\0b\0", 4));
    const std::vector<BYTE> qword{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(SetBytes(key.get(), L"bin", REG_BINARY, {0, 0xFF, 0x7F}), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.get(), L"multi", REG_MULTI_SZ, multi), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.get(), L"qword", 11, qword), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), L"empty", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key.get(), L"bad", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER);

    const StoredValue bin = Query(key.get(), L"bin");
    EXPECT_EQ(bin.type, REG_BINARY);
    EXPECT_EQ(bin.data, (std::vector<BYTE>{0, 0xFF, 0x7F}));
    EXPECT_EQ(Query(key.get(), L"multi").data, multi);
    EXPECT_EQ(Query(key.get(), L"qword").type, 11u);
    EXPECT_EQ(Query(key.get(), L"qword").data, qword);
    EXPECT_TRUE(Query(key.get(), L"empty").data.empty());
    EXPECT_EQ(Query(key.get(), L"bad").rc, ERROR_FILE_NOT_FOUND);

    // Rewriting changes the type along with the bytes.
    ASSERT_EQ(SetDword(key.get(), L"bin", 5), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), L"bin").type, REG_DWORD);
}

TEST_F(RegistryValues, NullAndEmptyNamesAreTheDefaultValue) {
    Key key(Create(L"D"));
    ASSERT_EQ(SetString(key.get(), nullptr, L"default"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), L"").data, StringBytes(L"default"));
    ASSERT_EQ(SetDword(key.get(), L"", 9), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), nullptr).data, DwordBytes(9));
    EXPECT_EQ(ValueNames(key.get()), std::vector<std::wstring>{L""});
    EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.get(), L"").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, DeletingValuesAndKeys) {
    {
        Key leaf(Create(L"Top\\Mid\\Leaf"));
        ASSERT_EQ(SetDword(leaf.get(), L"v", 1), ERROR_SUCCESS);
        Key mid(Create(L"Top\\Mid"));
        ASSERT_EQ(SetDword(mid.get(), L"w", 2), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueW(mid.get(), L"W"), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueW(mid.get(), L"w"), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"top\\mid"), ERROR_SUCCESS);
    EXPECT_EQ(QueryAt(L"Top\\Mid\\Leaf", L"v").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryAt(L"Top\\Mid", L"w").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SubkeyNames(HKEY_LOCAL_MACHINE), std::vector<std::wstring>{L"Top"});
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Top\\Mid"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

using RegistryHandles = RegistryTest;

TEST_F(RegistryHandles, UnknownAndClosedHandlesAreInvalid) {
    HKEY key = Create(L"H");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(key, L"x", 1), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    Key again(Create(L"H"));  // handle values are not reused
    EXPECT_NE(again.get(), key);
}

TEST_F(RegistryHandles, AHandleToADeletedKeyAnswersKeyDeletedUntilClosed) {
    HKEY stale = Create(L"Gone\\Child");
    HKEY parent = Create(L"Gone");
    ASSERT_EQ(SetDword(stale, L"v", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Gone"), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(stale, L"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(stale, L"v", 2), ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, L"New", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
              ERROR_KEY_DELETED);
    wchar_t name[8];
    DWORD chars = 8;
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);

    // A key created again under the same name is a new key; the old handle stays deleted.
    Key recreated(Create(L"Gone\\Child"));
    EXPECT_EQ(Query(recreated.get(), L"v").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(stale, L"v", 3), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

TEST_F(RegistryHandles, AResetDeletesEveryOpenKey) {
    HKEY key = Create(L"Before");
    ce::host::ResetRegistry();
    EXPECT_EQ(SetDword(key, L"v", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(SubkeyNames(HKEY_LOCAL_MACHINE).empty());
}

using RegistryEnumeration = RegistryTest;

TEST_F(RegistryEnumeration, NameBuffersCountTheTerminatingZero) {
    Key parent(Create(L"E"));
    Key child;
    ASSERT_EQ(
        RegCreateKeyExW(parent.get(), L"Child", 0, nullptr, 0, 0, nullptr, child.out(), nullptr),
        ERROR_SUCCESS);
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
    EXPECT_EQ(chars, 5u);
    EXPECT_EQ(std::wstring(name), L"Child");
    EXPECT_EQ(classChars, 0u);
    EXPECT_EQ(keyClass[0], L'\0');
    EXPECT_EQ(RegEnumKeyExW(parent.get(), 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryEnumeration, ValueDataFollowsTheQuerySizeRules) {
    Key key(Create(L"E"));
    ASSERT_EQ(SetBytes(key.get(), L"Blob", REG_BINARY, {1, 2, 3, 4, 5}), ERROR_SUCCESS);
    wchar_t name[8];
    DWORD chars = 8;
    DWORD type = 0;
    BYTE data[8] = {};
    DWORD size = 4;
    EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &chars, nullptr, &type, data, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[0], 0) << "no data may be written";
    chars = 8;
    size = sizeof data;
    ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &chars, nullptr, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name), L"Blob");
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[4], 5);
    chars = 8;
    EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &chars, nullptr, &type, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

using RegistryThreads = RegistryTest;

TEST_F(RegistryThreads, ConcurrentWritersLoseNothingAndCreateAKeyOnce) {
    constexpr int kThreads = 4;
    constexpr DWORD kValues = 500;
    std::atomic<int> createdNew{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &createdNew] {
            for (DWORD i = 0; i < kValues; ++i) {
                DWORD disposition = 0;
                HKEY shared = nullptr;
                const std::wstring path = L"Shared\\Round" + std::to_wstring(i);
                if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr,
                                    &shared, &disposition) != ERROR_SUCCESS) {
                    continue;
                }
                createdNew += disposition == REG_CREATED_NEW_KEY ? 1 : 0;
                SetDword(shared, (L"T" + std::to_wstring(t)).c_str(), i);
                RegCloseKey(shared);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(createdNew.load(), static_cast<int>(kValues));
    for (DWORD i = 0; i < kValues; ++i) {
        for (int t = 0; t < kThreads; ++t) {
            const std::wstring name = L"T" + std::to_wstring(t);
            ASSERT_EQ(QueryAt(L"Shared\\Round" + std::to_wstring(i), name.c_str()).data,
                      DwordBytes(i));
        }
    }
}

}  // namespace
