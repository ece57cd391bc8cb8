// The library's exports: exactly the entry points the USB stack and the device manager look up.
#include "ce/kernel.h"
#include "core/entry_points.h"

#define OTS_EXPORT extern "C" __attribute__((visibility("default")))

OTS_EXPORT BOOL DllMain(HANDLE hinstDLL, DWORD dwReason, LPVOID /*lpvReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(static_cast<HMODULE>(hinstDLL));
    }
    return TRUE;
}

OTS_EXPORT BOOL USBInstallDriver(LPCWSTR szDriverLibFile) {
    return otsusb::USBInstallDriver(szDriverLibFile);
}

OTS_EXPORT BOOL USBUnInstallDriver() {
    return otsusb::USBUnInstallDriver();
}

OTS_EXPORT BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs,
                                LPCUSB_INTERFACE lpInterface, LPCWSTR szUniqueDriverId,
                                LPBOOL fAcceptControl, LPCUSB_DRIVER_SETTINGS lpDriverSettings,
                                DWORD dwUnused) {
    return otsusb::USBDeviceAttach(hDevice, lpUsbFuncs, lpInterface, szUniqueDriverId,
                                   fAcceptControl, lpDriverSettings, dwUnused);
}

OTS_EXPORT DWORD OTS_Init(LPCWSTR pContext, LPCVOID lpvBusContext) {
    return otsusb::OTS_Init(pContext, lpvBusContext);
}

OTS_EXPORT BOOL OTS_Deinit(DWORD hDeviceContext) {
    return otsusb::OTS_Deinit(hDeviceContext);
}

OTS_EXPORT DWORD OTS_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode) {
    return otsusb::OTS_Open(hDeviceContext, AccessCode, ShareMode);
}

OTS_EXPORT BOOL OTS_Close(DWORD hOpenContext) {
    return otsusb::OTS_Close(hOpenContext);
}

OTS_EXPORT BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                              PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut) {
    return otsusb::OTS_IOControl(hOpenContext, dwCode, pBufIn, dwLenIn, pBufOut, dwLenOut,
                                 pdwActualOut);
}
