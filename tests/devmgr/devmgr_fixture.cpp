#include "devmgr_fixture.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/registry.h"

namespace devmgr_test {
namespace {

struct OpenKey {
    HKEY key = nullptr;
    ~OpenKey() {
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
};

HKEY CreateKey(OpenKey& holder, const std::wstring& key) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &holder.key, nullptr),
              ERROR_SUCCESS);
    return holder.key;
}

}  // namespace

tst::DriverState& Driver() {
    static tst::DriverState* state = [] {
        const std::string path = ce::host::ResolveDriverLibrary(TST_DRIVER_FILE_NAME);
        void* library = dlopen(path.c_str(), RTLD_NOW);
        EXPECT_NE(library, nullptr) << path;
        auto stateOf = reinterpret_cast<tst::DriverState* (*)()>(dlsym(library, "TST_State"));
        EXPECT_NE(stateOf, nullptr);
        return stateOf();
    }();
    return *state;
}

void WriteString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    OpenKey holder;
    const auto size = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(RegSetValueExW(CreateKey(holder, key), name, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()), size),
              ERROR_SUCCESS);
}

void WriteDword(const std::wstring& key, const wchar_t* name, DWORD value) {
    OpenKey holder;
    EXPECT_EQ(RegSetValueExW(CreateKey(holder, key), name, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
}

std::optional<std::wstring> ReadString(const std::wstring& key, const wchar_t* name) {
    OpenKey holder;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &holder.key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t text[260] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(holder.key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(text);
}

std::optional<DWORD> ReadDword(const std::wstring& key, const wchar_t* name) {
    OpenKey holder;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &holder.key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(holder.key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

bool KeyExists(const std::wstring& key) {
    OpenKey holder;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &holder.key) ==
           ERROR_SUCCESS;
}

std::vector<std::wstring> Subkeys(const std::wstring& key) {
    std::vector<std::wstring> names;
    OpenKey holder;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &holder.key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[260] = {};
        DWORD length = std::size(name);
        if (RegEnumKeyExW(holder.key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name);
    }
}

std::vector<std::wstring> ActiveNames() {
    std::vector<std::wstring> names;
    for (const ce::host::ActiveDevice& device : ce::host::ListActiveDevices()) {
        names.push_back(device.name);
    }
    return names;
}

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void DevmgrTest::SetUp() {
    ce::host::ResetRegistry();
    Driver().Reset();
    WriteString(kTestKey, L"Dll", kTestDriverFile);
    WriteString(kTestKey, L"Prefix", L"TST");
}

void DevmgrTest::TearDown() {
    Driver().ReleaseBlockedCalls();
    for (HANDLE device : activations_) {
        DeactivateDevice(device);
    }
    activations_.clear();
    EXPECT_TRUE(ce::host::ListActiveDevices().empty());
}

HANDLE DevmgrTest::Activate(DWORD clientInfo) {
    return ActivateKey(kTestKey, clientInfo);
}

HANDLE DevmgrTest::ActivateKey(const wchar_t* key, DWORD clientInfo) {
    HANDLE device = ActivateDevice(key, clientInfo);
    if (device != nullptr) {
        activations_.push_back(device);
    }
    return device;
}

BOOL DevmgrTest::Deactivate(HANDLE device) {
    std::erase(activations_, device);
    return DeactivateDevice(device);
}

}  // namespace devmgr_test
