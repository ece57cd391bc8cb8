// Bytes as the tests build and compare them: vendor packets, controller responses, patterns
// that show a shifted or cut copy, and hex dumps for failure messages.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ots::test {

using Bytes = std::vector<std::uint8_t>;

std::string HexDump(const std::uint8_t* bytes, std::size_t size);
inline std::string HexDump(const Bytes& bytes) {
    return HexDump(bytes.data(), bytes.size());
}

// The framed vendor command (class, code, index, data), as the framing writes it.
Bytes Framed(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& data = {});
// A 64-byte controller response: AA, class, code, 59, index, the 58-byte block, checksum.
Bytes BlockResponse(std::uint8_t cls, std::uint8_t code, std::uint8_t index, const Bytes& block);
// A 58-byte block whose bytes count up from seed.
Bytes PatternBlock(std::uint8_t seed);

// Bytes that differ from their neighbours, so that a shifted or cut copy shows.
inline Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
    }
    return bytes;
}

// A record as its encoder writes it.
template <std::size_t N, class Record, class Encode>
Bytes Encoded(const Record& record, Encode encode) {
    std::array<std::uint8_t, N> bytes{};
    encode(record, bytes);
    return {bytes.begin(), bytes.end()};
}

template <std::size_t N>
std::array<std::uint8_t, N> ArrayOf(const Bytes& bytes) {
    std::array<std::uint8_t, N> out{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
}

}  // namespace ots::test
