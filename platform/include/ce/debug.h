// Debug output. NKDbgPrintfW follows the Windows wide-printf rules: in its wide format %s
// takes a wide string (%hs a narrow one, %ls a wide one, %S a narrow one). CeRuntimePrintf is
// the C runtime's narrow printf to standard output that the control panel writes its "!!!!"
// lines with. Both reach the debug sink (ce/host/debug_sink.h).
#pragma once

#include "ce/types.h"

extern "C" {
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);
int CeRuntimePrintf(const char* format, ...);
}
