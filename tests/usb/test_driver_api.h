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
    std::wstring driverId;
    USB_DRIVER_SETTINGS settings{};
    std::thread::id thread;
    bool accepted = false;
};

struct TestDriverRecord {
    std::mutex mutex;
    int dllMainAttaches = 0;
    std::vector<AttachCall> attaches;
    std::vector<std::pair<DWORD, std::thread::id>> notifies;  // code, thread
    bool acceptDevices = false;                               // take a whole device when offered
    std::function<void()> onClose;  // runs inside USB_CLOSE_DEVICE, after it is recorded

    void Reset() {
        std::lock_guard lock(mutex);
        attaches.clear();
        notifies.clear();
        acceptDevices = false;
        onClose = nullptr;
    }
};

inline constexpr char kTestDriverRecordSymbol[] = "TestDriver_Record";
