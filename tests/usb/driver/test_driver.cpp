// A client driver for the stack's tests: accepts vendor-specific interfaces (and, when told,
// whole devices) and records every call it gets.
#include "usb/test_driver_api.h"

namespace {

TestDriverRecord gRecord;

BOOL DeviceNotify(LPVOID, DWORD code, LPDWORD*, LPDWORD*, LPDWORD*, LPDWORD*) {
    std::unique_lock lock(gRecord.mutex);
    gRecord.notifies.emplace_back(code, std::this_thread::get_id());
    const std::function<void()> onClose = gRecord.onClose;
    lock.unlock();
    if (code == USB_CLOSE_DEVICE && onClose) {
        onClose();
    }
    return TRUE;
}

}  // namespace

extern "C" {

TestDriverRecord* TestDriver_Record() {
    return &gRecord;
}

BOOL DllMain(HANDLE, DWORD reason, LPVOID) {
    std::lock_guard lock(gRecord.mutex);
    gRecord.dllMainAttaches += reason == DLL_PROCESS_ATTACH ? 1 : 0;
    return TRUE;
}

BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs, LPCUSB_INTERFACE lpInterface,
                     LPCWSTR szUniqueDriverId, LPBOOL fAcceptControl,
                     LPCUSB_DRIVER_SETTINGS lpDriverSettings, DWORD) {
    std::unique_lock lock(gRecord.mutex);
    const bool accepted = lpInterface != nullptr ? lpInterface->Descriptor.bInterfaceClass == 0xFF
                                                 : gRecord.acceptDevices;
    gRecord.attaches.push_back({hDevice, lpUsbFuncs, lpInterface, szUniqueDriverId,
                                *lpDriverSettings, std::this_thread::get_id(), accepted});
    lock.unlock();
    *fAcceptControl = accepted ? TRUE : FALSE;
    if (accepted) {
        lpUsbFuncs->lpRegisterNotificationRoutine(hDevice, &DeviceNotify, nullptr);
    }
    return *fAcceptControl;
}

}  // extern "C"
