// Text the host shows: positions and wide names.
#pragma once

#include <cstdio>
#include <string>

namespace ots::host {

// "400.0 300.0": a screen position in pixels, as every message of the host gives one.
inline std::string FormatPosition(double xPx, double yPx) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.1f %.1f", xPx, yPx);
    return text;
}

// Device and library names are ASCII; anything else shows as '?'.
inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        out += c >= 0 && c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace ots::host
