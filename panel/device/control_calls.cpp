#include "device/control_calls.h"

#include "device/stream_device.h"

BOOL IssueControlCalls(LPCWSTR lpDeviceName, const PanelMessage& openFailed,
                       std::span<const ControlCall> calls) {
    const StreamDevice device(lpDeviceName);
    if (!device.IsOpen()) {
        WriteMessage(openFailed);
        return FALSE;
    }
    for (const ControlCall& call : calls) {
        if (!device.Control(call.dwCode, call.input, call.output)) {
            WriteMessage(call.failed);
            return FALSE;
        }
    }
    return TRUE;
}
