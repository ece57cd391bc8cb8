// Byte patterns for record tests: every byte distinct from its neighbours, so a field read or
// written at a wrong offset shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ots::test {

template <std::size_t N>
std::array<std::uint8_t, N> CountingBytes(std::uint8_t first) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + 7 * i);
    }
    return bytes;
}

template <std::size_t N>
std::array<std::uint8_t, N> FilledBytes(std::uint8_t value) {
    std::array<std::uint8_t, N> bytes{};
    bytes.fill(value);
    return bytes;
}

}  // namespace ots::test
