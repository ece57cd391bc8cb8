// Detach and teardown. The order makes teardown safe: mark closing, give clients and
// the reader time to notice, deactivate the stream, abort the pipe's transfers, join the reader,
// close the pipe, free.
#include "ce/devmgr.h"
#include "ce/kernel.h"
#include "core/context_table.h"
#include "core/lifecycle.h"
#include "touch/touch_data.h"

namespace {

constexpr DWORD kClosingGraceMs = 1000;
constexpr DWORD kReaderAbortRetryMs = 50;

}  // namespace

// Closing is set even when no client had the device open: otherwise a client could open it
// between this point and the deactivation, leaving OPEN set on a context that teardown then
// never frees.
bool MarkClosing(DEVICE_CONTEXT* pDevice) {
    EnterCriticalSection(&pDevice->csLock);
    const bool fWasOpen = (pDevice->Flags.load() & DEVICE_FLAG_OPEN) != 0;
    pDevice->Flags.store(
        static_cast<BYTE>((pDevice->Flags.load() & ~DEVICE_FLAG_OPEN) | DEVICE_FLAG_CLOSING));
    LeaveCriticalSection(&pDevice->csLock);
    return fWasOpen;
}

BOOL UsbDeviceNotify(LPVOID lpvNotifyParameter, DWORD dwCode, LPDWORD* /*dwInfo1*/,
                     LPDWORD* /*dwInfo2*/, LPDWORD* /*dwInfo3*/, LPDWORD* /*dwInfo4*/) {
    DEVICE_CONTEXT* pDevice = ResolveContext(CookieFromParameter(lpvNotifyParameter));
    if (pDevice == nullptr || dwCode != USB_CLOSE_DEVICE) {
        return FALSE;
    }
    if (MarkClosing(pDevice)) {
        Sleep(kClosingGraceMs);
    }
    DeactivateDevice(pDevice->hStreamDevice);
    // Pulled out while attach still runs (the camera's pause, its initialisation).
    if (pDevice->hAttachDone != nullptr) {
        WaitForSingleObject(pDevice->hAttachDone, INFINITE);
    }
    FreeDeviceContext(pDevice);
    return TRUE;
}

void FreeDeviceContext(DEVICE_CONTEXT* pDevice) {
    if (pDevice == nullptr || pDevice->dwSig != DEVICE_SIG ||
        (pDevice->Flags.load() & DEVICE_FLAG_OPEN) != 0) {
        return;
    }
    // From here on no entry point or callback resolves this context.
    UnregisterContext(pDevice->dwCookie);

    // The reader ends on the closing flag once its queued transfers are aborted; the pipe is
    // closed only after it has ended, since the reader still resets and resubmits on it.
    EnterCriticalSection(&pDevice->csLock);
    pDevice->Flags.store(static_cast<BYTE>(pDevice->Flags.load() | DEVICE_FLAG_CLOSING));
    LeaveCriticalSection(&pDevice->csLock);
    const bool fPipe = pDevice->hInterruptPipe != nullptr && pDevice->lpUsbFuncs != nullptr;
    const auto abort = [pDevice, fPipe] {
        if (fPipe) {
            pDevice->lpUsbFuncs->lpAbortPipeTransfers(pDevice->hInterruptPipe, 0);
        }
    };
    abort();
    if (pDevice->hReaderThread != nullptr) {
        // A reader still starting its transfers may queue them after an abort: abort again
        // until it has seen the closing flag and ended.
        while (WaitForSingleObject(pDevice->hReaderThread, kReaderAbortRetryMs) == WAIT_TIMEOUT) {
            abort();
        }
        CloseHandle(pDevice->hReaderThread);
    }
    if (fPipe) {
        pDevice->lpUsbFuncs->lpClosePipe(pDevice->hInterruptPipe);
    }

    pDevice->dwSig = 0;
    if (pDevice->hAttachDone != nullptr) {
        CloseHandle(pDevice->hAttachDone);
    }
    DeleteCriticalSection(&pDevice->csLock);
    DeleteCriticalSection(&pDevice->csTouch);
    DeleteCriticalSection(&pDevice->csVendor);
    TOUCH_DATA* pTouchData = pDevice->pTouchData;
    pTouchData->~TOUCH_DATA();
    LocalFree(pTouchData);
    pDevice->~DEVICE_CONTEXT();
    LocalFree(pDevice);
}
