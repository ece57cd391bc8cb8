#include "touch/pixel_scan.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace position {
namespace {

using Word = std::uint64_t;
inline constexpr INT32 kWordBytes = sizeof(Word);
inline constexpr Word kHighBits = 0x8080808080808080ULL;
inline constexpr Word kLow7Bits = 0x7F7F7F7F7F7F7F7FULL;

Word Load(const BYTE* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Index within the word of the first byte (in memory order) whose flag bit is set.
INT32 FirstFlagged(Word flags) {
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(flags)
                                                               : std::countl_zero(flags);
    return bit / 8;
}

// Bit 7 of each byte set exactly where the byte is nonzero.
Word NonzeroFlags(Word word) {
    return (((word & kLow7Bits) + kLow7Bits) | word) & kHighBits;
}

}  // namespace

INT32 FindDark(const BYTE* line, INT32 from, INT32 end) {
    INT32 p = from;
    for (; p + kWordBytes <= end; p += kWordBytes) {
        const Word dark = ~NonzeroFlags(Load(line + p)) & kHighBits;
        if (dark != 0) {
            return p + FirstFlagged(dark);
        }
    }
    while (p < end && line[p] != 0) {
        ++p;
    }
    return p;
}

INT32 FindLit(const BYTE* line, INT32 from, INT32 end) {
    INT32 p = from;
    // The background is long and dark: four words at a time, tested together.
    for (; p + 4 * kWordBytes <= end; p += 4 * kWordBytes) {
        if ((Load(line + p) | Load(line + p + kWordBytes) | Load(line + p + 2 * kWordBytes) |
             Load(line + p + 3 * kWordBytes)) != 0) {
            break;
        }
    }
    for (; p + kWordBytes <= end; p += kWordBytes) {
        const Word word = Load(line + p);
        if (word != 0) {
            return p + FirstFlagged(NonzeroFlags(word));
        }
    }
    while (p < end && line[p] == 0) {
        ++p;
    }
    return p;
}

void CopyAsPixels(const BYTE* image, std::size_t count, BYTE* line) {
    std::size_t i = 0;
    for (; i + kWordBytes <= count; i += kWordBytes) {
        const Word pixels = NonzeroFlags(Load(image + i)) >> 7;
        std::memcpy(line + i, &pixels, sizeof pixels);
    }
    for (; i < count; ++i) {
        line[i] = image[i] != 0 ? 1 : 0;
    }
}

}  // namespace position
