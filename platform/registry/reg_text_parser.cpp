#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "ce/registry.h"
#include "reg_source.h"
#include "reg_text.h"
#include "utf16.h"
#include "utf8.h"

namespace ce::registry {
namespace {

using host::RegistryError;

constexpr std::string_view kBlank = " \t";

std::string_view TrimLeft(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlank);
    return first == std::string_view::npos ? std::string_view{} : s.substr(first);
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    return s.substr(0, s.find_last_not_of(kBlank) + 1);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

// 1 to maxDigits hex digits and nothing else.
bool ParseHexNumber(std::string_view s, std::size_t maxDigits, std::uint32_t& value) {
    if (s.empty() || s.size() > maxDigits) {
        return false;
    }
    value = 0;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isxdigit(u)) {
            return false;
        }
        const int digit = std::isdigit(u) ? u - '0' : std::tolower(u) - 'a' + 10;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

// A line as a message shows it: control bytes, and every byte above 0x7F when the line is not
// UTF-8, as \xNN escapes.
std::string Printable(std::string_view line) {
    std::wstring decoded;
    const bool utf8 = DecodeUtf8(line, decoded);
    std::string out;
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && !utf8)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(u));
            out += escape;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<BYTE> WideBytes(const std::wstring& text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());  // with the terminating zero
    return bytes;
}

