#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "ce/registry.h"
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

constexpr char kDosEndOfFile = '\x1A';

std::vector<std::string_view> SplitLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);  // byte-order mark
    }
    // Older tools end the file with the DOS end-of-file byte.
    const std::size_t last = text.find_last_not_of("\r\n");
    if (last != std::string_view::npos && text[last] == kDosEndOfFile) {
        text = text.substr(0, last);
    }
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
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

class RegTextParser {
  public:
    RegTextParser(std::string_view text, const std::string& fileName)
        : lines_(SplitLines(text)), fileName_(fileName) {}

    ParsedRegText Run() {
        if (ReadHeader()) {
            while (!result_.error && next_ < lines_.size()) {
                ReadLine();
            }
        }
        if (result_.error) {
            result_.sections.clear();
        }
        return std::move(result_);
    }

  private:
    int LineNumber() const { return static_cast<int>(next_); }  // of the line last taken

    void Fail(std::string message) { Fail(LineNumber(), std::move(message)); }
    void Fail(int line, std::string message) {
        if (!result_.error) {
            result_.error = RegistryError{fileName_, line, std::move(message)};
        }
    }

    std::string_view TakeLine() { return lines_[next_++]; }

    bool ReadHeader() {
        while (next_ < lines_.size()) {
            const std::string_view line = Trim(TakeLine());
            if (line.empty()) {
                continue;
            }
            if (line == kRegHeader5 || line == kRegHeader4) {
                return true;
            }
            break;
        }
        Fail(std::max(LineNumber(), 1), "expected \"" + std::string(kRegHeader5) + "\" or \"" +
                                            std::string(kRegHeader4) + "\" as the first line");
        return false;
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
        if (root.size() != kRootName.size() || !StartsWithNoCase(root, kRootName)) {
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
        if (result_.sections.empty()) {
            Fail("value outside a key section");
            return;
        }
        if (result_.sections.back().removeKey) {
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
        if (ReadData(rest, change)) {
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
        Fail("unknown value data (expected \"text\", dword:, hex:, hex(N): or -)");
        return false;
    }

    // Comma-separated bytes; a line ending in '\' continues on the next line.
    bool ReadHexList(std::string_view first, std::vector<BYTE>& bytes) {
        std::string list;
        std::vector<std::pair<std::size_t, int>> lineStarts;  // offset in list -> line number
        std::string_view segment = first;
        for (;;) {
            lineStarts.emplace_back(list.size(), LineNumber());
            segment = Trim(segment);
            if (!segment.ends_with('\\')) {
                list += segment;
                break;
            }
            list += segment.substr(0, segment.size() - 1);
            if (next_ == lines_.size()) {
                Fail("the hex list continues past the end of the file");
                return false;
            }
            segment = TakeLine();
        }
        return ReadHexBytes(list, lineStarts, bytes);
    }

    bool ReadHexBytes(std::string_view list, const std::vector<std::pair<std::size_t, int>>& lines,
                      std::vector<BYTE>& bytes) {
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
                int line = lines.front().second;
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

    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;
    std::string fileName_;
    ParsedRegText result_;
};

}  // namespace

ParsedRegText ParseRegText(std::string_view text, const std::string& fileName) {
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
        const std::string utf8 = EncodeUtf8(wide);
        return RegTextParser(utf8, fileName).Run();
    }
    return RegTextParser(text, fileName).Run();
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
