// The .reg text form of the registry: parsing into a list of changes (nothing is applied
// until the whole text has parsed) and writing a tree out.
//
// Files are UTF-8 (with or without a byte-order mark) or UTF-16LE with one, as regedit saves
// them. hex: and hex(N): lists hold a value's bytes exactly as the registry stores them, except
// the string types hex(1):, hex(2): and hex(7):, whose data is UTF-16LE in the file as Windows
// writes it. String data that is no whole Unicode text stays as the registry's bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ce/host/registry_store.h"
#include "registry_tree.h"

namespace ce::registry {

inline constexpr std::string_view kRegHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegHeader4 = "REGEDIT4";
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

struct RegValueChange {
    std::wstring name;  // empty for the default value (@)
    bool remove = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// One [section]: a key to create (with values to set or delete) or, with `removeKey`, a key
// to delete with everything under it.
struct RegSection {
    KeyPath path;
    bool removeKey = false;
    std::vector<RegValueChange> values;
};

struct ParsedRegText {
    std::vector<RegSection> sections;
    std::optional<host::RegistryError> error;  // set: the text is unusable, nothing to apply
    int skippedKeys = 0;                       // keys under other roots a device image's file named
};

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ.
inline bool IsStringType(DWORD type) {
    return type == 1 || type == 2 || type == 7;
}

// regedit's text, or a device image's registry file (reg_source.h) read with `options`.
// The host's own registry file (regeditOnly) must be regedit's.
ParsedRegText ParseRegText(std::string_view text, const std::string& fileName,
                           const host::RegTextOptions& options = {}, bool regeditOnly = false);

// Applies parsed sections to a tree; returns whether anything changed.
bool ApplyRegSections(const KeyPtr& root, const std::vector<RegSection>& sections);

// The key `key` at `path` and everything below it, as a complete .reg text with the version
// 5.00 header. Keys come in case-insensitive order, each parent before its subkeys. The root
// gets a section only when it has values of its own.
std::string WriteRegText(const RegKey& key, const KeyPath& path);

// Parsed sections as regedit text that parses back to the same sections.
std::string WriteRegSections(const std::vector<RegSection>& sections);

}  // namespace ce::registry