std::vector<BYTE> DwordBytes(std::uint32_t value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// Roots a device image's files may name besides HKEY_LOCAL_MACHINE; their keys are skipped.
constexpr std::string_view kOtherRoots[] = {"HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS"};

class RegTextParser {
  public:
    explicit RegTextParser(RegSource source) : source_(std::move(source)) {
        result_.error = std::move(source_.error);
    }

    ParsedRegText Run() {
        if (!source_.imageForm) {
            SkipHeader();
        }
        if (!result_.error) {
            while (!result_.error && next_ < source_.lines.size()) {
                ReadLine();
            }
        }
        if (result_.error) {
            result_.sections.clear();
            result_.skippedKeys = 0;
        }
        return std::move(result_);
    }

  private:
    // The line last taken.
    std::size_t Current() const { return next_ == 0 ? 0 : next_ - 1; }

    void Fail(std::string message) { Fail(Current(), std::move(message)); }
    void Fail(std::size_t index, std::string message) {
        if (result_.error) {
            return;
        }
        const SourceLine at = index < source_.lines.size() ? source_.lines[index] : SourceLine{};
        result_.error =
            RegistryError{source_.files[at.file], std::max(at.line, 1), std::move(message)};
    }

    std::string_view TakeLine() { return source_.lines[next_++].text; }

    // regedit's source starts with its header, after blank lines: nothing left to check.
    void SkipHeader() {
        while (next_ < source_.lines.size() && Trim(TakeLine()).empty()) {
        }
    }

    void ReadLine() {
        const std::string_view line = TrimLeft(TakeLine());
        if (line.empty() || line.front() == ';') {
            return;
        }
        if (line.front() == '[') {
            ReadSection(Trim(line));
        } else if (line.front() == '@' || line.front() == '"') {
            ReadValue(line);
        } else {
            Fail("unexpected text: " + Printable(line));
        }
    }

    void ReadSection(std::string_view line) {
        if (!line.ends_with(']')) {
            Fail("missing ']' at the end of the key line");
            return;
        }
        std::string_view inner = line.substr(1, line.size() - 2);
        RegSection section;
        section.removeKey = inner.starts_with('-');
        if (section.removeKey) {
            inner.remove_prefix(1);
        }
        const std::string_view root = inner.substr(0, inner.find('\\'));
        skipping_ = source_.imageForm && IsOtherRoot(root);
        if (skipping_) {
            ++result_.skippedKeys;
            return;
        }
        if (!SameNoCase(root, kRootName)) {
            Fail("only HKEY_LOCAL_MACHINE keys are supported, not \"" + Printable(root) + "\"");
            return;
        }
        std::wstring path;
        if (!DecodeUtf8(inner.substr(root.size()), path)) {
            Fail("the key path is not valid UTF-8");
            return;
        }
        section.path = SplitKeyPath(path);
        if (!IsValidKeyPath(0, section.path)) {
            Fail("invalid key path (a name with control characters or longer than " +
                 std::to_string(kMaxKeyNameChars) + " characters, or deeper than " +
                 std::to_string(kMaxKeyDepth) + " levels)");
            return;
        }
        if (section.removeKey && section.path.empty()) {
            Fail("HKEY_LOCAL_MACHINE itself cannot be deleted");
            return;
        }
        result_.sections.push_back(std::move(section));
    }

    // A quoted string starting at text[pos] == '"', with \\ and \" escapes. Leaves pos past
    // the closing quote.
    bool ReadQuoted(std::string_view text, std::size_t& pos, std::wstring& out) {
        std::string raw;
        for (++pos; pos < text.size(); ++pos) {
            char c = text[pos];
            if (c == '"') {
                ++pos;
                if (!DecodeUtf8(raw, out)) {
                    Fail("the string is not valid UTF-8");
                    return false;
                }
                return true;
            }
            if (c == '\\') {
                if (++pos == text.size() || (text[pos] != '\\' && text[pos] != '"')) {
                    Fail("unknown escape in a string (only \\\\ and \\\" are allowed)");
                    return false;
                }
                c = text[pos];
            }
            raw.push_back(c);
        }
        Fail("unterminated string");
        return false;
    }

    bool ExpectLineEnd(std::string_view rest) {
        if (!TrimLeft(rest).empty()) {
            Fail("unexpected text after the value: " + Printable(Trim(rest)));
            return false;
        }
        return true;
    }

    void ReadValue(std::string_view line) {
        if (!skipping_ && result_.sections.empty()) {
            Fail("value outside a key section");
            return;
        }
        if (!skipping_ && result_.sections.back().removeKey) {
            Fail("value under a key that is being deleted");
            return;
        }
        RegValueChange change;
        std::size_t pos = 1;  // past '@', the default value
        if (line.front() == '"') {
            pos = 0;
            if (!ReadQuoted(line, pos, change.name)) {
                return;
            }
        }
        if (!IsValidValueName(change.name)) {
            Fail("invalid value name (control characters or longer than " +
                 std::to_string(kMaxValueNameChars) + " characters)");
            return;
        }
        std::string_view rest = TrimLeft(line.substr(pos));
        if (!rest.starts_with('=')) {
            Fail("expected '=' after the value name");
            return;
        }
        rest = TrimLeft(rest.substr(1));
        if (ReadData(rest, change) && !skipping_) {
            result_.sections.back().values.push_back(std::move(change));
        }
    }

    bool ReadData(std::string_view rest, RegValueChange& change) {
        if (rest.starts_with('-')) {
            change.remove = true;
            return ExpectLineEnd(rest.substr(1));
        }
        if (rest.starts_with('"')) {
            std::size_t pos = 0;
            std::wstring text;
            if (!ReadQuoted(rest, pos, text) || !ExpectLineEnd(rest.substr(pos))) {
                return false;
            }
            change.type = REG_SZ;
            change.data = WideBytes(text);
            return true;
        }
        if (StartsWithNoCase(rest, "dword:")) {
            std::uint32_t value = 0;
            if (!ParseHexNumber(Trim(rest.substr(6)), 8, value)) {
                Fail("dword: needs 1 to 8 hex digits");
                return false;
            }
            change.type = REG_DWORD;
            change.data = DwordBytes(value);
            return true;
        }
        if (StartsWithNoCase(rest, "hex:")) {
            change.type = REG_BINARY;
            return ReadHexList(rest.substr(4), change.data);
        }
        if (StartsWithNoCase(rest, "hex(")) {
            const std::size_t close = rest.find("):");
            if (close == std::string_view::npos ||
                !ParseHexNumber(rest.substr(4, close - 4), 8, change.type)) {
                Fail("hex(N): needs a type number of 1 to 8 hex digits");
                return false;
            }
            if (!ReadHexList(rest.substr(close + 2), change.data)) {
                return false;
            }
            // Windows writes string data as UTF-16LE; the registry here holds 32-bit WCHARs.
            std::wstring text;
            if (IsStringType(change.type) && DecodeUtf16Le(change.data, text)) {
                change.data = BytesFromWide(text);
            }
            return true;
        }
        if (StartsWithNoCase(rest, "multi_sz:")) {
            change.type = REG_MULTI_SZ;
            return ReadStringList(rest.substr(9), change.data);
        }
        Fail("unknown value data (expected \"text\", dword:, hex:, hex(N):, multi_sz: or -)");
        return false;
    }

    // Offset in a continued list -> the index of the line it came from.
    using LineStarts = std::vector<std::pair<std::size_t, std::size_t>>;

    // A list that a line ending in '\' continues on the next line, joined.
    bool ReadContinued(std::string_view first, std::string& list, LineStarts& lineStarts) {
        std::string_view segment = first;
        for (;;) {
            lineStarts.emplace_back(list.size(), Current());
            segment = Trim(segment);
            if (!segment.ends_with('\\')) {
                list += segment;
                return true;
            }
            list += segment.substr(0, segment.size() - 1);
            if (next_ == source_.lines.size()) {
                Fail("the list continues past the end of the file");
                return false;
            }
            segment = TakeLine();
        }
    }

    // Comma-separated quoted strings, each stored with its terminating zero, then one more.
    bool ReadStringList(std::string_view first, std::vector<BYTE>& data) {
        std::string list;
        LineStarts lineStarts;
        if (!ReadContinued(first, list, lineStarts)) {
            return false;
        }
        std::wstring all;
        for (std::size_t pos = 0; !Trim(list.substr(pos)).empty();) {
            pos = list.find_first_not_of(kBlank, pos);
            std::wstring text;
            if (list[pos] != '"' || !ReadQuoted(list, pos, text)) {
                Fail("multi_sz: needs \"text\" items separated by commas");
                return false;
            }
            all += text;
            all.push_back(L'\0');
            pos = std::min(list.find_first_not_of(kBlank, pos), list.size());
            if (pos < list.size() && (list[pos] != ',' || Trim(list.substr(pos + 1)).empty())) {
                Fail("multi_sz: needs \"text\" items separated by commas");
                return false;
            }
            pos += pos < list.size() ? 1 : 0;
        }
        data = WideBytes(all);
        return true;
    }

    // Comma-separated bytes.
    bool ReadHexList(std::string_view first, std::vector<BYTE>& bytes) {
        std::string list;
        LineStarts lineStarts;
        return ReadContinued(first, list, lineStarts) && ReadHexBytes(list, lineStarts, bytes);
    }

    bool ReadHexBytes(std::string_view list, const LineStarts& lines, std::vector<BYTE>& bytes) {
        if (Trim(list).empty()) {
            return true;  // hex: with no bytes is an empty value
        }
        std::size_t start = 0;
        for (;;) {
            std::size_t end = list.find(',', start);
            const bool last = end == std::string_view::npos;
            if (last) {
                end = list.size();
            }
            std::uint32_t value = 0;
            const std::string_view token = Trim(list.substr(start, end - start));
            if (!ParseHexNumber(token, 2, value)) {
                std::size_t line = lines.front().second;
                for (const auto& [offset, number] : lines) {
                    if (offset <= start) {
                        line = number;
                    }
                }
                Fail(line, "bad hex byte \"" + std::string(token) + "\"");
                return false;
            }
            bytes.push_back(static_cast<BYTE>(value));
            if (last) {
                return true;
            }
            start = end + 1;
        }
    }

    static bool IsOtherRoot(std::string_view root) {
        return std::any_of(std::begin(kOtherRoots), std::end(kOtherRoots),
                           [root](std::string_view other) { return SameNoCase(root, other); });
    }

    RegSource source_;
    std::size_t next_ = 0;
    bool skipping_ = false;  // in a key under another root: its values are read, not kept
    ParsedRegText result_;
};

}  // namespace

