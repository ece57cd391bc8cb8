#include "registry_commands.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "ce/host/registry_store.h"

namespace ots::host {
namespace {

using ots::control::Reply;
using ots::control::ReplyStatus;

// Strict UTF-8 to wide characters (one code point each); nullopt for anything malformed.
std::optional<std::wstring> Widen(std::string_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > text.size()) {
            return std::nullopt;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return std::nullopt;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += length;
    }
    return out;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view WithoutRoot(std::string_view key) {
    for (std::string_view root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
        if (StartsWithIgnoringCase(key, root) &&
            (key.size() == root.size() || key[root.size()] == '\\')) {
            return key.substr(root.size());
        }
    }
    return key;
}

}  // namespace

Reply DumpRegistry(const std::string& key) {
    const std::optional<std::wstring> path = Widen(WithoutRoot(key));
    if (!path) {
        return {ReplyStatus::Refused, "the key is not UTF-8 text"};
    }
    return {ReplyStatus::Done, ce::host::ExportRegText(*path)};
}

Reply ImportRegistry(const std::string& text, const std::string& fileName) {
    if (const auto error = ce::host::ImportRegText(text, fileName)) {
        return {ReplyStatus::Refused, error->ToString()};
    }
    return {ReplyStatus::Done, "imported " + fileName + "\n"};
}

}  // namespace ots::host
