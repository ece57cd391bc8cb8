// Bytes written out as the layout tables show them: "AA 01 71" (whitespace between bytes).
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace ots::test {

inline std::vector<std::uint8_t> Hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in(text);
    for (unsigned byte = 0; in >> std::hex >> byte;) {
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

}  // namespace ots::test
