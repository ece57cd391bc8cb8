// What the test client driver records, shared by the driver library and the tests.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "ce/usbd.h"

struct TestDriverRecord {
    std::mutex mutex;
    int dllMainAttaches = 0;
    // One line a call: "Any 0 taken vendor=0xffffffff", "Whole device declined ...",
    // "notify 0x1"; " on the caller's thread" marks a call made on testThread.
    std::string trace;
    std::thread::id testThread;
    bool acceptDevices = false;     // take a whole device when offered
    std::function<void()> onClose;  // runs inside USB_CLOSE_DEVICE, after it is recorded
    // What the last attach that took something was handed.
    USB_HANDLE device = nullptr;
    LPCUSB_FUNCS funcs = nullptr;
    LPCUSB_INTERFACE interface = nullptr;

    void Reset() {
        std::lock_guard lock(mutex);
        trace.clear();
        testThread = std::this_thread::get_id();
        acceptDevices = false;
        onClose = nullptr;
        device = nullptr;
        funcs = nullptr;
        interface = nullptr;
    }
    std::string Trace() {
        std::lock_guard lock(mutex);
        return trace;
    }
};

inline constexpr char kTestDriverRecordSymbol[] = "TestDriver_Record";
