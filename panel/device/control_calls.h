// The plain wrapper: open the device, issue control codes in order on the one handle until one
// fails, close it again.
#pragma once

#include <span>

#include "ce/types.h"
#include "device/panel_message.h"

struct ControlCall {
    DWORD dwCode;
    std::span<BYTE> input;   // empty: none
    std::span<BYTE> output;  // empty: none
    PanelMessage failed;     // written when this code fails
};

// TRUE only when the device opened and every call succeeded. A failed open writes openFailed;
// a failed call writes its own message and skips the calls after it.
BOOL IssueControlCalls(LPCWSTR lpDeviceName, const PanelMessage& openFailed,
                       std::span<const ControlCall> calls);
