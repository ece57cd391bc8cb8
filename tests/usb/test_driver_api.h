// What the test client driver records, shared by the driver library and the tests.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ce/usbd.h"

struct AttachCall {
    USB_HANDLE device = nullptr;
    LPCUSB_FUNCS funcs = nullptr;
    LPCUSB_INTERFACE interface = nullptr;  // null when offered the whole device
    USB_INTERFACE_DESCRIPTOR interfaceDescriptor{};
    std::wstring driverId;
    USB_DRIVER_SETTINGS settings{};
    std::thread::id thread;
    bool accepted = false;
};

struct NotifyCall {
    DWORD code = 0;
    std::thread::id thread;
};

struct TestDriverRecord {
    std::mutex mutex;
    int dllMainAttaches = 0;
    std::vector<AttachCall> attaches;
    std::vector<NotifyCall> notifies;

    // How the driver behaves.
    bool acceptDevices = false;  // take a whole device when offered one
    bool registerNotification = true;
    // Runs inside the USB_CLOSE_DEVICE notification, after it is recorded.
    std::function<void()> onClose;

    void Reset() {
        std::lock_guard lock(mutex);
        attaches.clear();
        notifies.clear();
        acceptDevices = false;
        registerNotification = true;
        onClose = nullptr;
    }
};

using TestDriverRecordFn = TestDriverRecord* (*)();
inline constexpr char kTestDriverRecordSymbol[] = "TestDriver_Record";
