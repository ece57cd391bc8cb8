#include "format.h"

#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

namespace ce::kernel {
namespace {

// Widths and precisions beyond this are clamped: nothing the system prints needs more, and an
// absurd "%999999999d" must not ask for a gigabyte of padding.
constexpr int kMaxFieldWidth = 65536;

enum class Length { None, Char, Short, Long, LongLong, LongDouble, Size, PtrDiff, Wide };

struct Directive {
    bool leftAlign = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zeroPad = false;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    char conversion = 0;
};

// Owns a copy of the caller's argument list so that helpers can read it in turn.
struct Args {
    explicit Args(va_list source) { va_copy(list, source); }
    ~Args() { va_end(list); }
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    va_list list;
};

template <class CharT>
bool IsDigit(CharT c) {
    return c >= '0' && c <= '9';
}

template <class CharT>
int ParseNumber(const CharT*& p) {
    int value = 0;
    for (; IsDigit(*p); ++p) {
        value = std::min(value * 10 + static_cast<int>(*p - '0'), kMaxFieldWidth);
    }
    return value;
}

template <class CharT>
bool Consume(const CharT*& p, const char* text) {
    const CharT* q = p;
    for (; *text != '\0'; ++text, ++q) {
        if (*q != static_cast<CharT>(*text)) {
            return false;
        }
    }
    p = q;
    return true;
}

struct LengthModifier {
    const char* text;
    Length length;
};

// Longer spellings first, so that "hh" is not read as "h" and "I64" not as "I".
constexpr LengthModifier kLengthModifiers[] = {
    {"hh", Length::Char},  {"h", Length::Short},      {"ll", Length::LongLong},
    {"l", Length::Long},   {"L", Length::LongDouble}, {"I64", Length::LongLong},
    {"I32", Length::None}, {"I", Length::Size},       {"j", Length::LongLong},
    {"z", Length::Size},   {"t", Length::PtrDiff},    {"w", Length::Wide},
};

template <class CharT>
Length ParseLength(const CharT*& p) {
    for (const LengthModifier& modifier : kLengthModifiers) {
        if (Consume(p, modifier.text)) {
            return modifier.length;
        }
    }
    return Length::None;
}

// Reads one flag character; false when *p is none.
template <class CharT>
bool ParseFlag(CharT c, Directive& directive) {
    switch (c) {
        case '-':
            directive.leftAlign = true;
            return true;
        case '+':
            directive.plus = true;
            return true;
        case ' ':
            directive.space = true;
            return true;
        case '#':
            directive.alternate = true;
            return true;
        case '0':
            directive.zeroPad = true;
            return true;
        default:
            return false;
    }
}

// Parses the conversion after '%'; p ends past it. False when the format ends inside it.
template <class CharT>
bool ParseDirective(const CharT*& p, Args& args, Directive& directive) {
    while (ParseFlag(*p, directive)) {
        ++p;
    }
    if (*p == '*') {
        ++p;
        // A negative width from the argument list means left-aligned.
        const long long width = va_arg(args.list, int);
        directive.leftAlign = directive.leftAlign || width < 0;
        directive.width =
            static_cast<int>(std::min(width < 0 ? -width : width, 0LL + kMaxFieldWidth));
    } else if (IsDigit(*p)) {
        directive.width = ParseNumber(p);
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            ++p;
            const int precision = va_arg(args.list, int);
            directive.precision = precision < 0 ? -1 : std::min(precision, kMaxFieldWidth);
        } else {
            directive.precision = ParseNumber(p);
        }
    }
    directive.length = ParseLength(p);
    if (*p == '\0') {
        return false;
    }
    directive.conversion = static_cast<char>(*p);
    if (static_cast<std::make_unsigned_t<CharT>>(*p) > 0x7F) {
        directive.conversion = '?';  // not a conversion; printed as it stands
    }
    ++p;
    return true;
}

void Pad(TextBuffer& out, const Directive& directive, std::size_t length, bool before) {
    if (directive.width > 0 && static_cast<std::size_t>(directive.width) > length &&
        directive.leftAlign != before) {
        out.Append(' ', static_cast<std::size_t>(directive.width) - length);
    }
}

// The directive handed to snprintf for one number: the flags, the width and the precision as
// parsed, with the C length modifier that matches the argument read.
struct CDirective {
    CDirective(const Directive& directive, const char* cLength) {
        const std::pair<bool, char> flags[] = {{directive.leftAlign, '-'},
                                               {directive.plus, '+'},
                                               {directive.space, ' '},
                                               {directive.alternate, '#'},
                                               {directive.zeroPad, '0'}};
        char* p = text;
        *p++ = '%';
        for (const auto& [set, flag] : flags) {
            if (set) {
                *p++ = flag;
            }
        }
        const auto room = [&] { return static_cast<std::size_t>(text + sizeof text - p); };
        if (directive.width >= 0) {
            p += std::snprintf(p, room(), "%d", directive.width);
        }
        if (directive.precision >= 0) {
            p += std::snprintf(p, room(), ".%d", directive.precision);
        }
        std::snprintf(p, room(), "%s%c", cLength, directive.conversion);
    }
    // '%', five flags, two numbers of at most 5 digits, '.', two length characters, the
    // conversion and the terminator fit with room to spare.
    char text[32];
};

template <class T>
void AppendPrintf(TextBuffer& out, const Directive& directive, const char* cLength, T value) {
    const CDirective cDirective(directive, cLength);
    char local[128];
    const int length = std::snprintf(local, sizeof local, cDirective.text, value);
    if (length < 0) {
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof local) {
        out.Append(std::string_view(local, static_cast<std::size_t>(length)));
        return;
    }
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(large.data(), large.size(), cDirective.text, value);
    out.Append(std::string_view(large.data(), static_cast<std::size_t>(length)));
}

void FormatSigned(TextBuffer& out, const Directive& directive, Args& args) {
    switch (directive.length) {
        case Length::Char:
            return AppendPrintf(out, directive, "hh", va_arg(args.list, int));
        case Length::Short:
            return AppendPrintf(out, directive, "h", va_arg(args.list, int));
        case Length::LongLong:
        case Length::LongDouble:
            return AppendPrintf(out, directive, "ll", va_arg(args.list, long long));
        case Length::Size:
            return AppendPrintf(out, directive, "z", va_arg(args.list, std::ptrdiff_t));
        case Length::PtrDiff:
            return AppendPrintf(out, directive, "t", va_arg(args.list, std::ptrdiff_t));
        default:
            return AppendPrintf(out, directive, "", va_arg(args.list, int));
    }
}

void FormatUnsigned(TextBuffer& out, const Directive& directive, Args& args) {
    switch (directive.length) {
        case Length::Char:
            return AppendPrintf(out, directive, "hh", va_arg(args.list, unsigned));
        case Length::Short:
            return AppendPrintf(out, directive, "h", va_arg(args.list, unsigned));
        case Length::LongLong:
        case Length::LongDouble:
            return AppendPrintf(out, directive, "ll", va_arg(args.list, unsigned long long));
        case Length::Size:
            return AppendPrintf(out, directive, "z", va_arg(args.list, std::size_t));
        case Length::PtrDiff:
            return AppendPrintf(out, directive, "t", va_arg(args.list, std::size_t));
        default:
            return AppendPrintf(out, directive, "", va_arg(args.list, unsigned));
    }
}

void FormatFloat(TextBuffer& out, const Directive& directive, Args& args) {
    if (directive.length == Length::LongDouble) {
        AppendPrintf(out, directive, "L", va_arg(args.list, long double));
    } else {
        AppendPrintf(out, directive, "", va_arg(args.list, double));
    }
}

void FormatPointer(TextBuffer& out, const Directive& directive, Args& args) {
    const auto value = reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*));
    char digits[2 * sizeof(void*) + 1];
    std::snprintf(digits, sizeof digits, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)), value);
    const std::string_view text(digits, 2 * sizeof(void*));
    Pad(out, directive, text.size(), true);
    out.Append(text);
    Pad(out, directive, text.size(), false);
}

