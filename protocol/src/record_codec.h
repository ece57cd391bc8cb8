// A record's codec as a table of its fields: each field's byte offset and the member it fills.
// Decode and Encode walk the table, so the records differ only in their tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <variant>

#include "protocol/bytes.h"

namespace ots::codec {

template <class R>
using Member = std::variant<std::uint8_t R::*, std::uint16_t R::*, std::uint32_t R::*,
                            std::int32_t R::*, float R::*>;

template <class R>
struct Field {
    std::size_t at;
    Member<R> member;
};

template <class R, std::size_t N>
R Decode(std::span<const std::uint8_t> bytes, const std::array<Field<R>, N>& fields) {
    R record{};
    for (const Field<R>& f : fields) {
        std::visit(
            [&](auto member) {
                auto& value = record.*member;
                using T = std::remove_reference_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::uint8_t>) {
                    value = bytes[f.at];
                } else if constexpr (std::is_same_v<T, std::uint16_t>) {
                    value = LoadU16(bytes, f.at);
                } else if constexpr (std::is_same_v<T, std::uint32_t>) {
                    value = LoadU32(bytes, f.at);
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    value = LoadI32(bytes, f.at);
                } else {
                    value = LoadReal4(bytes, f.at);
                }
            },
            f.member);
    }
    return record;
}

template <class R, std::size_t N>
void Encode(const R& record, const std::array<Field<R>, N>& fields, std::span<std::uint8_t> bytes) {
    for (const Field<R>& f : fields) {
        std::visit(
            [&](auto member) {
                const auto& value = record.*member;
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::uint8_t>) {
                    bytes[f.at] = value;
                } else if constexpr (std::is_same_v<T, std::uint16_t>) {
                    StoreU16(bytes, f.at, value);
                } else if constexpr (std::is_same_v<T, std::uint32_t>) {
                    StoreU32(bytes, f.at, value);
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    StoreI32(bytes, f.at, value);
                } else {
                    StoreReal4(bytes, f.at, value);
                }
            },
            f.member);
    }
}

}  // namespace ots::codec
