// A client driver for the stack's tests: accepts vendor-specific interfaces (and, when told,
// whole devices) and records every call it gets.
#include "usb/test_driver_api.h"

namespace {

TestDriverRecord& Record() {
    static TestDriverRecord record;
    return record;
}

BOOL DeviceNotify(LPVOID parameter, DWORD code, LPDWORD*, LPDWORD*, LPDWORD*, LPDWORD*) {
    auto& record = *static_cast<TestDriverRecord*>(parameter);
    std::function<void()> onClose;
    {
        std::lock_guard lock(record.mutex);
        record.notifies.emplace_back(code, std::this_thread::get_id());
        onClose = record.onClose;
    }
    if (code == USB_CLOSE_DEVICE && onClose) {
        onClose();
    }
    return TRUE;
}

}  // namespace

extern "C" {

TestDriverRecord* TestDriver_Record() {
    return &Record();
}

BOOL DllMain(HANDLE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        std::lock_guard lock(Record().mutex);
        ++Record().dllMainAttaches;
    }
    return TRUE;
}

BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs, LPCUSB_INTERFACE lpInterface,
                     LPCWSTR szUniqueDriverId, LPBOOL fAcceptControl,
                     LPCUSB_DRIVER_SETTINGS lpDriverSettings, DWORD) {
    auto& record = Record();
    AttachCall call;
    call.device = hDevice;
    call.funcs = lpUsbFuncs;
    call.interface = lpInterface;
    call.driverId = szUniqueDriverId;
    call.settings = *lpDriverSettings;
    call.thread = std::this_thread::get_id();
    bool registerNotification = false;
    {
        std::lock_guard lock(record.mutex);
        call.accepted = lpInterface != nullptr ? lpInterface->Descriptor.bInterfaceClass == 0xFF
                                               : record.acceptDevices;
        registerNotification = call.accepted;
        record.attaches.push_back(call);
    }
    *fAcceptControl = call.accepted ? TRUE : FALSE;
    if (registerNotification) {
        lpUsbFuncs->lpRegisterNotificationRoutine(hDevice, &DeviceNotify, &record);
    }
    return call.accepted ? TRUE : FALSE;
}

}  // extern "C"
