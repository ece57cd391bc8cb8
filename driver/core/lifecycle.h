// Attach, detach and teardown of a device context.
#pragma once

#include "ce/types.h"
#include "ce/usbd.h"
#include "core/device_context.h"

// Creates a context for an accepted interface: device info, context and work area, registry
// records, report pipe, stream activation and the detach notification. Null when the device
// info or the memory is missing (then nothing is left allocated).
DEVICE_CONTEXT* CreateDeviceContext(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs,
                                    LPCUSB_INTERFACE lpInterface);

// The rest of attach: the queued-transfer count, the sensor (a camera controller after a
// 5000 ms pause) and the report reader.
void StartDevice(DEVICE_CONTEXT* pDevice);

// Opens the first IN endpoint of the interface that is not a control endpoint.
void OpenReportPipe(DEVICE_CONTEXT* pDevice);

// The detach notification; its parameter carries the context's cookie. Handles only
// USB_CLOSE_DEVICE and returns TRUE when it tore the context down.
BOOL UsbDeviceNotify(LPVOID lpvNotifyParameter, DWORD dwCode, LPDWORD* dwInfo1, LPDWORD* dwInfo2,
                     LPDWORD* dwInfo3, LPDWORD* dwInfo4);

// Teardown: closes the pipe, joins the reader and frees everything. Does nothing for a null or
// unsigned context, or while a client holds it open.
void FreeDeviceContext(DEVICE_CONTEXT* pDevice);

// Detach step 1: sets DEVICE_FLAG_CLOSING (open or not, so that no client can open the device
// between the unplug and the deactivation) and clears DEVICE_FLAG_OPEN. Returns whether a client
// had it open.
bool MarkClosing(DEVICE_CONTEXT* pDevice);

// The controller's family, decided once from the device descriptor.
bool IsCameraController(const DEVICE_CONTEXT* pDevice);
