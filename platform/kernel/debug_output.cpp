// NKDbgPrintfW and the runtime's narrow printf.
#include <cstdarg>

#include "ce/debug.h"
#include "debug_lines.h"
#include "format.h"

extern "C" void NKDbgPrintfW(LPCWSTR lpszFmt, ...) {
    if (lpszFmt == nullptr) {
        return;
    }
    ce::kernel::TextBuffer text;
    va_list args;
    va_start(args, lpszFmt);
    ce::kernel::FormatWide(text, lpszFmt, args);
    va_end(args);
    ce::kernel::EmitDebugText(ce::host::DebugChannel::Kernel, text.View());
}

extern "C" int CeRuntimePrintf(const char* format, ...) {
    if (format == nullptr) {
        return -1;
    }
    ce::kernel::TextBuffer text;
    va_list args;
    va_start(args, format);
    ce::kernel::FormatNarrow(text, format, args);
    va_end(args);
    ce::kernel::EmitDebugText(ce::host::DebugChannel::Runtime, text.View());
    return static_cast<int>(text.View().size());
}
