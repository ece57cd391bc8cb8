#include "device/panel_message.h"

#include "ce/debug.h"

void WriteMessage(const PanelMessage& message) {
    // The texts are printed as arguments, never as formats.
    if (message.wide != nullptr) {
        NKDbgPrintfW(L"%s", message.wide);
    }
    if (message.narrow != nullptr) {
        CeRuntimePrintf("%s", message.narrow);
    }
}
