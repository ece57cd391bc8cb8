// UTF-8 <-> wide text for the .reg file form. WCHAR is 32 bits here, so one wide character is
// one Unicode scalar value.
#pragma once

#include <string>
#include <string_view>

namespace ce::registry {

// True for a Unicode scalar value (not a surrogate, at most 0x10FFFF).
bool IsScalarValue(wchar_t c);

// Strict decoding: overlong forms, surrogates and truncated sequences are refused.
bool DecodeUtf8(std::string_view text, std::wstring& out);

// Every character must be a scalar value (see IsScalarValue).
std::string EncodeUtf8(std::wstring_view text);

}  // namespace ce::registry
