// UTF-16LE, the text Windows writes: whole .reg files saved by regedit, and the string data of
// hex(1):, hex(2): and hex(7): lists. WCHAR is 32 bits here, so data converts both ways.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ce::registry {

// Refuses an odd byte count and unpaired surrogates.
bool DecodeUtf16Le(std::span<const std::uint8_t> bytes, std::wstring& out);

// Null when a character is not a Unicode scalar value.
std::optional<std::vector<std::uint8_t>> EncodeUtf16Le(std::wstring_view text);

// The registry's bytes of a string value as whole WCHARs; null when the size does not divide.
std::optional<std::wstring> WideFromBytes(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> BytesFromWide(std::wstring_view text);

}  // namespace ce::registry
