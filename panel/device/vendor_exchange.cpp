#include "device/vendor_exchange.h"

#include <cstdint>
#include <new>

#include "device/panel_message.h"
#include "device/stream_device.h"
#include "protocol/control_codes.h"

namespace {

// Commands go to the first instance, the camera controller's.
constexpr LPCWSTR kCommandDevice = L"OTS1:";
constexpr DWORD kAttemptPauseMs = 20;

struct ExchangeKind {
    DWORD dwCode;
    PanelMessage openFailed;
    PanelMessage controlFailed;
};

constexpr ExchangeKind kSetCommand{
    IOCTL_SET_COMMAND, NarrowMessage("<optlib><SetCommand>CreateFile Failed!!!!\r\n"),
    NarrowMessage("<optlib><SetCommand>DeviceIoControl Failed!!!!\n")};
constexpr ExchangeKind kGetCommand{
    IOCTL_GET_COMMAND, NarrowMessage("<optlib><ceGetCommand>CreateFile Failed!!!!\r\n"),
    NarrowMessage("<optlib><ceGetCommand>DeviceIoControl Failed!!!!\n")};

BOOL Exchange(const ExchangeKind& kind, const VendorCommandRequest& request, std::span<BYTE> reply,
              INT nRetry) {
    std::vector<BYTE> framed = SerializeVendorCommand(request);
    if (framed.empty()) {
        return FALSE;
    }
    const StreamDevice device(kCommandDevice);
    if (!device.IsOpen()) {
        WriteMessage(kind.openFailed);
        return FALSE;
    }
    // Counted wide, so that the largest retry count cannot wrap around.
    for (std::int64_t attempt = 0; attempt <= std::int64_t{nRetry}; ++attempt) {
        Sleep(kAttemptPauseMs);
        if (device.Control(kind.dwCode, framed, reply)) {
            return TRUE;
        }
        WriteMessage(kind.controlFailed);
    }
    return FALSE;
}

template <class Send>
BOOL WithoutThrowing(Send send) {
    try {
        return send();
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

}  // namespace

BOOL SendControlCommand(const VendorCommandRequest& request, INT nRetry) {
    if (!request.IsWrite()) {
        return FALSE;
    }
    VendorReply discarded{};
    return Exchange(kSetCommand, request, discarded, nRetry);
}

BOOL SendReadCommand(const VendorCommandRequest& request, VendorReply& reply, INT nRetry) {
    if (!request.IsRead()) {
        return FALSE;
    }
    return Exchange(kGetCommand, request, reply, nRetry);
}

BOOL SetCommand(DWORD /*dwReserved*/, const VendorCommandRequest& request, INT nRetry) {
    return WithoutThrowing([&] { return SendControlCommand(request, nRetry); });
}

BOOL ceGetCommand(DWORD /*dwReserved*/, const VendorCommandRequest& request, VendorReply* pReply,
                  INT nRetry) {
    if (pReply == nullptr) {
        return FALSE;
    }
    return WithoutThrowing([&] { return SendReadCommand(request, *pReply, nRetry); });
}