// Whether %c or %s reads wide characters here.
bool WideText(const Directive& directive, bool wideFormat) {
    if (directive.length == Length::Long || directive.length == Length::Wide) {
        return true;
    }
    if (directive.length == Length::Short) {
        return false;
    }
    const bool upper = directive.conversion == 'S' || directive.conversion == 'C';
    return upper ? !wideFormat : wideFormat;
}

template <class CharT>
void AppendText(TextBuffer& out, const CharT* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if constexpr (std::is_same_v<CharT, char>) {
            out.Append(text[i], 1);
        } else {
            out.AppendCodePoint(static_cast<char32_t>(text[i]));
        }
    }
}

template <class CharT>
void FormatString(TextBuffer& out, const Directive& directive, const CharT* text) {
    static constexpr CharT kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (text == nullptr) {
        text = kNull;
    }
    // Never reads past the precision: the text need not be terminated within it.
    std::size_t length = 0;
    const std::size_t limit = directive.precision < 0
                                  ? std::numeric_limits<std::size_t>::max()
                                  : static_cast<std::size_t>(directive.precision);
    while (length < limit && text[length] != 0) {
        ++length;
    }
    Pad(out, directive, length, true);
    AppendText(out, text, length);
    Pad(out, directive, length, false);
}

template <class CharT>
void FormatChar(TextBuffer& out, const Directive& directive, CharT c) {
    Pad(out, directive, 1, true);
    AppendText(out, &c, 1);
    Pad(out, directive, 1, false);
}

