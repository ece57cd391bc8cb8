#include "name_fold.h"

#include <cstdint>

namespace ce::registry {
namespace {

constexpr bool InRange(std::uint32_t c, std::uint32_t first, std::uint32_t last) {
    return c >= first && c <= last;
}

// Latin Extended-A pairs upper and lower case as neighbours; which one comes first changes
// twice inside the block.
std::uint32_t FoldLatinExtendedA(std::uint32_t c) {
    if (c == 0x130) {
        return 'i';  // capital I with dot above
    }
    if (c == 0x178) {
        return 0xFF;  // capital Y with diaeresis lives in Latin-1
    }
    const bool evenIsUpper = InRange(c, 0x100, 0x137) || InRange(c, 0x14A, 0x177);
    const bool oddIsUpper = InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E);
    if ((evenIsUpper && c % 2 == 0) || (oddIsUpper && c % 2 == 1)) {
        return c + 1;
    }
    return c;
}

// Greek capitals with an accent sit apart from their small letters.
std::uint32_t FoldGreekWithTonos(std::uint32_t c) {
    if (c == 0x386) {
        return 0x3AC;
    }
    if (InRange(c, 0x388, 0x38A)) {
        return c + 0x25;
    }
    if (c == 0x38C) {
        return 0x3CC;
    }
    if (InRange(c, 0x38E, 0x38F)) {
        return c + 0x3F;
    }
    return c;
}

}  // namespace

wchar_t FoldChar(wchar_t ch) {
    const auto c = static_cast<std::uint32_t>(ch);
    std::uint32_t folded = c;
    if (InRange(c, 'A', 'Z')) {
        folded = c + 0x20;
    } else if (c < 0xC0) {
        folded = c;
    } else if (InRange(c, 0xC0, 0xDE) && c != 0xD7) {
        folded = c + 0x20;
    } else if (InRange(c, 0x100, 0x17F)) {
        folded = FoldLatinExtendedA(c);
    } else if (InRange(c, 0x386, 0x38F)) {
        folded = FoldGreekWithTonos(c);
    } else if (InRange(c, 0x391, 0x3AB) && c != 0x3A2) {
        folded = c + 0x20;  // Greek capitals
    } else if (InRange(c, 0x400, 0x40F)) {
        folded = c + 0x50;  // Cyrillic capitals with marks
    } else if (InRange(c, 0x410, 0x42F)) {
        folded = c + 0x20;  // basic Cyrillic capitals
    }
    return static_cast<wchar_t>(folded);
}

std::wstring FoldName(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

}  // namespace ce::registry
