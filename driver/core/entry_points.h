// The driver's entry points, as the USB stack and the device manager call them. exports.cpp
// exports them from the library under these names; tests call them here directly.
//
// Device and open contexts are the 32-bit cookies of the context table (context_table.h).
#pragma once

#include "ce/types.h"
#include "ce/usbd.h"

namespace otsusb {

BOOL USBInstallDriver(LPCWSTR szDriverLibFile);
BOOL USBUnInstallDriver();
BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs, LPCUSB_INTERFACE lpInterface,
                     LPCWSTR szUniqueDriverId, LPBOOL fAcceptControl,
                     LPCUSB_DRIVER_SETTINGS lpDriverSettings, DWORD dwUnused);

DWORD OTS_Init(LPCWSTR pContext, LPCVOID lpvBusContext);
BOOL OTS_Deinit(DWORD hDeviceContext);
DWORD OTS_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode);
BOOL OTS_Close(DWORD hOpenContext);
BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn, PBYTE pBufOut,
                   DWORD dwLenOut, PDWORD pdwActualOut);

}  // namespace otsusb