template <class CharT>
void AppendLiteral(TextBuffer& out, const CharT* begin, const CharT* end) {
    AppendText(out, begin, static_cast<std::size_t>(end - begin));
}

void Convert(TextBuffer& out, const Directive& directive, bool wideFormat, Args& args) {
    switch (directive.conversion) {
        case 'd':
        case 'i':
            return FormatSigned(out, directive, args);
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return FormatUnsigned(out, directive, args);
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            return FormatFloat(out, directive, args);
        case 'p':
            return FormatPointer(out, directive, args);
        case 'n':
            (void)va_arg(args.list, void*);
            return;
        case 'c':
        case 'C':
            if (WideText(directive, wideFormat)) {
                return FormatChar(out, directive, static_cast<wchar_t>(va_arg(args.list, int)));
            }
            return FormatChar(out, directive, static_cast<char>(va_arg(args.list, int)));
        case 's':
        case 'S':
            if (WideText(directive, wideFormat)) {
                return FormatString(out, directive, va_arg(args.list, const wchar_t*));
            }
            return FormatString(out, directive, va_arg(args.list, const char*));
        default:
            return;
    }
}

bool KnownConversion(char c) {
    static constexpr std::string_view kConversions = "diuoxXeEfFgGaApncCsS";
    return kConversions.find(c) != std::string_view::npos;
}

template <class CharT>
void Format(TextBuffer& out, const CharT* format, va_list list) {
    Args args(list);
    const bool wideFormat = std::is_same_v<CharT, wchar_t>;
    const CharT* p = format;
    while (*p != 0) {
        const CharT* literalEnd = p;
        while (*literalEnd != 0 && *literalEnd != '%') {
            ++literalEnd;
        }
        AppendLiteral(out, p, literalEnd);
        p = literalEnd;
        if (*p == 0) {
            break;
        }
        const CharT* directiveStart = p++;
        if (*p == '%') {
            out.Append('%', 1);
            ++p;
            continue;
        }
        Directive directive;
        if (!ParseDirective(p, args, directive) || !KnownConversion(directive.conversion)) {
            AppendLiteral(out, directiveStart, p);  // not a conversion: print it as written
            continue;
        }
        Convert(out, directive, wideFormat, args);
    }
}

}  // namespace

void FormatWide(TextBuffer& out, const wchar_t* format, va_list args) {
    Format(out, format, args);
}

void FormatNarrow(TextBuffer& out, const char* format, va_list args) {
    Format(out, format, args);
}

}  // namespace ce::kernel
