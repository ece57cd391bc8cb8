// The scripted stream driver (see script_driver.h).
#include "script_driver.h"

#include <algorithm>
#include <cstring>

#include "ce/host/clock.h"
#include "ce/kernel.h"

#define SCRIPT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

script::DriverState gState;

script::Event EventOf(script::Op op, DWORD hContext) {
    script::Event event{};
    event.op = op;
    event.context = hContext;
    event.platformMs = ce::host::PlatformNowMs();
    return event;
}

}  // namespace

SCRIPT_EXPORT script::DriverState* OTS_ScriptState() {
    return &gState;
}

SCRIPT_EXPORT DWORD OTS_Init(LPCWSTR /*pContext*/, LPCVOID /*lpvBusContext*/) {
    return gState.AddContext();
}

SCRIPT_EXPORT BOOL OTS_Deinit(DWORD /*hDeviceContext*/) {
    return TRUE;
}

SCRIPT_EXPORT DWORD OTS_Open(DWORD hDeviceContext, DWORD /*AccessCode*/, DWORD /*ShareMode*/) {
    std::vector<BYTE> none;
    gState.Answer(EventOf(script::Op::Open, hDeviceContext), none);
    return hDeviceContext;
}

SCRIPT_EXPORT BOOL OTS_Close(DWORD hOpenContext) {
    std::vector<BYTE> none;
    return gState.Answer(EventOf(script::Op::Close, hOpenContext), none);
}

SCRIPT_EXPORT BOOL OTS_IOControl(DWORD hOpenContext, DWORD dwCode, PBYTE pBufIn, DWORD dwLenIn,
                                 PBYTE pBufOut, DWORD dwLenOut, PDWORD /*pdwActualOut*/) {
    script::Event event = EventOf(script::Op::IoControl, hOpenContext);
    event.code = dwCode;
    if (pBufIn != nullptr) {
        event.input.emplace(pBufIn, pBufIn + dwLenIn);
    }
    if (pBufOut != nullptr) {
        event.outputLength = dwLenOut;
    }
    std::vector<BYTE> reply;
    if (!gState.Answer(std::move(event), reply)) {
        return FALSE;
    }
    if (pBufOut != nullptr && !reply.empty()) {
        std::memcpy(pBufOut, reply.data(), std::min<std::size_t>(reply.size(), dwLenOut));
    }
    return TRUE;
}
