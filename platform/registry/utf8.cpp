#include "utf8.h"

#include <cstdint>

#include "kernel/wide_utf8.h"

namespace ce::registry {
namespace {

struct SequenceStart {
    bool valid = false;
    std::size_t extra = 0;      // continuation bytes that follow
    std::uint32_t bits = 0;     // payload of the lead byte
    std::uint32_t minimum = 0;  // smallest value this length may carry (no overlong forms)
};

SequenceStart ReadLead(unsigned char lead) {
    if (lead < 0x80) {
        return {true, 0, lead, 0};
    }
    if ((lead & 0xE0) == 0xC0) {
        return {true, 1, lead & 0x1Fu, 0x80};
    }
    if ((lead & 0xF0) == 0xE0) {
        return {true, 2, lead & 0x0Fu, 0x800};
    }
    if ((lead & 0xF8) == 0xF0) {
        return {true, 3, lead & 0x07u, 0x10000};
    }
    return {};
}

}  // namespace

bool IsScalarValue(wchar_t ch) {
    const auto c = static_cast<std::uint32_t>(ch);
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool DecodeUtf8(std::string_view text, std::wstring& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const SequenceStart start = ReadLead(lead);
        if (!start.valid) {
            return false;
        }
        const std::size_t extra = start.extra;
        std::uint32_t c = start.bits;
        if (text.size() - i - 1 < extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3Fu);
        }
        if (c < start.minimum || !IsScalarValue(static_cast<wchar_t>(c))) {
            return false;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += extra + 1;
    }
    return true;
}

std::string EncodeUtf8(std::wstring_view text) {
    return text::ToUtf8(text);
}

}  // namespace ce::registry
