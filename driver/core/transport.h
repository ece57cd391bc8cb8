// USB transport: the report reader and the control (vendor) transfer routines. Every USB call
// goes through the context's lpUsbFuncs table.
#pragma once

#include <atomic>

#include "ce/usbd.h"
#include "core/device_context.h"

// Process-wide number of report transfers a reader keeps queued (1..64, 2 at load).
extern std::atomic<BYTE> gQueuedTransferCount;

// Reads "QueuedTransferCount" from the client driver key (attach, before the reader starts).
void ReadQueuedTransferCount();

// Thread start routine of the report reader; the parameter is the context's cookie.
DWORD ReportReaderThread(LPVOID lpParameter);

USB_TRANSFER IssueReportTransfer(DEVICE_CONTEXT* pDevice, LPVOID pBuffer, DWORD dwLength,
                                 HANDLE hEvent);
DWORD TransferCompleteNotify(LPVOID lpvNotifyParameter);

// Returns a Win32 error code (0 = success); logs exactly the lines of the transport.
DWORD IssueVendorTransfer(LPCUSB_FUNCS lpUsbFuncs, USB_HANDLE hUsbDevice,
                          LPTRANSFER_NOTIFY_ROUTINE lpStartAddress, LPVOID lpvNotifyParameter,
                          DWORD dwFlags, LPCUSB_DEVICE_REQUEST lpControlHeader, LPVOID lpvBuffer,
                          ULONG uBufferPhysicalAddress, LPDWORD lpdwBytesTransferred,
                          DWORD dwTimeout, LPDWORD lpdwUsbError);
BOOL GetTransferStatus(LPCUSB_FUNCS lpUsbFuncs, USB_TRANSFER hTransfer,
                       LPDWORD lpdwBytesTransferred, LPDWORD lpdwUsbError);
BOOL CloseTransferHandle(LPCUSB_FUNCS lpUsbFuncs, USB_TRANSFER hTransfer);
BOOL ResetPipeIfHalted(LPCUSB_FUNCS lpUsbFuncs, USB_PIPE hPipe);
DWORD ResetEventChecked(HANDLE hEvent);
