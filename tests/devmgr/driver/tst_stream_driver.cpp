// A stream driver that records its calls, for the device manager's tests.
#include "tst_stream_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "ce/devmgr.h"
#include "ce/kernel.h"
#include "ce/registry.h"

#define TST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

tst::DriverState gState;
std::atomic<DWORD> gLastContext{0x100};

// A value of the active key, when it is there with the expected type.
template <class Value>
std::optional<Value> ReadValue(HKEY key, const wchar_t* name, DWORD expectedType) {
    std::conditional_t<std::is_same_v<Value, DWORD>, DWORD, wchar_t[32]> value{};
    DWORD size = sizeof(value) - (expectedType == REG_SZ ? sizeof(wchar_t) : 0);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) !=
            ERROR_SUCCESS ||
        type != expectedType) {
        return std::nullopt;
    }
    return Value(value);
}

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
        call.name = ReadValue<std::wstring>(key, L"Name", REG_SZ);
        call.clientInfo = ReadValue<DWORD>(key, L"ClientInfo", REG_DWORD);
        RegCloseKey(key);
    }
    if (gState.refuseInit) {
        gState.Record(call);
        SetLastError(gState.initError);
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
    if (gState.openError == ERROR_SUCCESS) {
        call.returned = ++gLastContext;
    }
    gState.Record(call);
    if (call.returned == 0) {
        SetLastError(gState.openError);
    }
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
    BOOL result = TRUE;
    switch (dwCode) {
        case tst::kEchoCode: {
            const DWORD length = std::min(dwLenIn, dwLenOut);
            if (length != 0) {
                std::memcpy(pBufOut, pBufIn, length);
            }
            if (pdwActualOut != nullptr) {
                *pdwActualOut = length;
            }
            break;
        }
        case tst::kBlockCode:
            gState.Block();
            break;
        default:
            result = FALSE;
            break;
    }
    call.op = tst::Op::IoControlEnd;
    gState.Record(call);
    return result;
}

// The same driver under a second prefix, so that names of two prefixes can be told apart.
TST_EXPORT DWORD TSB_Init(LPCWSTR pContext, LPCVOID lpvBusContext) {
    return TST_Init(pContext, lpvBusContext);
}
TST_EXPORT BOOL TSB_Deinit(DWORD hDeviceContext) {
    return TST_Deinit(hDeviceContext);
}
TST_EXPORT DWORD TSB_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode) {
    return TST_Open(hDeviceContext, AccessCode, ShareMode);
}
TST_EXPORT BOOL TSB_Close(DWORD hOpenContext) {
    return TST_Close(hOpenContext);
}
TST_EXPORT BOOL TSB_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                              PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut) {
    return TST_IOControl(hOpenContext, dwCode, pBufIn, dwLenIn, pBufOut, dwLenOut, pdwActualOut);
}
