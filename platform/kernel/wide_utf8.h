// UTF-8 for the platform's wide text: WCHAR is 32 bits here, so one wide character is one code
// point. Surrogates and values beyond U+10FFFF, which are no characters, become U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ce::text {

inline constexpr std::size_t kMaxUtf8Bytes = 4;

// Writes the code point's UTF-8 bytes to out and returns how many; allocates nothing, so the
// debug output may use it on the report path.
std::size_t EncodeCodePoint(char32_t codePoint, char (&out)[kMaxUtf8Bytes]);

std::string ToUtf8(std::wstring_view text);

}  // namespace ce::text
