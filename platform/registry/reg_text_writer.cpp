#include <cstdio>
#include <cstring>
#include <string>

#include "ce/registry.h"
#include "reg_text.h"
#include "utf16.h"
#include "utf8.h"

namespace ce::registry {
namespace {

// regedit wraps hex lists near this column; any width reads back the same.
constexpr std::size_t kHexLineWidth = 77;

std::string HexByte(BYTE b) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return {kDigits[b >> 4], kDigits[b & 0xF]};
}

std::string Quote(std::wstring_view text) {
    std::string out = "\"";
    for (const char c : EncodeUtf8(text)) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A REG_SZ goes out as "text" only when reading that text back rebuilds the same bytes:
// whole WCHARs, one terminating zero at the end and nowhere else, and nothing that would
// break the line. Everything else goes out as hex(1): so no byte is lost.
bool DecodeCleanString(const std::vector<BYTE>& data, std::wstring& text) {
    if (data.empty() || data.size() % sizeof(wchar_t) != 0) {
        return false;
    }
    text.resize(data.size() / sizeof(wchar_t));
    std::memcpy(text.data(), data.data(), data.size());
    if (text.back() != L'\0') {
        return false;
    }
    text.pop_back();
    for (const wchar_t c : text) {
        if (c == L'\0' || c == L'\r' || c == L'\n' || !IsScalarValue(c)) {
            return false;
        }
    }
    return true;
}

void WriteHexList(std::string& out, std::string line, const std::vector<BYTE>& data) {
    bool lineHasBytes = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::string token = HexByte(data[i]);
        if (i + 1 < data.size()) {
            token.push_back(',');
        }
        if (lineHasBytes && line.size() + token.size() > kHexLineWidth) {
            out += line + "\\\n";
            line = "  ";
        }
        line += token;
        lineHasBytes = true;
    }
    out += line + "\n";
}

// String data goes out as UTF-16LE, as Windows writes it, when it is whole Unicode text.
std::vector<BYTE> FileBytes(const RegValue& value) {
    if (IsStringType(value.type)) {
        if (const auto text = WideFromBytes(value.data)) {
            if (auto utf16 = EncodeUtf16Le(*text)) {
                return std::move(*utf16);
            }
        }
    }
    return value.data;
}

std::string TypeTag(DWORD type) {
    if (type == REG_BINARY) {
        return "hex:";
    }
    char tag[24];
    std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
    return tag;
}

void WriteValue(std::string& out, const RegValue& value) {
    std::string line = value.name.empty() ? std::string("@") : Quote(value.name);
    line.push_back('=');
    std::wstring text;
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD dword =
            static_cast<DWORD>(value.data[0]) | static_cast<DWORD>(value.data[1]) << 8 |
            static_cast<DWORD>(value.data[2]) << 16 | static_cast<DWORD>(value.data[3]) << 24;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(dword));
        out += line + "dword:" + digits + "\n";
    } else if (value.type == REG_SZ && DecodeCleanString(value.data, text)) {
        out += line + Quote(text) + "\n";
    } else {
        WriteHexList(out, line + TypeTag(value.type), FileBytes(value));
    }
}

std::string PathText(const KeyPath& path) {
    std::string text(kRootName);
    for (const std::wstring& part : path) {
        text += "\\" + EncodeUtf8(part);
    }
    return text;
}

void WriteKey(std::string& out, const RegKey& key, std::string& pathText, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + pathText + "]\n";
        for (const auto& entry : key.values) {
            WriteValue(out, entry.second);
        }
    }
    for (const auto& entry : key.subkeys) {
        const std::size_t length = pathText.size();
        pathText += "\\" + EncodeUtf8(entry.second->name);
        WriteKey(out, *entry.second, pathText, false);
        pathText.resize(length);
    }
}

}  // namespace

std::string WriteRegText(const RegKey& key, const KeyPath& path) {
    std::string out(kRegHeader5);
    out.push_back('\n');
    std::string pathText = PathText(path);
    WriteKey(out, key, pathText, path.empty());
    return out;
}

std::string WriteRegSections(const std::vector<RegSection>& sections) {
    std::string out(kRegHeader5);
    out.push_back('\n');
    for (const RegSection& section : sections) {
        out += "\n[" + std::string(section.removeKey ? "-" : "") + PathText(section.path) + "]\n";
        for (const RegValueChange& change : section.values) {
            if (change.remove) {
                out += (change.name.empty() ? std::string("@") : Quote(change.name)) + "=-\n";
            } else {
                WriteValue(out, RegValue{change.name, change.type, change.data});
            }
        }
    }
    return out;
}

}  // namespace ce::registry
