// The scripted stream driver (see script_driver.h).
#include "script_driver.h"

#include <algorithm>
#include <cstring>

#include "ce/host/clock.h"
#include "ce/kernel.h"
#include "ce/registry.h"

#define SCRIPT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

script::DriverState gState;

// Instance names by device context (context = index + 1).
std::mutex gNamesMutex;
std::vector<std::wstring> gNames;

script::Event EventOf(script::Op op, DWORD hContext) {
    script::Event event{};
    event.op = op;
    event.platformMs = ce::host::PlatformNowMs();
    std::lock_guard lock(gNamesMutex);
    if (hContext >= 1 && hContext <= gNames.size()) {
        event.device = gNames[hContext - 1];
    }
    return event;
}

}  // namespace

SCRIPT_EXPORT script::DriverState* OTS_ScriptState() {
    return &gState;
}

SCRIPT_EXPORT DWORD OTS_Init(LPCWSTR pContext, LPCVOID /*lpvBusContext*/) {
    HKEY hKey = nullptr;
    if (pContext == nullptr ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, pContext, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return 0;
    }
    WCHAR name[32] = {};
    DWORD cb = sizeof(name) - sizeof(WCHAR);
    RegQueryValueExW(hKey, L"Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(name), &cb);
    RegCloseKey(hKey);
    std::lock_guard lock(gNamesMutex);
    gNames.push_back(name);
    return static_cast<DWORD>(gNames.size());
}

SCRIPT_EXPORT BOOL OTS_Deinit(DWORD /*hDeviceContext*/) {
    return TRUE;
}

SCRIPT_EXPORT DWORD OTS_Open(DWORD hDeviceContext, DWORD /*AccessCode*/, DWORD /*ShareMode*/) {
    std::vector<BYTE> none;
    gState.Answer(EventOf(script::Op::Open, hDeviceContext), none);
    return hDeviceContext;
}

SCRIPT_EXPORT BOOL OTS_Close(DWORD hOpenContext) {
    std::vector<BYTE> none;
    return gState.Answer(EventOf(script::Op::Close, hOpenContext), none);
}

SCRIPT_EXPORT BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                                 PBYTE pBufOut, DWORD dwLenOut, PDWORD /*pdwActualOut*/) {
    script::Event event = EventOf(script::Op::IoControl, hOpenContext);
    event.code = dwCode;
    if (pBufIn != nullptr) {
        event.input.emplace(pBufIn, pBufIn + dwLenIn);
    }
    if (pBufOut != nullptr) {
        event.outputLength = dwLenOut;
    }
    std::vector<BYTE> reply;
    if (!gState.Answer(std::move(event), reply)) {
        return FALSE;
    }
    if (pBufOut != nullptr && !reply.empty()) {
        std::memcpy(pBufOut, reply.data(), std::min<std::size_t>(reply.size(), dwLenOut));
    }
    return TRUE;
}
