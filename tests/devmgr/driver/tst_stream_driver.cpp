// A stream driver that writes each call into a transcript, for the device manager's tests.
#include "tst_stream_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ce/kernel.h"
#include "ce/registry.h"

#define TST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

tst::DriverState gState;

// Appends a line (printf-style) with the state locked; the lock stays with the caller.
template <class... Args>
std::unique_lock<std::mutex> Log(const char* format, Args... args) {
    std::unique_lock lock(gState.mutex);
    char line[160];
    std::snprintf(line, sizeof line, format, args...);
    gState.trace += line;
    gState.trace += '\n';
    return lock;
}

}  // namespace

TST_EXPORT tst::DriverState* TST_State() {
    return &gState;
}

// Init notes what the active key held when it ran: the name and client info written before.
TST_EXPORT DWORD TST_Init(LPCWSTR pContext, LPCVOID lpvBusContext) {
    wchar_t name[32] = L"?";
    DWORD clientInfo = 0xFFFFFFFF;  // none
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pContext, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof name - sizeof(wchar_t);
        RegQueryValueExW(key, L"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
        size = sizeof clientInfo;
        RegQueryValueExW(key, L"ClientInfo", nullptr, nullptr, reinterpret_cast<BYTE*>(&clientInfo),
                         &size);
        RegCloseKey(key);
    }
    // A bus context, when given, points to an int.
    const int bus = lpvBusContext != nullptr ? *static_cast<const int*>(lpvBusContext) : 0;
    const DWORD context = gState.initRefusal ? 0 : gState.lastContext + 1;
    auto lock = Log("Init %ls client=0x%x bus=%d -> 0x%x", name, clientInfo, bus, context);
    gState.lastContext += context != 0 ? 1 : 0;
    SetLastError(gState.initRefusal.value_or(ERROR_SUCCESS));
    return context;
}

TST_EXPORT BOOL TST_Deinit(DWORD hDeviceContext) {
    Log("Deinit 0x%x", hDeviceContext);
    return TRUE;
}

TST_EXPORT DWORD TST_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode) {
    const DWORD context = gState.openError == ERROR_SUCCESS ? gState.lastContext + 1 : 0;
    auto lock = Log("Open 0x%x access=0x%x share=0x%x -> 0x%x", hDeviceContext, AccessCode,
                    ShareMode, context);
    gState.lastContext += context != 0 ? 1 : 0;
    SetLastError(gState.openError);
    return context;
}

TST_EXPORT BOOL TST_Close(DWORD hOpenContext) {
    Log("Close 0x%x", hOpenContext);
    return TRUE;
}

TST_EXPORT BOOL TST_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                              PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut) {
    auto lock = Log("IOControl 0x%x code=%u", hOpenContext, dwCode);
    if (dwCode == tst::kEchoCode) {
        const DWORD length = std::min(dwLenIn, dwLenOut);
        std::memcpy(pBufOut, pBufIn, length);
        *pdwActualOut = length;
    } else if (dwCode == tst::kBlockCode) {
        gState.blocked = true;
        gState.changed.notify_all();
        gState.changed.wait(lock, [] { return gState.released; });
        gState.trace += "IOControl returns\n";
    }
    return dwCode != tst::kFailCode;
}

// The same driver under a second prefix, so that names of two prefixes can be told apart.
// clang-format off
TST_EXPORT DWORD TSB_Init(LPCWSTR, LPCVOID) __attribute__((alias("TST_Init")));
TST_EXPORT BOOL TSB_Deinit(DWORD) __attribute__((alias("TST_Deinit")));
TST_EXPORT DWORD TSB_Open(DWORD, DWORD, DWORD) __attribute__((alias("TST_Open")));
TST_EXPORT BOOL TSB_Close(DWORD) __attribute__((alias("TST_Close")));
TST_EXPORT BOOL TSB_IOControl(DWORD, DWORD, PBYTE, DWORD, PBYTE, DWORD, PDWORD) __attribute__((alias("TST_IOControl")));
// clang-format on
