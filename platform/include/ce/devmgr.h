// The device manager: activation of stream drivers and the stream entry points they export.
#pragma once

#include "ce/types.h"

extern "C" {
// Loads the stream driver that the device key names ("Dll", "Prefix"), creates an active key
// under "Drivers\Active" with "Name" (first free "OTS1:".."OTS9:"), "Key" and "ClientInfo", and
// calls the driver's Init with the active key path. Returns null on failure.
HANDLE ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo);
HANDLE ActivateDeviceEx(LPCWSTR lpszDevKey, void* lpRegEnts, DWORD cRegEnts, LPVOID lpvParam);
// Calls the driver's Deinit, removes the active key, frees the name; every handle opened on the
// device fails from then on.
BOOL DeactivateDevice(HANDLE hDevice);
}

// The stream interface a driver exports as <Prefix>_Init and so on.
using LPSTREAM_INIT = DWORD (*)(LPCWSTR pContext, LPCVOID lpvBusContext);
using LPSTREAM_DEINIT = BOOL (*)(DWORD hDeviceContext);
using LPSTREAM_OPEN = DWORD (*)(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode);
using LPSTREAM_CLOSE = BOOL (*)(DWORD hOpenContext);
using LPSTREAM_IOCONTROL = BOOL (*)(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                                    PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut);
