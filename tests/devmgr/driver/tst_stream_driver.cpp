// A stream driver that records its calls, for the device manager's tests.
#include "tst_stream_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "ce/devmgr.h"
#include "ce/kernel.h"
#include "ce/registry.h"

#define TST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

tst::DriverState gState;
std::atomic<DWORD> gLastContext{0x100};

}  // namespace

TST_EXPORT tst::DriverState* TST_State() {
    return &gState;
}

TST_EXPORT DWORD TST_Init(LPCWSTR pContext, LPCVOID lpvBusContext) {
    tst::Call call{tst::Op::Init};
    call.activeKey = pContext != nullptr ? pContext : L"";
    call.busContext = lpvBusContext;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pContext, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t name[32] = {};
        DWORD value = 0;
        DWORD size = sizeof name - sizeof(wchar_t);
        if (RegQueryValueExW(key, L"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                             &size) == ERROR_SUCCESS) {
            call.name = name;
        }
        size = sizeof value;
        if (RegQueryValueExW(key, L"ClientInfo", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size) == ERROR_SUCCESS) {
            call.clientInfo = value;
        }
        RegCloseKey(key);
    }
    if (gState.initRefusal) {
        gState.Record(call);
        SetLastError(*gState.initRefusal);
        return 0;
    }
    call.returned = ++gLastContext;
    gState.Record(call);
    return call.returned;
}

TST_EXPORT BOOL TST_Deinit(DWORD hDeviceContext) {
    gState.Record({tst::Op::Deinit, hDeviceContext});
    return TRUE;
}

TST_EXPORT DWORD TST_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode) {
    tst::Call call{tst::Op::Open, hDeviceContext};
    call.access = AccessCode;
    call.share = ShareMode;
    call.returned = gState.openError == ERROR_SUCCESS ? ++gLastContext : 0;
    gState.Record(call);
    SetLastError(gState.openError);
    return call.returned;
}

TST_EXPORT BOOL TST_Close(DWORD hOpenContext) {
    gState.Record({tst::Op::Close, hOpenContext});
    return TRUE;
}

TST_EXPORT BOOL TST_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                              PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut) {
    tst::Call call{tst::Op::IoControlBegin, hOpenContext};
    call.code = dwCode;
    gState.Record(call);
    if (dwCode == tst::kEchoCode) {
        const DWORD length = std::min(dwLenIn, dwLenOut);
        std::memcpy(pBufOut, pBufIn, length);
        *pdwActualOut = length;
    } else if (dwCode == tst::kBlockCode) {
        gState.Block();
    }
    call.op = tst::Op::IoControlEnd;
    gState.Record(call);
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
