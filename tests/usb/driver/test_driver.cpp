// A client driver for the stack's tests: accepts vendor-specific interfaces (and, when told,
// whole devices) and writes every call it gets into its transcript.
#include <cstdio>

#include "usb/test_driver_api.h"

namespace {

TestDriverRecord gRecord;

// Appends a line with the record locked.
void Log(const char* text) {
    gRecord.trace += text;
    gRecord.trace +=
        std::this_thread::get_id() == gRecord.testThread ? " on the caller's thread\n" : "\n";
}

BOOL DeviceNotify(LPVOID, DWORD code, LPDWORD*, LPDWORD*, LPDWORD*, LPDWORD*) {
    std::unique_lock lock(gRecord.mutex);
    char line[32];
    std::snprintf(line, sizeof line, "notify 0x%x", code);
    Log(line);
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
    char line[160];
    std::snprintf(line, sizeof line, "%ls %s %s vendor=0x%x%s", szUniqueDriverId,
                  lpInterface != nullptr
                      ? std::to_string(lpInterface->Descriptor.bInterfaceNumber).c_str()
                      : "device",
                  accepted ? "taken" : "declined", lpDriverSettings->dwVendorId,
                  lpUsbFuncs->dwCount != sizeof(USB_FUNCS) ? " with a short table" : "");
    Log(line);
    if (accepted) {
        gRecord.device = hDevice;
        gRecord.funcs = lpUsbFuncs;
        gRecord.interface = lpInterface;
    }
    lock.unlock();
    *fAcceptControl = accepted ? TRUE : FALSE;
    if (accepted) {
        lpUsbFuncs->lpRegisterNotificationRoutine(hDevice, &DeviceNotify, nullptr);
    }
    return *fAcceptControl;
}

}  // extern "C"
