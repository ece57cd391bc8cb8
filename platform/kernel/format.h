// printf-style formatting with the Windows C runtime's rules, into UTF-8 text.
//
// The format's own character width is the default width of %s and %c: in a wide format %s
// takes a wide string and %S a narrow one; in a narrow format the other way round. h (%hs,
// %hc) always means narrow, l and w (%ls, %ws, %lc) always wide. Integer sizes are those of
// Windows: no modifier, h, hh and l take 32 bits or less (LONG, DWORD), ll, I64 and j take
// 64 bits, z, I and t take pointer size. %p prints the pointer in upper-case hex, zero-padded
// to its full width. %n writes nothing. A null string prints "(null)". Narrow text is taken as
// UTF-8 and copied as it is; wide text is encoded to UTF-8.
#pragma once

#include <cstdarg>

#include "text_buffer.h"

namespace ce::kernel {

void FormatWide(TextBuffer& out, const wchar_t* format, va_list args);
void FormatNarrow(TextBuffer& out, const char* format, va_list args);

}  // namespace ce::kernel
