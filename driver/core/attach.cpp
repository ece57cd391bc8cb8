// Attach: a context per accepted interface, its registry records, report pipe and stream
// instance; then the sensor is initialised and the reader started.
#include <new>

#include "ce/devmgr.h"
#include "ce/kernel.h"
#include "core/context_table.h"
#include "core/entry_points.h"
#include "core/lifecycle.h"
#include "core/registry_store.h"
#include "core/transport.h"
#include "protocol/device_identity.h"
#include "protocol/registry_form.h"
#include "touch/sensor_init.h"
#include "touch/touch_data.h"

namespace {

constexpr BYTE kVendorSpecificClass = 0xFF;
constexpr BYTE kEndpointDirectionIn = 0x80;
constexpr BYTE kEndpointTypeMask = 0x03;  // 0 = control
constexpr DWORD kCameraSettleDelayMs = 5000;
constexpr DWORD kClosingPollMs = 50;  // how soon the pause notices a detach

// Zero-filled context and work area, signed and entered into the context table; null (with
// nothing left allocated) when memory or a table slot is missing.
DEVICE_CONTEXT* AllocateDeviceContext() {
    void* pContextMemory = LocalAlloc(LPTR, sizeof(DEVICE_CONTEXT));
    void* pTouchMemory = LocalAlloc(LPTR, sizeof(TOUCH_DATA));
    if (pContextMemory == nullptr || pTouchMemory == nullptr) {
        LocalFree(pTouchMemory);
        LocalFree(pContextMemory);
        return nullptr;
    }
    auto* pDevice = new (pContextMemory) DEVICE_CONTEXT{};
    pDevice->pTouchData = new (pTouchMemory) TOUCH_DATA{};
    InitializeCriticalSection(&pDevice->csLock);
    InitializeCriticalSection(&pDevice->csTouch);
    InitializeCriticalSection(&pDevice->csVendor);
    pDevice->dwSig = DEVICE_SIG;
    pDevice->dwCookie = RegisterContext(pDevice);
    if (pDevice->dwCookie == 0) {
        DeleteCriticalSection(&pDevice->csVendor);
        DeleteCriticalSection(&pDevice->csTouch);
        DeleteCriticalSection(&pDevice->csLock);
        pDevice->~DEVICE_CONTEXT();
        LocalFree(pTouchMemory);
        LocalFree(pContextMemory);
        return nullptr;
    }
    return pDevice;
}

void LoadRegistryRecords(DEVICE_CONTEXT* pDevice) {
    LoadDriverConfig(pDevice);
    LoadScreenConfig(pDevice);
    // A camera controller keeps its own device configuration and calibration.
    if (!IsCameraController(pDevice)) {
        LoadCalibPara(pDevice);
        LoadDeviceConfig(pDevice);
    }
}

bool IsClosing(const DEVICE_CONTEXT* pDevice) {
    return (pDevice->Flags.load() & DEVICE_FLAG_CLOSING) != 0;
}

// The camera's settling pause, cut short when the controller is pulled out meanwhile.
void SettlePause(const DEVICE_CONTEXT* pDevice) {
    for (DWORD dwWaited = 0; dwWaited < kCameraSettleDelayMs && !IsClosing(pDevice);
         dwWaited += kClosingPollMs) {
        Sleep(kClosingPollMs);
    }
}

void InitialiseSensor(DEVICE_CONTEXT* pDevice) {
    if (IsCameraController(pDevice)) {
        SettlePause(pDevice);
        if (IsClosing(pDevice)) {
            return;
        }
        InitCameraController(pDevice);
    } else {
        InitCoordinateController(pDevice);
    }
}

}  // namespace

bool IsCameraController(const DEVICE_CONTEXT* pDevice) {
    const USB_DEVICE_DESCRIPTOR& descriptor = pDevice->lpDeviceInfo->Descriptor;
    return ots::IsCameraGeneration(descriptor.idVendor, descriptor.idProduct);
}

