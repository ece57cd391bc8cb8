// The USB_FUNCS table: plain functions that forward to the stack.
#include "usb_handles.h"
#include "usb_stack.h"

namespace ce::usb {

namespace {

constexpr DWORD kUsbdVersion = 0x00010003;

Stack& S() {
    return Stack::Instance();
}

LPCUSB_DEVICE GetDeviceInfo(USB_HANDLE hDevice) {
    return S().GetDeviceInfo(hDevice);
}

USB_PIPE OpenPipe(USB_HANDLE hDevice, LPCUSB_ENDPOINT_DESCRIPTOR descriptor) {
    return S().OpenPipe(hDevice, descriptor);
}

BOOL AbortPipeTransfers(USB_PIPE hPipe, DWORD flags) {
    return S().AbortPipeTransfers(hPipe, flags);
}

BOOL ClosePipe(USB_PIPE hPipe) {
    return S().ClosePipe(hPipe);
}

BOOL RegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                 LPVOID parameter) {
    return S().RegisterNotificationRoutine(hDevice, routine, parameter);
}

BOOL UnRegisterNotificationRoutine(USB_HANDLE hDevice, LPDEVICE_NOTIFY_ROUTINE routine,
                                   LPVOID parameter) {
    return S().UnRegisterNotificationRoutine(hDevice, routine, parameter);
}

USB_TRANSFER IssueInterruptTransfer(USB_PIPE hPipe, LPTRANSFER_NOTIFY_ROUTINE routine,
                                    LPVOID parameter, DWORD flags, DWORD length, LPVOID buffer,
                                    ULONG /*physicalAddress*/) {
    return S().IssueInterruptTransfer(hPipe, routine, parameter, flags, length, buffer);
}

USB_TRANSFER IssueVendorTransfer(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine,
                                 LPVOID parameter, DWORD flags, LPCUSB_DEVICE_REQUEST setup,
                                 LPVOID buffer, ULONG /*physicalAddress*/) {
    return S().IssueVendorTransfer(hDevice, routine, parameter, flags, setup, buffer);
}

BOOL GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD bytesTransferred, LPDWORD usbError) {
    return S().GetTransferStatus(hTransfer, bytesTransferred, usbError);
}

BOOL IsTransferComplete(USB_TRANSFER hTransfer) {
    return S().IsTransferComplete(hTransfer);
}

BOOL AbortTransfer(USB_TRANSFER hTransfer, DWORD flags) {
    return S().AbortTransfer(hTransfer, flags);
}

BOOL CloseTransfer(USB_TRANSFER hTransfer) {
    return S().CloseTransfer(hTransfer);
}

BOOL IsPipeHalted(USB_PIPE hPipe, LPBOOL halted) {
    return S().IsPipeHalted(hPipe, halted);
}

BOOL ResetPipe(USB_PIPE hPipe) {
    return S().ResetPipe(hPipe);
}

}  // namespace

const USB_FUNCS kUsbFuncs = {
    sizeof(USB_FUNCS),
    kUsbdVersion,
    &GetDeviceInfo,
    &OpenPipe,
    &AbortPipeTransfers,
    &ClosePipe,
    &RegisterNotificationRoutine,
    &UnRegisterNotificationRoutine,
    &IssueInterruptTransfer,
    &IssueVendorTransfer,
    &GetTransferStatus,
    &IsTransferComplete,
    &AbortTransfer,
    &CloseTransfer,
    &IsPipeHalted,
    &ResetPipe,
};

}  // namespace ce::usb