ParsedRegText ParseRegText(std::string_view text, const std::string& fileName,
                           const host::RegTextOptions& options, bool regeditOnly) {
    // regedit saves UTF-16LE with a byte-order mark; the parser reads UTF-8.
    if (text.starts_with("\xFF\xFE")) {
        text.remove_prefix(2);
        std::wstring wide;
        if (!DecodeUtf16Le({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                           wide)) {
            ParsedRegText failed;
            failed.error = RegistryError{fileName, 1, "the file starts as UTF-16LE but is not"};
            return failed;
        }
        return RegTextParser(ReadRegSource(EncodeUtf8(wide), fileName, options, regeditOnly)).Run();
    }
    return RegTextParser(ReadRegSource(std::string(text), fileName, options, regeditOnly)).Run();
}

bool ApplyRegSections(const KeyPtr& root, const std::vector<RegSection>& sections) {
    bool changed = false;
    for (const RegSection& section : sections) {
        if (section.removeKey) {
            changed = DeleteKey(*root, section.path) || changed;
            continue;
        }
        bool created = false;
        const KeyPtr key = CreateKey(root, section.path, created);
        changed = changed || created;
        for (const RegValueChange& value : section.values) {
            const bool valueChanged = value.remove
                                          ? DeleteValue(*key, value.name)
                                          : SetValue(*key, value.name, value.type, value.data);
            changed = changed || valueChanged;
        }
    }
    return changed;
}

}  // namespace ce::registry
