// The stream entry points: binding to the stream instance, and the single-open rule.
#include <cwchar>

#include "ce/kernel.h"
#include "ce/registry.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/port_claim.h"
#include "protocol/bytes.h"

namespace {

// The cookie the device manager stored as "ClientInfo" in the active key; 0 when unreadable.
DWORD ReadClientInfo(LPCWSTR lpActivePath) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpActivePath, 0, 0, &hKey) != ERROR_SUCCESS) {
        return 0;
    }
    BYTE buffer[4] = {};
    DWORD cbData = sizeof(buffer);
    const LONG lResult = RegQueryValueExW(hKey, L"ClientInfo", nullptr, nullptr, buffer, &cbData);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS ? ots::LoadU32(buffer, 0) : 0;
}

// A context binds to one stream instance only, for its whole life.
bool BindOnce(DEVICE_CONTEXT* pDevice, LPCWSTR lpActivePath) {
    if (pDevice->lpActivePath != nullptr) {
        return false;
    }
    std::wcsncpy(pDevice->szActivePath, lpActivePath, std::size(pDevice->szActivePath) - 1);
    pDevice->lpActivePath = pDevice->szActivePath;
    pDevice->szPortName[0] = L'\0';
    return ClaimPort(pDevice, lpActivePath);
}

}  // namespace

namespace otsusb {

DWORD OTS_Init(LPCWSTR pContext, LPCVOID /*lpvBusContext*/) {
    if (pContext == nullptr) {
        return 0;
    }
    const DWORD dwCookie = ReadClientInfo(pContext);
    DEVICE_CONTEXT* pDevice = ResolveContext(dwCookie);
    if (pDevice == nullptr) {
        return 0;
    }
    EnterCriticalSection(&pDevice->csLock);
    const bool fBound = BindOnce(pDevice, pContext);
    LeaveCriticalSection(&pDevice->csLock);
    return fBound ? dwCookie : 0;
}

BOOL OTS_Deinit(DWORD hDeviceContext) {
    DEVICE_CONTEXT* pDevice = ResolveContext(hDeviceContext);
    if (pDevice == nullptr) {
        return FALSE;
    }
    EnterCriticalSection(&pDevice->csLock);
    const bool fReleased = ReleasePort(pDevice);
    LeaveCriticalSection(&pDevice->csLock);
    return fReleased ? TRUE : FALSE;
}

DWORD OTS_Open(DWORD hDeviceContext, DWORD /*AccessCode*/, DWORD /*ShareMode*/) {
    DEVICE_CONTEXT* pDevice = ResolveContext(hDeviceContext);
    if (pDevice == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    EnterCriticalSection(&pDevice->csLock);
    const BYTE flags = pDevice->Flags.load();
    const bool fAdmitted = (flags & (DEVICE_FLAG_OPEN | DEVICE_FLAG_CLOSING)) == 0;
    if (fAdmitted) {
        pDevice->Flags.store(static_cast<BYTE>(flags | DEVICE_FLAG_OPEN));
    }
    LeaveCriticalSection(&pDevice->csLock);
    if (!fAdmitted) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return hDeviceContext;
}

BOOL OTS_Close(DWORD hOpenContext) {
    DEVICE_CONTEXT* pDevice = ResolveContext(hOpenContext);
    if (pDevice == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    EnterCriticalSection(&pDevice->csLock);
    pDevice->Flags.store(static_cast<BYTE>(pDevice->Flags.load() & ~DEVICE_FLAG_OPEN));
    LeaveCriticalSection(&pDevice->csLock);
    return TRUE;
}

}  // namespace otsusb
