// A diagnostic line of the device access library. Wide lines go to the kernel debug output,
// narrow ones through the runtime's printf to standard output; a message with neither text
// writes nothing.
#pragma once

#include "ce/types.h"

struct PanelMessage {
    LPCWSTR wide = nullptr;
    const char* narrow = nullptr;
};

constexpr PanelMessage WideMessage(LPCWSTR text) {
    return PanelMessage{text, nullptr};
}
constexpr PanelMessage NarrowMessage(const char* text) {
    return PanelMessage{nullptr, text};
}

void WriteMessage(const PanelMessage& message);
