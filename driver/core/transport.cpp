// Control (vendor) transfers and the small wrappers every transfer goes through. The log lines
// are what a field engineer greps for; keep them exactly as they are.
#include "core/transport.h"

#include "ce/debug.h"
#include "ce/kernel.h"

namespace {

constexpr DWORD kStatusUnreadable = 0x101;  // stands in for the USB error of an unreadable status

// Transfer handles are logged by their low 32 bits, as the format's %x takes a DWORD.
DWORD HandleBits(const void* handle) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(handle));
}

// Waits for an asynchronous vendor transfer to signal its event and reads its status.
DWORD AwaitVendorTransfer(LPCUSB_FUNCS lpUsbFuncs, USB_TRANSFER hTransfer, HANDLE hEvent,
                          DWORD dwFlags, DWORD dwTimeout, LPDWORD lpdwBytesTransferred,
                          LPDWORD lpdwUsbError) {
    DWORD dwErr = ERROR_SUCCESS;
    const DWORD dwWait = WaitForSingleObject(hEvent, dwTimeout);
    if (dwWait == WAIT_OBJECT_0) {
        NKDbgPrintfW(
            L"<common><usbclient><IssueVendorTransfer>WAIT_OBJECT_0:call GetTransferStatus.\n");
        GetTransferStatus(lpUsbFuncs, hTransfer, lpdwBytesTransferred, lpdwUsbError);
    } else if (dwWait == WAIT_TIMEOUT) {
        NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>%s:WAIT_TIMEOUT on hT:0x%x\n",
                     (dwFlags & USB_IN_TRANSFER) != 0 ? L"IN" : L"OUT", HandleBits(hTransfer));
        GetTransferStatus(lpUsbFuncs, hTransfer, lpdwBytesTransferred, lpdwUsbError);
        dwErr = ERROR_TIMEOUT;
    } else {
        dwErr = ERROR_GEN_FAILURE;
        NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>Unhandled WaitReason:%d ***\n",
                     dwWait);
    }
    CloseTransferHandle(lpUsbFuncs, hTransfer);
    return dwErr;
}

DWORD FinishVendorTransfer(DWORD dwErr, LPDWORD lpdwBytesTransferred, LPDWORD lpdwUsbError) {
    if (dwErr == ERROR_SUCCESS && lpdwUsbError != nullptr && *lpdwUsbError != USB_NO_ERROR) {
        NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>ERROR_GEN_FAILURE.\n");
        dwErr = ERROR_GEN_FAILURE;
    }
    if (dwErr != ERROR_SUCCESS) {
        SetLastError(dwErr);
        NKDbgPrintfW(
            L"<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:%d, Win32 "
            L"Err:%d, UsbError:0x%x)\n",
            lpdwBytesTransferred != nullptr ? static_cast<int>(*lpdwBytesTransferred) : -1,
            static_cast<int>(dwErr),
            lpdwUsbError != nullptr ? *lpdwUsbError : static_cast<DWORD>(-1));
    }
    return dwErr;
}

}  // namespace

