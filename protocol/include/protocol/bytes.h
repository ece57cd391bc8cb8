// Little-endian loads and stores at byte offsets: the only way records meet bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ots {

inline std::uint16_t LoadU16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t LoadU32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::int32_t LoadI32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int32_t>(LoadU32(b, at));
}
inline float LoadReal4(std::span<const std::uint8_t> b, std::size_t at) {
    return std::bit_cast<float>(LoadU32(b, at));
}

inline void StoreU16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    b[at + 2] = static_cast<std::uint8_t>(v >> 16);
    b[at + 3] = static_cast<std::uint8_t>(v >> 24);
}
inline void StoreI32(std::span<std::uint8_t> b, std::size_t at, std::int32_t v) {
    StoreU32(b, at, static_cast<std::uint32_t>(v));
}
inline void StoreReal4(std::span<std::uint8_t> b, std::size_t at, float v) {
    StoreU32(b, at, std::bit_cast<std::uint32_t>(v));
}

}  // namespace ots
