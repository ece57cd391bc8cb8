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

std::wstring ReadName(LPCWSTR lpActiveKey) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpActiveKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return {};
    }
    WCHAR name[32] = {};
    DWORD cb = sizeof(name) - sizeof(WCHAR);
    RegQueryValueExW(hKey, L"Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(name), &cb);
    RegCloseKey(hKey);
    return name;
}

std::wstring NameOf(DWORD hContext) {
    std::lock_guard lock(gNamesMutex);
    return hContext >= 1 && hContext <= gNames.size() ? gNames[hContext - 1] : std::wstring{};
}

script::Event EventOf(script::Op op, DWORD hContext) {
    script::Event event{};
    event.op = op;
    event.device = NameOf(hContext);
    event.platformMs = ce::host::PlatformNowMs();
    return event;
}

}  // namespace

SCRIPT_EXPORT script::DriverState* OTS_ScriptState() {
    return &gState;
}

SCRIPT_EXPORT DWORD OTS_Init(LPCWSTR pContext, LPCVOID /*lpvBusContext*/) {
    if (pContext == nullptr) {
        return 0;
    }
    std::lock_guard lock(gNamesMutex);
    gNames.push_back(ReadName(pContext));
    return static_cast<DWORD>(gNames.size());
}

SCRIPT_EXPORT BOOL OTS_Deinit(DWORD /*hDeviceContext*/) {
    return TRUE;
}

SCRIPT_EXPORT DWORD OTS_Open(DWORD hDeviceContext, DWORD /*AccessCode*/, DWORD /*ShareMode*/) {
    gState.Record(EventOf(script::Op::Open, hDeviceContext));
    return hDeviceContext;
}

SCRIPT_EXPORT BOOL OTS_Close(DWORD hOpenContext) {
    gState.Record(EventOf(script::Op::Close, hOpenContext));
    return TRUE;
}

SCRIPT_EXPORT BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                                 PBYTE pBufOut, DWORD dwLenOut, PDWORD /*pdwActualOut*/) {
    script::Event event = EventOf(script::Op::IoControl, hOpenContext);
    event.code = dwCode;
    event.inputNull = pBufIn == nullptr;
    if (pBufIn != nullptr) {
        event.input.assign(pBufIn, pBufIn + dwLenIn);
    }
    event.outputLength = dwLenOut;
    event.outputNull = pBufOut == nullptr;
    gState.Record(std::move(event));

    std::vector<BYTE> reply;
    if (!gState.Answer(dwCode, reply)) {
        return FALSE;
    }
    if (pBufOut != nullptr && !reply.empty()) {
        std::memcpy(pBufOut, reply.data(), std::min<std::size_t>(reply.size(), dwLenOut));
    }
    return TRUE;
}
