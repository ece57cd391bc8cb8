// A driver library the platform loads like any other, for the USB stack's and the device
// manager's tests: a USB client driver that takes vendor-specific interfaces (and, when told,
// whole devices), and a stream driver of prefix TST (and TSB, the same entry points). Every
// call it gets is one line of its transcript; tests reach its one state through TestDriver().
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ce/usbd.h"

namespace ots::test {

// IOControl codes the stream driver serves.
inline constexpr DWORD kEchoCode = 1;   // copies the input to the output, sets the actual length
inline constexpr DWORD kFailCode = 2;   // returns FALSE
inline constexpr DWORD kBlockCode = 3;  // returns only once released

// What a case sets, and what the last attach that took something was handed; Reset clears it.
struct TestDriverSwitches {
    // The USB client: whole devices taken too; a hook run inside USB_CLOSE_DEVICE, after it is
    // recorded.
    bool acceptDevices = false;
    std::function<void()> onClose;
    USB_HANDLE device = nullptr;
    LPCUSB_FUNCS funcs = nullptr;
    LPCUSB_INTERFACE interface = nullptr;
    // The stream driver: contexts given out, and switches read at each call (Init refuses
    // with this last error; Open refuses when nonzero).
    DWORD lastContext = 0x100;
    std::optional<DWORD> initRefusal;
    DWORD openError = ERROR_SUCCESS;
    bool released = false;
};

struct TestDriverState : TestDriverSwitches {
    std::mutex mutex;
    std::condition_variable changed;
    // "Any 0 taken vendor=0xffffffff", "notify 0x1", "Init TST1: client=0x2 bus=0 -> 0x101",
    // "Open 0x101 access=0xc0000000 share=0x0 -> 0x102", ...; a USB line made on testThread
    // ends " on the caller's thread".
    std::string trace;
    std::thread::id testThread;
    int dllMainAttaches = 0;

    void Reset() {
        std::lock_guard lock(mutex);
        trace.clear();
        testThread = std::this_thread::get_id();
        static_cast<TestDriverSwitches&>(*this) = {};
    }
    // With the state locked; `mark` notes a call made on the test's thread.
    void LogLocked(const std::string& line, bool mark) {
        trace += line;
        trace +=
            mark && std::this_thread::get_id() == testThread ? " on the caller's thread\n" : "\n";
        changed.notify_all();
    }
    void Log(const std::string& line, bool mark) {
        std::lock_guard lock(mutex);
        LogLocked(line, mark);
    }
    // The transcript once it has `lines` lines (or after 5 s, whatever it has by then).
    std::string Trace(std::size_t lines = 0) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5),
                         [&] { return std::ranges::count(trace, '\n') >= std::ptrdiff_t(lines); });
        return trace;
    }
    void Release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

#ifdef OTS_TEST_DRIVER_PATH  // in the test programs that load it
inline const std::string kTestDriverPath = OTS_TEST_DRIVER_PATH;

// The library's state, reached by loading it as the platform does (and kept loaded, so that
// the state outlives every detach and deactivation).
inline TestDriverState& TestDriver() {
    static TestDriverState* state = [] {
        void* library = dlopen(kTestDriverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        return reinterpret_cast<TestDriverState* (*)()>(dlsym(library, "TestDriver_State"))();
    }();
    return *state;
}
#endif

}  // namespace ots::test
