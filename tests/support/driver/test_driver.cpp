// The test driver library (support/test_driver.h).
#include <cstdio>
#include <cstring>
#include <string>

#include "ce/kernel.h"
#include "support/registry_probe.h"
#include "support/test_driver.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ots::test::TestDriverState gState;

// A line printf-style, appended with the state locked; the lock stays with the caller.
template <class... Args>
std::unique_lock<std::mutex> Log(bool mark, const char* format, Args... args) {
    std::unique_lock lock(gState.mutex);
    // Sized to the line, so that a long device name is written whole.
    std::string line(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, args...)), '\0');
    std::snprintf(line.data(), line.size() + 1, format, args...);
    gState.LogLocked(line, mark);
    return lock;
}

BOOL DeviceNotify(LPVOID, DWORD code, LPDWORD*, LPDWORD*, LPDWORD*, LPDWORD*) {
    auto lock = Log(true, "notify 0x%x", code);
    const std::function<void()> onClose = gState.onClose;
    lock.unlock();
    if (code == USB_CLOSE_DEVICE && onClose) {
        onClose();
    }
    return TRUE;
}

}  // namespace

TEST_EXPORT ots::test::TestDriverState* TestDriver_State() {
    return &gState;
}

TEST_EXPORT BOOL DllMain(HANDLE, DWORD reason, LPVOID) {
    std::lock_guard lock(gState.mutex);
    gState.dllMainAttaches += reason == DLL_PROCESS_ATTACH ? 1 : 0;
    return TRUE;
}

TEST_EXPORT BOOL USBDeviceAttach(USB_HANDLE hDevice, LPCUSB_FUNCS lpUsbFuncs,
                                 LPCUSB_INTERFACE lpInterface, LPCWSTR szUniqueDriverId,
                                 LPBOOL fAcceptControl, LPCUSB_DRIVER_SETTINGS lpDriverSettings,
                                 DWORD) {
    const bool accepted = lpInterface != nullptr ? lpInterface->Descriptor.bInterfaceClass == 0xFF
                                                 : gState.acceptDevices;
    auto lock = Log(true, "%ls %s %s vendor=0x%x%s", szUniqueDriverId,
                    lpInterface != nullptr
                        ? std::to_string(lpInterface->Descriptor.bInterfaceNumber).c_str()
                        : "device",
                    accepted ? "taken" : "declined", lpDriverSettings->dwVendorId,
                    lpUsbFuncs->dwCount != sizeof(USB_FUNCS) ? " with a short table" : "");
    if (accepted) {
        gState.device = hDevice;
        gState.funcs = lpUsbFuncs;
        gState.interface = lpInterface;
    }
    lock.unlock();
    *fAcceptControl = accepted ? TRUE : FALSE;
    if (accepted) {
        lpUsbFuncs->lpRegisterNotificationRoutine(hDevice, &DeviceNotify, nullptr);
    }
    return *fAcceptControl;
}

// Init notes what the active key held when it ran: the name and client info written before.
TEST_EXPORT DWORD TST_Init(LPCWSTR pContext, LPCVOID lpvBusContext) {
    const std::wstring name = ots::test::ReadString(pContext, L"Name").value_or(L"?");
    const DWORD clientInfo = ots::test::ReadDword(pContext, L"ClientInfo").value_or(0xFFFFFFFF);
    // A bus context, when given, points to an int.
    const int bus = lpvBusContext != nullptr ? *static_cast<const int*>(lpvBusContext) : 0;
    const DWORD context = gState.initRefusal ? 0 : gState.lastContext + 1;
    auto lock =
        Log(false, "Init %ls client=0x%x bus=%d -> 0x%x", name.c_str(), clientInfo, bus, context);
    gState.lastContext += context != 0 ? 1 : 0;
    SetLastError(gState.initRefusal.value_or(ERROR_SUCCESS));
    return context;
}

TEST_EXPORT BOOL TST_Deinit(DWORD hDeviceContext) {
    Log(false, "Deinit 0x%x", hDeviceContext);
    return TRUE;
}

TEST_EXPORT DWORD TST_Open(DWORD hDeviceContext, DWORD AccessCode, DWORD ShareMode) {
    const DWORD context = gState.openError == ERROR_SUCCESS ? gState.lastContext + 1 : 0;
    auto lock = Log(false, "Open 0x%x access=0x%x share=0x%x -> 0x%x", hDeviceContext, AccessCode,
                    ShareMode, context);
    gState.lastContext += context != 0 ? 1 : 0;
    SetLastError(gState.openError);
    return context;
}

TEST_EXPORT BOOL TST_Close(DWORD hOpenContext) {
    Log(false, "Close 0x%x", hOpenContext);
    return TRUE;
}

TEST_EXPORT BOOL TST_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                               PBYTE pBufOut, DWORD dwLenOut, PDWORD pdwActualOut) {
    auto lock = Log(false, "IOControl 0x%x code=%u", hOpenContext, dwCode);
    if (dwCode == ots::test::kEchoCode) {
        const DWORD length = std::min(dwLenIn, dwLenOut);
        std::memcpy(pBufOut, pBufIn, length);
        *pdwActualOut = length;
    } else if (dwCode == ots::test::kBlockCode) {
        gState.changed.wait(lock, [] { return gState.released; });
        gState.LogLocked("IOControl returns", false);
    }
    return dwCode != ots::test::kFailCode;
}

// The same stream driver under a second prefix, so that names of two prefixes can be told apart.
// clang-format off
TEST_EXPORT DWORD TSB_Init(LPCWSTR, LPCVOID) __attribute__((alias("TST_Init")));
TEST_EXPORT BOOL TSB_Deinit(DWORD) __attribute__((alias("TST_Deinit")));
TEST_EXPORT DWORD TSB_Open(DWORD, DWORD, DWORD) __attribute__((alias("TST_Open")));
TEST_EXPORT BOOL TSB_Close(DWORD) __attribute__((alias("TST_Close")));
TEST_EXPORT BOOL TSB_IOControl(DWORD, DWORD, PBYTE, DWORD, PBYTE, DWORD, PDWORD) __attribute__((alias("TST_IOControl")));
// clang-format on
