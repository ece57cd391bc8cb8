#include "wide_utf8.h"

namespace ce::text {

std::size_t EncodeCodePoint(char32_t c, char (&out)[kMaxUtf8Bytes]) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        c = 0xFFFD;
    }
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    // The lead byte's marker and the count of continuation bytes for each length.
    const std::size_t extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(kLead[extra] | (c >> (6 * extra)));
    for (std::size_t i = 1; i <= extra; ++i) {
        out[i] = static_cast<char>(0x80 | ((c >> (6 * (extra - i))) & 0x3F));
    }
    return extra + 1;
}

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t w : text) {
        char bytes[kMaxUtf8Bytes];
        out.append(bytes, EncodeCodePoint(static_cast<char32_t>(w), bytes));
    }
    return out;
}

}  // namespace ce::text
