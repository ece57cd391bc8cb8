// Debug output. NKDbgPrintfW follows the Windows wide-printf rules: in its wide format %s
// takes a wide string (%hs a narrow one, %ls a wide one, %S a narrow one). CeRuntimePrintf is
// the C runtime's narrow printf to standard output that the control panel writes its "!!!!"
// lines with. Both reach the debug sink (ce/host/debug_sink.h).
//
// Both follow the Windows C runtime: %c and %s take characters of the format's own width and
// %C and %S the other width; h (%hs, %hc) always means narrow, l and w (%ls, %ws, %lc) always
// wide. Integers are Windows-sized: no modifier, h and l read 32 bits (int, LONG, DWORD), ll
// and I64 read 64 bits, z and I pointer size. %p prints upper-case hex padded to the pointer's
// width. Output longer than the stack buffer moves to the heap rather than being cut.
#pragma once

#include "ce/types.h"

extern "C" {
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);
int CeRuntimePrintf(const char* format, ...);
}
