#include "utf16.h"

#include <cstring>

#include "utf8.h"

namespace ce::registry {

namespace {
bool IsHighSurrogate(std::uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}
}  // namespace

bool DecodeUtf16Le(std::span<const std::uint8_t> bytes, std::wstring& out) {
    if (bytes.size() % 2 != 0) {
        return false;
    }
    out.clear();
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t unit = bytes[i] | std::uint32_t{bytes[i + 1]} << 8;
        if (IsLowSurrogate(unit)) {
            return false;
        }
        if (!IsHighSurrogate(unit)) {
            out.push_back(static_cast<wchar_t>(unit));
            continue;
        }
        if (i + 3 >= bytes.size()) {
            return false;
        }
        const std::uint32_t low = bytes[i + 2] | std::uint32_t{bytes[i + 3]} << 8;
        if (!IsLowSurrogate(low)) {
            return false;
        }
        out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        i += 2;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> EncodeUtf16Le(std::wstring_view text) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&bytes](std::uint32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const wchar_t c : text) {
        if (!IsScalarValue(c)) {
            return std::nullopt;
        }
        const auto u = static_cast<std::uint32_t>(c);
        if (u < 0x10000) {
            put(u);
        } else {
            put(0xD800 + ((u - 0x10000) >> 10));
            put(0xDC00 + ((u - 0x10000) & 0x3FF));
        }
    }
    return bytes;
}

std::optional<std::wstring> WideFromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() % sizeof(wchar_t) != 0) {
        return std::nullopt;
    }
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!bytes.empty()) {  // an empty span may carry a null pointer, which memcpy must not get
        std::memcpy(text.data(), bytes.data(), bytes.size());
    }
    return text;
}

std::vector<std::uint8_t> BytesFromWide(std::wstring_view text) {
    std::vector<std::uint8_t> bytes(text.size() * sizeof(wchar_t));
    if (!bytes.empty()) {  // an empty vector's data() may be null, which memcpy must not get
        std::memcpy(bytes.data(), text.data(), bytes.size());
    }
    return bytes;
}

}  // namespace ce::registry