DWORD IssueVendorTransfer(LPCUSB_FUNCS lpUsbFuncs, USB_HANDLE hUsbDevice,
                          LPTRANSFER_NOTIFY_ROUTINE lpStartAddress, LPVOID lpvNotifyParameter,
                          DWORD dwFlags, LPCUSB_DEVICE_REQUEST lpControlHeader, LPVOID lpvBuffer,
                          ULONG uBufferPhysicalAddress, LPDWORD lpdwBytesTransferred,
                          DWORD dwTimeout, LPDWORD lpdwUsbError) {
    if (lpUsbFuncs == nullptr || hUsbDevice == nullptr || lpControlHeader == nullptr ||
        lpdwBytesTransferred == nullptr || lpdwUsbError == nullptr) {
        NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>ERROR_INVALID_PARAMETER.\n");
        return FinishVendorTransfer(ERROR_INVALID_PARAMETER, lpdwBytesTransferred, lpdwUsbError);
    }
    *lpdwUsbError = USB_NO_ERROR;
    *lpdwBytesTransferred = 0;
    const bool asynchronous = lpStartAddress != nullptr && lpvNotifyParameter != nullptr;
    if (asynchronous && dwTimeout != 0) {
        ResetEventChecked(lpvNotifyParameter);
    }

    USB_TRANSFER hTransfer =
        lpUsbFuncs->lpIssueVendorTransfer(hUsbDevice, lpStartAddress, lpvNotifyParameter, dwFlags,
                                          lpControlHeader, lpvBuffer, uBufferPhysicalAddress);
    if (hTransfer == nullptr) {
        NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>ERROR(3, 0x%x) ***\n",
                     ERROR_GEN_FAILURE);
        return FinishVendorTransfer(ERROR_GEN_FAILURE, lpdwBytesTransferred, lpdwUsbError);
    }

    DWORD dwErr = ERROR_SUCCESS;
    if (asynchronous) {
        if (dwTimeout == 0) {
            // The caller owns the transfer and gets its handle back in the USB-error output.
            // Only the low 32 bits fit; no caller of this driver uses this form.
            *lpdwUsbError = HandleBits(hTransfer);
            NKDbgPrintfW(L"<common><usbclient><IssueVendorTransfer>return dwErr.\n");
            return ERROR_SUCCESS;
        }
        dwErr = AwaitVendorTransfer(lpUsbFuncs, hTransfer, lpvNotifyParameter, dwFlags, dwTimeout,
                                    lpdwBytesTransferred, lpdwUsbError);
    } else {
        // Without a completion routine the stack completes the transfer before returning.
        GetTransferStatus(lpUsbFuncs, hTransfer, lpdwBytesTransferred, lpdwUsbError);
        CloseTransferHandle(lpUsbFuncs, hTransfer);
    }
    return FinishVendorTransfer(dwErr, lpdwBytesTransferred, lpdwUsbError);
}

BOOL GetTransferStatus(LPCUSB_FUNCS lpUsbFuncs, USB_TRANSFER hTransfer,
                       LPDWORD lpdwBytesTransferred, LPDWORD lpdwUsbError) {
    // The stack writes into locals, so a caller may leave either output null.
    DWORD dwBytes = 0;
    DWORD dwUsbError = USB_NO_ERROR;
    if (lpUsbFuncs == nullptr ||
        !lpUsbFuncs->lpGetTransferStatus(hTransfer, &dwBytes, &dwUsbError)) {
        NKDbgPrintfW(L"<common><usbclient><GetTransferStatus>ERROR:%d ***\n",
                     static_cast<int>(GetLastError()));
        if (lpdwUsbError != nullptr) {
            *lpdwUsbError = kStatusUnreadable;
        }
        return FALSE;
    }
    if (lpdwBytesTransferred != nullptr) {
        *lpdwBytesTransferred = dwBytes;
    }
    if (lpdwUsbError != nullptr) {
        *lpdwUsbError = dwUsbError;
    }
    if (dwUsbError != USB_NO_ERROR) {
        NKDbgPrintfW(
            L"<common><usbclient><GetTransferStatus>(BytesTransferred:%d, UsbError:0x%x)\n",
            lpdwBytesTransferred != nullptr ? static_cast<int>(dwBytes) : -1, dwUsbError);
    }
    return TRUE;
}

BOOL CloseTransferHandle(LPCUSB_FUNCS lpUsbFuncs, USB_TRANSFER hTransfer) {
    if (lpUsbFuncs == nullptr || !lpUsbFuncs->lpCloseTransfer(hTransfer)) {
        NKDbgPrintfW(L"<common><usbclient><CloseTransferHandle>ERROR:%d ***\n",
                     static_cast<int>(GetLastError()));
        return FALSE;
    }
    return TRUE;
}

BOOL ResetPipeIfHalted(LPCUSB_FUNCS lpUsbFuncs, USB_PIPE hPipe) {
    if (lpUsbFuncs == nullptr) {
        return TRUE;
    }
    BOOL fHalted = FALSE;
    if (lpUsbFuncs->lpIsPipeHalted(hPipe, &fHalted) && fHalted) {
        return lpUsbFuncs->lpResetPipe(hPipe);
    }
    return TRUE;
}

DWORD ResetEventChecked(HANDLE hEvent) {
    if (ResetEvent(hEvent)) {
        return TRUE;
    }
    return GetLastError();
}