void OpenReportPipe(DEVICE_CONTEXT* pDevice) {
    LPCUSB_INTERFACE lpInterface = pDevice->lpInterface;
    if (lpInterface->lpEndpoints == nullptr) {
        return;
    }
    for (DWORD i = 0; i < lpInterface->Descriptor.bNumEndpoints; ++i) {
        const USB_ENDPOINT_DESCRIPTOR& endpoint = lpInterface->lpEndpoints[i].Descriptor;
        if ((endpoint.bEndpointAddress & kEndpointDirectionIn) == 0 ||
            (endpoint.bmAttributes & kEndpointTypeMask) == 0) {
            continue;
        }
        pDevice->hInterruptPipe = pDevice->lpUsbFuncs->lpOpenPipe(pDevice->hUsbDevice, &endpoint);
        if (pDevice->hInterruptPipe != nullptr) {
            pDevice->bEndpointAddress = endpoint.bEndpointAddress;
            pDevice->dwMaxPacketSize = endpoint.wMaxPacketSize;
        }
        return;
    }
}

DEVICE_CONTEXT* CreateDeviceContext(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs,
                                    LPCUSB_INTERFACE lpInterface) {
    LPCUSB_DEVICE lpDeviceInfo = lpUsbFuncs->lpGetDeviceInfo(hDevice);
    if (lpDeviceInfo == nullptr) {
        return nullptr;
    }
    DEVICE_CONTEXT* pDevice = AllocateDeviceContext();
    if (pDevice == nullptr) {
        return nullptr;
    }
    pDevice->hUsbDevice = hDevice;
    pDevice->lpDeviceInfo = lpDeviceInfo;
    pDevice->lpInterface = lpInterface;
    pDevice->lpUsbFuncs = lpUsbFuncs;

    LoadRegistryRecords(pDevice);
    OpenReportPipe(pDevice);

    // The device manager calls OTS_Init from inside ActivateDevice, with our cookie as the
    // active key's "ClientInfo".
    pDevice->hAttachDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    pDevice->hStreamDevice = ActivateDevice(ots::kClientDriverKey, pDevice->dwCookie);
    // The stack refuses the routine for a controller pulled out already; that detach would
    // never be announced, so it is handled here as the notification would have handled it.
    if (pDevice->hStreamDevice != nullptr &&
        !lpUsbFuncs->lpRegisterNotificationRoutine(hDevice, UsbDeviceNotify,
                                                   CookieToParameter(pDevice->dwCookie))) {
        SetEvent(pDevice->hAttachDone);
        UsbDeviceNotify(CookieToParameter(pDevice->dwCookie), USB_CLOSE_DEVICE, nullptr, nullptr,
                        nullptr, nullptr);
        return nullptr;
    }
    return pDevice;
}

// A detach can arrive at any point of this (the pause lasts seconds): it marks the context
// closing and waits for hAttachDone before it frees anything, so no reader starts on a
// controller that is gone.
void StartDevice(DEVICE_CONTEXT* pDevice) {
    ReadQueuedTransferCount();
    InitialiseSensor(pDevice);
    if (!IsClosing(pDevice)) {
        // A reader that cannot start leaves the controller silent; attach still succeeds.
        pDevice->hReaderThread = CreateThread(nullptr, 0, ReportReaderThread,
                                              CookieToParameter(pDevice->dwCookie), 0, nullptr);
    }
    SetEvent(pDevice->hAttachDone);
}

namespace otsusb {

BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs, LPCUSB_INTERFACE lpInterface,
                     LPCWSTR /*szUniqueDriverId*/, LPBOOL fAcceptControl,
                     LPCUSB_DRIVER_SETTINGS /*lpDriverSettings*/, DWORD /*dwUnused*/) {
    if (fAcceptControl == nullptr) {
        return FALSE;
    }
    *fAcceptControl = FALSE;
    if (lpInterface == nullptr || lpInterface->Descriptor.bInterfaceClass != kVendorSpecificClass) {
        return FALSE;
    }
    *fAcceptControl = TRUE;

    if (lpUsbFuncs == nullptr) {
        return FALSE;
    }
    DEVICE_CONTEXT* pDevice = CreateDeviceContext(hDevice, lpUsbFuncs, lpInterface);
    if (pDevice == nullptr) {
        return FALSE;
    }
    // Without a stream instance no client and no detach notification would ever reach the
    // context: kept, it would hold its memory and a context slot for good. The device is given
    // back to the USB stack.
    if (pDevice->hStreamDevice == nullptr) {
        FreeDeviceContext(pDevice);
        *fAcceptControl = FALSE;
        return FALSE;
    }
    StartDevice(pDevice);
    return TRUE;
}

}  // namespace otsusb
